#include "core/text.h"

#include <iconv.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>

namespace pw {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return IconvHandle(cd);
}

// Converts with `to` and `from`; a sequence that cannot be converted is replaced by
// `replacement` and the conversion goes on one byte (or one character) later.
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, std::size_t skip_on_error) {
    IconvHandle cd = OpenIconv(to, from);
    if (!cd) return std::string(input);
    std::string out;
    out.reserve(input.size() * 3 / 2 + 8);
    char* in_ptr = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    char buffer[1024];
    while (in_left > 0) {
        char* out_ptr = buffer;
        std::size_t out_left = sizeof buffer;
        std::size_t rc = iconv(static_cast<iconv_t>(cd.get()), &in_ptr, &in_left, &out_ptr, &out_left);
        out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence): replace and step on.
        out.append(replacement);
        std::size_t step = skip_on_error;
        if (from[0] == 'U') {  // UTF-8 input: skip one whole character
            step = 1;
            while (step < in_left && (static_cast<unsigned char>(in_ptr[step]) & 0xC0) == 0x80) ++step;
        }
        if (step > in_left) step = in_left;
        in_ptr += step;
        in_left -= step;
        iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

// GBK full-width forms that number conversion folds to ASCII.
char FoldFullWidth(unsigned char lead, unsigned char trail) {
    if (lead == 0xA3) {
        if (trail >= 0xB0 && trail <= 0xB9) return static_cast<char>('0' + (trail - 0xB0));
        if (trail == 0xAB) return '+';
        if (trail == 0xAD) return '-';
        if (trail == 0xAE) return '.';
    }
    if (lead == 0xA1 && trail == 0xA1) return ' ';  // ideographic space
    return '\0';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Text FromUtf8(std::string_view utf8) { return Convert("GBK", "UTF-8", utf8, "?", 1); }

std::string ToUtf8(std::string_view gbk) { return Convert("UTF-8", "GBK", gbk, "\xEF\xBF\xBD", 1); }

std::size_t FindText(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (from > haystack.size()) return std::string_view::npos;
    if (needle.empty()) return from;
    std::size_t i = 0;
    // Walk character by character from the start so that `from` cannot land us in the
    // middle of a double-byte character unnoticed.
    while (i < from) i += IsGbkLeadByte(static_cast<unsigned char>(haystack[i])) ? 2 : 1;
    while (i + needle.size() <= haystack.size()) {
        if (haystack.compare(i, needle.size(), needle) == 0) return i;
        i += IsGbkLeadByte(static_cast<unsigned char>(haystack[i])) ? 2 : 1;
    }
    return std::string_view::npos;
}

Text ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
    if (what.empty()) return Text(text);
    Text out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = FindText(text, what, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(with);
        pos = hit + what.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::optional<std::string_view> TakeLine(std::string_view& text) {
    if (text.empty()) return std::nullopt;
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    return line;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

double NumberFromText(std::string_view text) { return LeadingNumber(text).value_or(0.0); }

std::optional<double> LeadingNumber(std::string_view text) {
    std::string ascii;
    ascii.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if (IsGbkLeadByte(b) && i + 1 < text.size()) {
            char folded = FoldFullWidth(b, static_cast<unsigned char>(text[i + 1]));
            if (folded == '\0') break;  // any other double-byte character ends the number
            ascii.push_back(folded);
            ++i;
        } else {
            ascii.push_back(static_cast<char>(b));
        }
    }

    std::size_t i = 0;
    while (i < ascii.size() && (ascii[i] == ' ' || (ascii[i] >= '\t' && ascii[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) negative = ascii[i++] == '-';
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < ascii.size() && IsDigit(ascii[i])) ++i, ++digits;
    if (i < ascii.size() && ascii[i] == '.') {
        ++i;
        while (i < ascii.size() && IsDigit(ascii[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    std::size_t end = i;
    if (i < ascii.size() && (ascii[i] == 'e' || ascii[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < ascii.size() && (ascii[j] == '+' || ascii[j] == '-')) ++j;
        if (j < ascii.size() && IsDigit(ascii[j])) {
            while (j < ascii.size() && IsDigit(ascii[j])) ++j;
            end = j;
        }
    }
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(ascii.data() + start, ascii.data() + end, value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow or underflow; strtod would give
        // HUGE_VAL or 0, and so do we.
        std::size_t e = ascii.find_first_of("eE", start);
        bool tiny = e != std::string::npos && e < end && ascii.find('-', e) < end;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

Text TextFromNumber(double value) {
    char buffer[64];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    if (ec != std::errc()) return "0";
    Text out(buffer, ptr);
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (std::isnan(value)) return "nan";
    return out;
}

Text TextFromInteger(std::int64_t value) {
    char buffer[32];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    return Text(buffer, ptr);
}

std::int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace pw

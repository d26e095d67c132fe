#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pw {

// Program text: a byte string in GBK (code page 936). Lengths and positions count bytes;
// conversion to Unicode happens only at the edge to the toolkit.
using Text = std::string;

// GBK text from UTF-8 (source literals, toolkit strings). Characters GBK cannot hold
// become '?'.
Text FromUtf8(std::string_view utf8);
// UTF-8 from GBK text. Invalid byte sequences become U+FFFD.
std::string ToUtf8(std::string_view gbk);

// A UTF-8 string literal as a template argument, for Gbk<"...">().
template <std::size_t N>
struct Utf8Literal {
    constexpr Utf8Literal(const char (&text)[N]) { std::copy_n(text, N, bytes); }
    constexpr std::string_view view() const { return {bytes, N - 1}; }
    char bytes[N];
};

// The program's one way to write a GBK literal: Gbk<"信息：">() converts the UTF-8 source
// text once and keeps it for the rest of the run.
template <Utf8Literal S>
const Text& Gbk() {
    static const Text text = FromUtf8(S.view());
    return text;
}

// True when `b` starts a double-byte GBK character (its lead byte).
constexpr bool IsGbkLeadByte(unsigned char b) { return b >= 0x80; }

// Byte offset (0-based) of the first occurrence of `needle` in `haystack` at or after
// `from`, or npos. A match never begins on the second byte of a double-byte character:
// the scan steps over a lead byte together with the byte after it. An empty needle
// matches at `from`.
std::size_t FindText(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// Every occurrence of `what` replaced by `with`, scanning as FindText does.
Text ReplaceAll(std::string_view text, std::string_view what, std::string_view with);

// True when `text` begins with `prefix`, ASCII letters compared without case; `prefix`
// is written in lower case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// The first line of `text`, without its LF, which is cut off `text` with it; nothing once
// `text` is empty.
std::optional<std::string_view> TakeLine(std::string_view& text);

// The leading decimal number of the text, after full-width digits, signs, point and blank
// have been made ASCII; 0 when the text does not begin with a number.
double NumberFromText(std::string_view text);
// The same, or nothing when the text does not begin with a number.
std::optional<double> LeadingNumber(std::string_view text);

// A double as printf's "%.13g" writes it, in the C locale whatever the process locale.
Text TextFromNumber(double value);
Text TextFromInteger(std::int64_t value);

// A double made an integer by truncation toward zero; values outside the 32-bit range
// saturate instead of being undefined.
std::int32_t TruncateToInt32(double value);

}  // namespace pw

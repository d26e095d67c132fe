// libFuzzer target: arbitrary bytes as a lesson cache file for the whole-movie check.
// Besides the sanitizers it checks what the offline decision relies on:
//   - the answer does not depend on how the bytes arrive (one piece, or pieces of a size
//     taken from the input), nor on whether tag bodies are passed over or read;
//   - a whole movie cut by one byte, or followed by one more, is not whole;
//   - an FWS is whole exactly when its length field is the input's length and its tags,
//     walked here over the whole input at once, end with an End tag at its last byte;
//   - a CWS that claims at most 1 MiB is whole exactly when zlib's one-shot uncompress2
//     fills a buffer of the claimed body length, ends the stream and uses every byte.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/swf_file.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// With `passOver`, the check may pass over bytes instead of reading them.
bool IsWhole(std::string_view bytes, std::size_t piece, bool passOver = false) {
    std::size_t at = 0;
    const pw::SwfByteSource read = [&](std::span<std::uint8_t> into) -> std::ptrdiff_t {
        const std::size_t n = std::min({piece, into.size(), bytes.size() - at});
        if (n) std::memcpy(into.data(), bytes.data() + at, n);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    };
    const pw::SwfByteSkip skip = [&](std::uint64_t count) {
        if (count > bytes.size() - at) return false;
        at += count;
        return true;
    };
    return pw::IsWholeSwf(read, passOver ? skip : pw::SwfByteSkip());
}

std::uint32_t ClaimedLength(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    return byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
}

// The tags of an uncompressed movie held whole in memory.
bool TagsEndAtTheLastByte(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    if (bytes.size() < 9) return false;
    std::size_t at = 8 + pw::MovieHeaderRestLength(static_cast<std::uint8_t>(byte(8)));
    while (at + 2 <= bytes.size()) {
        const std::uint32_t word = byte(at) | byte(at + 1) << 8;
        std::uint64_t length = word & 0x3F;
        at += 2;
        if (length == 0x3F) {
            if (at + 4 > bytes.size()) return false;
            length = byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | std::uint64_t{byte(at + 3)} << 24;
            at += 4;
        }
        if (length > bytes.size() - at) return false;
        at += length;
        if (word >> 6 == 0) return at == bytes.size();
    }
    return false;
}

bool ZlibSaysWhole(std::string_view bytes, std::uint32_t claimed) {
    std::vector<Bytef> body(claimed - 8 + 1);  // never empty, for a valid pointer
    uLongf bodyLength = claimed - 8;
    uLong used = bytes.size() - 8;
    const int result = uncompress2(body.data(), &bodyLength, reinterpret_cast<const Bytef*>(bytes.data() + 8), &used);
    return result == Z_OK && bodyLength == claimed - 8 && used == bytes.size() - 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool whole = IsWhole(input, input.size() + 1);

    const std::size_t piece = size ? 1 + static_cast<unsigned char>(input.back()) % 31 : 1;
    Require(IsWhole(input, piece) == whole);
    Require(IsWhole(input, piece, true) == whole);

    if (whole) {
        Require(!IsWhole(input.substr(0, input.size() - 1), input.size()));
        Require(!IsWhole(std::string(input) + '\0', input.size() + 1));
    }
    if (size >= 8 && input.substr(0, 3) == "FWS")
        Require(whole == (ClaimedLength(input) == size && TagsEndAtTheLastByte(input)));
    if (size >= 8 && input.substr(0, 3) == "CWS") {
        const std::uint32_t claimed = ClaimedLength(input);
        if (claimed >= 8 && claimed <= (1u << 20)) Require(whole == ZlibSaysWhole(input, claimed));
        if (claimed < 8) Require(!whole);
    }
    if (size < 8) Require(!whole);
    return 0;
}

// libFuzzer target: arbitrary bytes through the re-encoding of old movies. Besides the
// sanitizers it checks what the player relies on: a copy is an uncompressed version 6
// movie whose length field is its size and whose tag list stays inside it, and a copy
// is never re-encoded again.
//
// The first byte chooses how the rest is used, so that the fuzzer reaches the tags and
// actions without first having to find a valid header:
//   0: the whole movie;  1: the tag list of a version 5 movie;
//   2: an action block of a version 5 movie that also holds a GBK string;
//   3: the same with the input repeated into a block of over 256 KiB, past the bounds of
//      one block's records and across the pieces the movie is read in.
// Its upper bits choose the size of the pieces the movie is handed over in.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "core/swf_text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Require(bool condition) {
    if (!condition) std::abort();
}

void PutU16(Bytes& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutU32(Bytes& out, std::size_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, (value >> 16) & 0xFFFF);
}

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

Bytes MovieWithTags(std::span<const std::uint8_t> tags) {
    Bytes movie = {'F', 'W', 'S', 5, 0, 0, 0, 0, 0x00, 0x0C, 0x01, 0x00};  // empty stage, 12 fps, 1 frame
    movie.insert(movie.end(), tags.begin(), tags.end());
    const std::size_t size = movie.size();
    for (int i = 0; i < 4; ++i) movie[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    return movie;
}

Bytes TagsWithActions(std::span<const std::uint8_t> actions) {
    // A text field whose initial text is GBK, so that the movie always has text to change.
    const Bytes editText = {1, 0, 0x00, 0x80, 0x00, 'v', 0, 0xD0, 0xA1, 0};
    Bytes tags;
    PutU16(tags, (37u << 6) | editText.size());
    tags.insert(tags.end(), editText.begin(), editText.end());
    PutU16(tags, (12u << 6) | 0x3F);
    PutU32(tags, actions.size());
    tags.insert(tags.end(), actions.begin(), actions.end());
    PutU16(tags, 0);
    return tags;
}

// The tag list from `at` on: every tag inside the bytes, up to the End tag or the end.
void RequireTagsInside(std::span<const std::uint8_t> movie, std::size_t at) {
    while (at < movie.size()) {
        Require(movie.size() - at >= 2);
        const unsigned header = movie[at] | (movie[at + 1] << 8);
        at += 2;
        std::size_t length = header & 0x3F;
        if (length == 0x3F) {
            Require(movie.size() - at >= 4);
            length = U32At(movie, at);
            at += 4;
        }
        Require(movie.size() - at >= length);
        at += length;
        if ((header >> 6) == 0) break;
    }
}

std::optional<pw::GrowingBytes> Recode(std::span<const std::uint8_t> movie, std::size_t piece) {
    return pw::RecodeGbkMovie([movie, piece]() -> pw::SwfByteSource {
        return [movie, piece, at = std::size_t{0}](std::span<std::uint8_t> into) mutable -> std::ptrdiff_t {
            const std::size_t count = std::min({into.size(), movie.size() - at, piece});
            std::memcpy(into.data(), movie.data() + at, count);
            at += count;
            return static_cast<std::ptrdiff_t>(count);
        };
    });
}

void Check(std::span<const std::uint8_t> movie, std::size_t piece) {
    const auto copy = Recode(movie, piece);
    if (!copy) return;
    const std::span<const std::uint8_t> bytes = copy->Span();
    Require(bytes.size() >= 8 && bytes[0] == 'F' && bytes[1] == 'W' && bytes[2] == 'S' && bytes[3] == 6);
    Require(U32At(bytes, 4) == bytes.size());
    Require(bytes.size() <= pw::kMaxRecodedMovieBytes);
    // The stage rectangle, frame rate and count come unchanged from the movie.
    const std::size_t rectBits = 5 + 4 * (bytes[8] >> 3);
    RequireTagsInside(bytes, 8 + (rectBits + 7) / 8 + 4);
    Require(!Recode(bytes, piece));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    const std::size_t piece = 1 + static_cast<std::size_t>(data[0] >> 2) * 1031;
    switch (data[0] % 4) {
    case 0: Check(input, piece); break;
    case 1: Check(MovieWithTags(input), piece); break;
    case 2: Check(MovieWithTags(TagsWithActions(input)), piece); break;
    default: {
        if (input.empty()) break;
        Bytes block;
        while (block.size() <= 256 * 1024) block.insert(block.end(), input.begin(), input.end());
        Check(MovieWithTags(TagsWithActions(block)), piece);
        break;
    }
    }
    return 0;
}

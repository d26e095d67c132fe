#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <functional>
#include <memory>
#include <span>

#include "core/text.h"

namespace pw {

// Fills the span with the next bytes of a movie: how many it wrote (at most the span's
// size), 0 at the end, negative when reading failed.
using SwfByteSource = std::function<std::ptrdiff_t(std::span<std::uint8_t>)>;
// Passes over the next `count` bytes of the same source without reading them: false when
// it holds fewer, or cannot tell. A check that only needs to know bytes are there (the
// body of a tag) costs no copy of them.
using SwfByteSkip = std::function<bool(std::uint64_t count)>;

// The bytes of a movie after its eight-byte header, decompressed, read in bounded pieces:
// what a header claims never changes how much is held. The source must outlive it.
class SwfBody {
public:
    // Reads the header; the body is read on demand. An uncompressed body is passed over by
    // `skip` when there is one. Both must outlive it.
    explicit SwfBody(const SwfByteSource& source, const SwfByteSkip& skip = {});
    ~SwfBody();
    SwfBody(const SwfBody&) = delete;
    SwfBody& operator=(const SwfBody&) = delete;

    // The header was read and is one of FWS, CWS or ZWS with a length of at least 8.
    bool Valid() const { return decoder_ != nullptr; }
    // 'F', 'C' or 'Z'.
    char Compression() const { return static_cast<char>(header_[0]); }
    std::uint8_t Version() const { return header_[3]; }
    // The header's length of the whole movie: 8 + the body's.
    std::uint32_t Length() const;

    // The next bytes of the body, at most into.size(), never past the header's length:
    // how many were written, 0 once that length is reached, negative (from then on) when
    // the data ends before it, is corrupt or cannot be read.
    std::ptrdiff_t Read(std::span<std::uint8_t> into);

    // True when PassOver works without reading: the body is uncompressed and the source can
    // skip.
    bool CanPassOver() const;
    // Passes over the next `count` bytes of the body (no more than are left of the header's
    // length) without reading them; false, and failed from then on, when they are not there.
    bool PassOver(std::uint64_t count);

    // Once Read has reached the header's length: true when the data ends there too, with
    // nothing after it (see IsWholeSwf). Reads the rest of the source.
    bool EndsThere();

    struct Decoder;

private:
    std::array<std::uint8_t, 8> header_{};
    std::unique_ptr<Decoder> decoder_;
    const SwfByteSkip* skip_ = nullptr;
    std::uint64_t produced_ = 0;
    bool dataEnded_ = false;
    bool failed_ = false;
};

// The stage rectangle, frame rate and frame count that open a movie's body, before its
// tags: their length in bytes, told by the rectangle's first byte.
constexpr std::size_t MovieHeaderRestLength(std::uint8_t firstByte) { return (5 + 4 * (firstByte >> 3) + 7) / 8 + 4; }

// True when the bytes are one whole SWF movie by their own structure, nothing missing and
// nothing after it:
//   FWS  the header's length (bytes 4..7, little-endian) is the number of bytes, and the
//        tags after the stage rectangle, frame rate and frame count run one after
//        another to an End tag that is the last byte: a file joined from two movies of
//        the same length shows at the seam;
//   CWS  bytes 8.. are one zlib stream that inflates to exactly the header's length - 8
//        and ends there, and it is the last byte;
//   ZWS  bytes 17.. are LZMA data (properties at 12..16; the compressed length at 8..11
//        is not relied on) that decodes to exactly the header's length - 8, optionally
//        followed by its end marker, and it is the last byte.
// Anything else, including fewer than 8 bytes, is not whole. With `skip`, the bodies of an
// FWS's tags are passed over, not read. The bytes are untrusted: they
// are read in fixed-size pieces and decompressed into a fixed scratch buffer, so memory
// does not grow with the length a header claims; the check stops at the first byte that
// contradicts the header. A ZWS needs an LZMA dictionary of the smaller of what its
// properties ask for and the movie's length; one that would take over 128 MiB is refused.
bool IsWholeSwf(const SwfByteSource& source, const SwfByteSkip& skip = {});

// IsWholeSwf over the file's bytes; false when the path is no regular file or cannot be read.
bool IsWholeSwfFile(const Text& path);

}  // namespace pw

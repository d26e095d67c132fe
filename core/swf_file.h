#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "core/text.h"

namespace pw {

// Fills the span with the next bytes of a movie: how many it wrote (at most the span's
// size), 0 at the end, negative when reading failed.
using SwfByteSource = std::function<std::ptrdiff_t(std::span<std::uint8_t>)>;

// True when the bytes are one whole SWF movie by their own structure, nothing missing and
// nothing after it:
//   FWS  the header's length (bytes 4..7, little-endian) is the number of bytes;
//   CWS  bytes 8.. are one zlib stream that inflates to exactly the header's length - 8
//        and ends there, and it is the last byte;
//   ZWS  bytes 17.. are LZMA data (properties at 12..16; the compressed length at 8..11
//        is not relied on) that decodes to exactly the header's length - 8, optionally
//        followed by its end marker, and it is the last byte.
// Anything else, including fewer than 8 bytes, is not whole. The bytes are untrusted: they
// are read in fixed-size pieces and decompressed into a fixed scratch buffer, so memory
// does not grow with the length a header claims; the check stops at the first byte that
// contradicts the header. A ZWS needs an LZMA dictionary of the smaller of what its
// properties ask for and the movie's length; one that would take over 128 MiB is refused.
bool IsWholeSwf(const SwfByteSource& source);

// IsWholeSwf over the file's bytes; false when the path is no regular file or cannot be read.
bool IsWholeSwfFile(const Text& path);

}  // namespace pw

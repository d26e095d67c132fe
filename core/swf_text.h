#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "core/swf_file.h"

namespace pw {

// Bytes on the heap that grow in place. For a block the size of a movie the C library
// moves pages rather than copying them, so growing never holds two copies. Growing past
// the limit, or past what memory allows, throws std::bad_alloc.
class GrowingBytes {
public:
    explicit GrowingBytes(std::size_t limit) : limit_(limit) {}

    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    // New bytes are not set.
    void resize(std::size_t size);
    std::span<const std::uint8_t> Span() const { return {bytes_.get(), size_}; }

private:
    struct Free {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<std::uint8_t, Free> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t limit_;
};

// Flash movies of version 5 and older store their text in the code page of the system
// they were authored on, GBK for our lessons; Ruffle reads such text as Windows-1252.
// From version 6 on, a movie's strings are UTF-8.
//
// True when a movie that begins with `header` (at least its first four bytes) may hold
// such text: an uncompressed or zlib-compressed movie of version 5 or older.
bool MayHoldGbkText(std::span<const std::uint8_t> header);

// The largest movie, before and after re-encoding, that RecodeGbkMovie takes on.
inline constexpr std::size_t kMaxRecodedMovieBytes = 128u * 1024 * 1024;

// RecodeGbkMovie returns a copy of a version 5 (or older) movie whose text is UTF-8 and
// whose version is 6, uncompressed ("FWS"), so that Ruffle shows the text as its author
// saw it. Re-encoded: text fields' variable names and initial text, frame labels,
// instance names, export and import names, font names, and the strings of every action
// (frame, initialisation, button and clip actions), with every length, size and branch
// offset that spans a changed string fixed. A string that is not well-formed GBK stays
// as it was, byte for byte, and so does an action block whose branches cannot be
// followed with certainty. Clip event flags are widened to the four bytes of version 6.
//
// Nothing is returned (and the caller uses the movie as it is) when the movie is of
// version 6 or later, is not a movie, ends before its header's length, holds no text
// that needs re-encoding, or would be longer than `maxBytes` before or after.
//
// `open` hands over the movie's bytes from the start, each time it is called. The movie is
// read in pieces, first only up to its first text that changes, holding one tag at a time
// (a movie without such text is never copied), then again into the copy. The work holds
// the copy and a bounded amount besides.
std::optional<GrowingBytes> RecodeGbkMovie(const std::function<SwfByteSource()>& open,
                                           std::size_t maxBytes = kMaxRecodedMovieBytes);

}  // namespace pw

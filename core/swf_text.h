#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pw {

// Flash movies of version 5 and older store their text in the code page of the system
// they were authored on, GBK for our lessons; Ruffle reads such text as Windows-1252.
// From version 6 on, a movie's strings are UTF-8.
//
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
// version 6 or later, is not a movie, cannot be read to its end (for instance while it
// is still being downloaded), or holds no text that needs re-encoding. The work never
// allocates more than a bounded multiple of the movie's size.
std::optional<std::vector<std::uint8_t>> RecodeGbkMovie(std::span<const std::uint8_t> movie);

// The largest movie, after decompression, that RecodeGbkMovie takes on.
inline constexpr std::size_t kMaxRecodedMovieBytes = 256u * 1024 * 1024;

}  // namespace pw

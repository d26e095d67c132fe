#pragma once

#include "tools/swf/swf_writer.h"

namespace pw::swf {

// The program's idle movie "3.swf": 2066 bytes, SWF 4, 210 x 140 pixels at 12 frames per
// second, 30 frames of three soft coloured balls drifting on black.
Bytes MakeIdleMovie();

inline constexpr std::size_t kIdleMovieSize = 2066;

}  // namespace pw::swf

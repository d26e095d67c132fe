#pragma once

#include <cstdint>
#include <span>

namespace pw {

// The bytes of the idle movie "3.swf" that the program carries in its binary.
std::span<const std::uint8_t> IdleMovieBytes();

}  // namespace pw

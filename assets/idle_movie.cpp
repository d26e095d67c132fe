#include "assets/idle_movie.h"

#include <cstddef>

namespace pw {
namespace embedded {
// Defined in the source generated from assets/3.swf.
extern const std::uint8_t kIdleMovie[];
extern const std::size_t kIdleMovieSize;
}  // namespace embedded

std::span<const std::uint8_t> IdleMovieBytes() { return {embedded::kIdleMovie, embedded::kIdleMovieSize}; }

}  // namespace pw

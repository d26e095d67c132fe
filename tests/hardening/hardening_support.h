#pragma once

#include <string>

namespace pw::testing {

// True when every byte of `part` equals the byte of `whole` at the same offset, and
// `part` is no longer than `whole`: a file stopped early, never a wrong one.
inline bool IsPrefixOf(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

}  // namespace pw::testing

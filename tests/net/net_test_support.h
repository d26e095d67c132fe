#pragma once

#include <string>

#include "tests/support/temp_dir.h"

namespace pw::testing {

// The percent-encoded form of every byte of `bytes` (upper-case hex).
inline std::string PercentEncoded(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}

}  // namespace pw::testing

#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

#include "tests/support/fixture_server.h"
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

// The path as the program puts it on the wire: every byte of a double-byte character
// percent-encoded, ASCII as it stands.
inline std::string WirePath(const std::string& gbkPath) {
    std::string out;
    for (char c : gbkPath) {
        if (static_cast<unsigned char>(c) < 0x80) out += c;
        else out += PercentEncoded(std::string(1, c));
    }
    return out;
}

// How many header lines named `name` (case-insensitive) the request carried.
inline std::size_t HeaderCount(const RecordedRequest& request, std::string_view name) {
    std::size_t count = 0;
    for (const auto& [key, value] : request.headers) {
        bool same = key.size() == name.size();
        for (std::size_t i = 0; same && i < key.size(); ++i)
            same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(name[i]));
        if (same) ++count;
    }
    return count;
}

}  // namespace pw::testing

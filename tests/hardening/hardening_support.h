#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "tests/support/fixture_server.h"

namespace pw::testing {

// True when every byte of `part` equals the byte of `whole` at the same offset, and
// `part` is no longer than `whole`: a file stopped early, never a wrong one.
inline bool IsPrefixOf(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// How many requests of `method` the server has received.
inline int CountRequests(const FixtureServer& server, const std::string& method) {
    int n = 0;
    for (const auto& r : server.Requests()) n += r.method == method;
    return n;
}

// Polls `done` (for conditions set by other threads, with no events to process); false
// when `limit` passes first.
template <class Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// How many of this process's file descriptors are open on `path`.
inline int OpenDescriptorsOf(const std::string& path) {
    std::error_code error;
    const auto target = std::filesystem::canonical(path, error);
    if (error) return 0;
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const auto linked = std::filesystem::read_symlink(entry.path(), linkError);
        n += !linkError && linked == target;
    }
    return n;
}

}  // namespace pw::testing

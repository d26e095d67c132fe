#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "lessons/download_worker.h"
#include "tests/support/fixture_server.h"

namespace pw::testing {

// Waits until every download thread has ended; false after `limit`.
inline bool DownloadsEnd(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (Downloads().Running()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// How many requests of `method` the server has received.
inline int CountRequests(const FixtureServer& server, const std::string& method) {
    int n = 0;
    for (const auto& r : server.Requests()) n += r.method == method;
    return n;
}

}  // namespace pw::testing

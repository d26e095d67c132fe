#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>

#include "core/text.h"

namespace pw {

// How long a small file may keep the program waiting: to connect, and for each next byte.
struct FetchTimeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds stall{30000};
};

// The body of the file at `url` by HTTP GET, when the server answers 200 with at most
// `limit` bytes; nothing for any other status, a longer body, a transfer that fails,
// breaks off or stalls, and after a stop request. Caches on the way are asked to check
// with the server, so a file the site has changed is not answered from an old copy.
std::optional<std::string> FetchFile(const Text& url, std::size_t limit, const FetchTimeouts& timeouts = {},
                                     const std::stop_token& stop = {});

}  // namespace pw

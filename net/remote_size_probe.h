#pragma once

#include <chrono>
#include <stop_token>

#include "core/text.h"

namespace pw {

// How long a probe may take: to connect, and in all.
struct ProbeTimeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds total{15000};
};

// The size of the resource at `url` by an HTTP HEAD request: the Content-Length of a 200
// answer (0 when it is missing or not a number), -1 for any other status and for every
// failure of the request (including time-outs and a stop request), -2 when the request
// cannot be made at all. Never shows a message.
double RemoteSizeProbe(const Text& url, const ProbeTimeouts& timeouts = {}, const std::stop_token& stop = {});

}  // namespace pw

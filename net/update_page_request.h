#pragma once

#include <chrono>
#include <cstddef>
#include <stop_token>

#include "core/text.h"

namespace pw {

// How long the update page may take: to connect, and in all.
struct PageTimeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds total{15000};
};

// The longest update page: a longer body is no update page.
inline constexpr std::size_t kUpdatePageLimit = 1024 * 1024;

// The body of the update page at `url`, fetched by an HTTP/1.0 GET over a direct
// connection, never from a cache. The status is not examined (an error page's body is
// returned like any other); what arrived before a transfer broke off or ran out of time
// is returned too; empty when nothing could be fetched, when the body is longer than
// kUpdatePageLimit, and after a stop request.
Text FetchUpdatePage(const Text& url, const PageTimeouts& timeouts = {}, const std::stop_token& stop = {});

}  // namespace pw

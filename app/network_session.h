#pragma once

namespace pw {

// Ends the run with the network library's global clean-up: made first and gone last of
// everything that uses the network. The library itself is loaded, and started, at the
// first request (net/curl_library.h), so that it does not delay the window.
class NetworkSession {
public:
    NetworkSession() = default;
    ~NetworkSession();  // cleans up only when the library was loaded and started
    NetworkSession(const NetworkSession&) = delete;
    NetworkSession& operator=(const NetworkSession&) = delete;
};

}  // namespace pw

#pragma once

namespace pw {

// Brackets the run with the network library's global start-up and clean-up: made first
// and gone last of everything that uses the network.
class NetworkSession {
public:
    NetworkSession();
    ~NetworkSession();  // cleans up only when the start-up succeeded
    NetworkSession(const NetworkSession&) = delete;
    NetworkSession& operator=(const NetworkSession&) = delete;

    int startupResult = 0;
};

}  // namespace pw

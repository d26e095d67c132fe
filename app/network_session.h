#pragma once

namespace pw {

// Brackets the run with the network library's global start-up and clean-up.
class NetworkSession {
public:
    void Initialise();
    void Destroy();  // cleans up only when the start-up succeeded
    int startupResult = 0;
};

// The program's clean-up at termination; runs once however often it is called.
void ShutdownCleanup();

// The session that ShutdownCleanup destroys; created by the entry routine.
NetworkSession*& TheNetworkSession();

}  // namespace pw

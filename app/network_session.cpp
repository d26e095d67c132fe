#include "app/network_session.h"

#include <curl/curl.h>

#include <atomic>
#include <utility>

#include "core/program_state.h"

namespace pw {

void NetworkSession::Initialise() { startupResult = static_cast<int>(curl_global_init(CURL_GLOBAL_DEFAULT)); }

void NetworkSession::Destroy() {
    if (startupResult == 0) curl_global_cleanup();
}

NetworkSession*& TheNetworkSession() {
    static NetworkSession* session = nullptr;
    return session;
}

void ShutdownCleanup() {
    static std::atomic<bool> done{false};
    if (done.exchange(true)) return;
    ProgramState& globals = Globals();
    globals.CurrentVersion.clear();
    globals.CurrentUrl.clear();
    globals.CurrentFileName.clear();
    if (NetworkSession* session = std::exchange(TheNetworkSession(), nullptr)) {
        session->Destroy();
        delete session;
    }
}

}  // namespace pw

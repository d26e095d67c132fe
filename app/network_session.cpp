#include "app/network_session.h"

#include <curl/curl.h>

namespace pw {

NetworkSession::NetworkSession() : startupResult(static_cast<int>(curl_global_init(CURL_GLOBAL_DEFAULT))) {}

NetworkSession::~NetworkSession() {
    if (startupResult == 0) curl_global_cleanup();
}

}  // namespace pw

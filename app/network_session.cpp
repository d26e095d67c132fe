#include "app/network_session.h"

#include "net/curl_library.h"

namespace pw {

NetworkSession::~NetworkSession() { CleanUpCurl(); }

}  // namespace pw

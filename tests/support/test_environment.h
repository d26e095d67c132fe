#pragma once

#include <curl/curl.h>

#include <cstdlib>

namespace pw::testing {

// Every request of the tests goes to a server of their own on 127.0.0.1: no proxy of the
// machine's may stand in between, unless a test sets one on purpose. libcurl's global
// start-up runs once, before any thread could race to do it.
inline void PrepareTestEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"})
        unsetenv(name);
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

}  // namespace pw::testing

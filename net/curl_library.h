#pragma once

#include <curl/curl.h>

namespace pw {

// The libcurl functions the program calls, found in libcurl once it is loaded.
struct CurlFunctions {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_global_cleanup) global_cleanup;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_cleanup) easy_cleanup;
    decltype(&::curl_easy_setopt) easy_setopt;
    decltype(&::curl_easy_getinfo) easy_getinfo;
    decltype(&::curl_easy_perform) easy_perform;
    decltype(&::curl_easy_header) easy_header;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
};

// libcurl is loaded at the first request, not with the program: it brings some twenty
// libraries (TLS, LDAP, SSH, IDN, ...) whose loading and relocation would otherwise delay
// every start before the window shows. The first call loads it and runs its global
// start-up, once, whichever thread calls first. Null when libcurl cannot be loaded: then
// no request can be made.
const CurlFunctions* LoadCurl();

// The functions of the loaded libcurl; only where LoadCurl() has answered (a valid
// handle proves it).
const CurlFunctions& Curl();

// libcurl's global clean-up, if it was loaded and started; at the end of the program,
// once no thread uses it any more.
void CleanUpCurl();

}  // namespace pw

#include "net/curl_library.h"

#include <dlfcn.h>

#include <atomic>

#include "core/loaded_library.h"

namespace pw {
namespace {

// The soname the program is built against (libcurl's ABI 4, unchanged since 2006).
constexpr char kCurlLibrary[] = "libcurl.so.4";

struct LoadedCurl {
    bool loaded = false;
    bool started = false;  // the global start-up succeeded
    CurlFunctions functions{};
};

LoadedCurl Load() {
    LoadedCurl curl;
    // Never closed: it stays for the whole run, as a linked library would.
    void* library = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library) return curl;
    CurlFunctions& f = curl.functions;
    curl.loaded = FindFunction(library, "curl_global_init", f.global_init) &&
                  FindFunction(library, "curl_global_cleanup", f.global_cleanup) &&
                  FindFunction(library, "curl_easy_init", f.easy_init) &&
                  FindFunction(library, "curl_easy_cleanup", f.easy_cleanup) &&
                  FindFunction(library, "curl_easy_setopt", f.easy_setopt) &&
                  FindFunction(library, "curl_easy_getinfo", f.easy_getinfo) &&
                  FindFunction(library, "curl_easy_perform", f.easy_perform) &&
                  FindFunction(library, "curl_easy_header", f.easy_header) &&
                  FindFunction(library, "curl_slist_append", f.slist_append) &&
                  FindFunction(library, "curl_slist_free_all", f.slist_free_all);
    // Before any handle is made, and before a second thread can use libcurl: the first
    // caller runs this while the others wait for the static below. A failed start-up is
    // retried by libcurl itself when the first handle is made.
    if (curl.loaded) curl.started = f.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return curl;
}

LoadedCurl& Loaded() {
    static LoadedCurl curl = Load();
    return curl;
}

// Set once LoadCurl has run, so that the clean-up does not load libcurl just to clean it up.
std::atomic<bool> g_loadAttempted{false};

}  // namespace

const CurlFunctions* LoadCurl() {
    LoadedCurl& curl = Loaded();
    g_loadAttempted.store(true, std::memory_order_release);
    return curl.loaded ? &curl.functions : nullptr;
}

const CurlFunctions& Curl() { return Loaded().functions; }

void CleanUpCurl() {
    if (!g_loadAttempted.load(std::memory_order_acquire)) return;
    LoadedCurl& curl = Loaded();
    if (curl.started) {
        curl.functions.global_cleanup();
        curl.started = false;
    }
}

}  // namespace pw

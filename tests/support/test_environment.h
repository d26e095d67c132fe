#pragma once

#include <curl/curl.h>

#include <cstdlib>

namespace pw::testing {

// Every request of the tests goes to a server of their own on 127.0.0.1: no proxy of the
// machine's may stand in between, unless a test sets one on purpose. libcurl's global
// start-up runs once, before any thread could race to do it.
//
// Nor is there a D-Bus session bus. Without an address, libdbus "autolaunches" one: it
// forks the test process, by then running the web engine's threads, to exec dbus-launch.
// Under AddressSanitizer such a child can deadlock before its exec on a lock another
// thread held at the fork, and the web engine's shutdown then waits for ever on the
// connection. An address that fails at once keeps every test program (and the program
// they start) from forking for it.
inline void PrepareTestEnvironment() {
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/pebblewick-tests-have-no-session-bus", 1);
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"})
        unsetenv(name);
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

}  // namespace pw::testing

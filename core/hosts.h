#pragma once

#include "core/text.h"

namespace pw {

// The scheme and host of a host as written: "host" and "host:port" mean plain http, as does
// "http://host[:port]"; "https://host[:port]" means TLS. The scheme is matched in any case
// and written in lower case; trailing slashes go. "example.org" gives
// "http://example.org", "HTTPS://example.org:8443/" gives "https://example.org:8443".
Text HostOrigin(const Text& host);

// The hosts of the program's web site and its two lesson servers, each written as
// HostOrigin takes it: compiled in, overridden by PEBBLEWICK_SITE_HOST,
// PEBBLEWICK_LESSON_HOST1 and PEBBLEWICK_LESSON_HOST2 when those are set and not empty.
// Read once, at start.
struct Hosts {
    Text site;
    Text lesson1;
    Text lesson2;

    // The site's origin + "/tovel/": every site address starts with it.
    Text SiteBaseUrl() const { return HostOrigin(site) + "/tovel/"; }
    // The host of lesson server 1 or 2, as written.
    const Text& Lesson(int server) const { return server == 2 ? lesson2 : lesson1; }
};

Hosts ReadHosts();

}  // namespace pw

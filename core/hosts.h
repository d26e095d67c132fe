#pragma once

#include "core/text.h"

namespace pw {

// The hosts (host or host:port) of the program's web site and its two lesson servers:
// compiled in, overridden by PEBBLEWICK_SITE_HOST, PEBBLEWICK_LESSON_HOST1 and
// PEBBLEWICK_LESSON_HOST2 when those are set and not empty. Read once, at start.
struct Hosts {
    Text site;
    Text lesson1;
    Text lesson2;

    // "http://" + site host + "/tovel/".
    Text SiteBaseUrl() const { return "http://" + site + "/tovel/"; }
    // The host of lesson server 1 or 2.
    const Text& Lesson(int server) const { return server == 2 ? lesson2 : lesson1; }
};

Hosts ReadHosts();

}  // namespace pw

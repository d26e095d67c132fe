#pragma once

#include "core/text.h"

namespace pw {

// The hosts (host or host:port) of the program's web site and its two lesson servers:
// compiled in, overridden by PEBBLEWICK_SITE_HOST, PEBBLEWICK_LESSON_HOST1 and
// PEBBLEWICK_LESSON_HOST2 when those are set and not empty. Read on every call, so
// tests can point the program at their own servers.
Text SiteHost();
Text LessonHost(int server);  // server 1 or 2

// "http://" + site host + "/tovel/".
Text SiteBaseUrl();

}  // namespace pw

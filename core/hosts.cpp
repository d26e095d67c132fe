#include "core/hosts.h"

#include <cstdlib>

namespace pw {
namespace {

Text FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return (value && *value) ? Text(value) : Text(fallback);
}

}  // namespace

Hosts ReadHosts() {
    return {FromEnvironment("PEBBLEWICK_SITE_HOST", PEBBLEWICK_DEFAULT_SITE_HOST),
            FromEnvironment("PEBBLEWICK_LESSON_HOST1", PEBBLEWICK_DEFAULT_LESSON_HOST1),
            FromEnvironment("PEBBLEWICK_LESSON_HOST2", PEBBLEWICK_DEFAULT_LESSON_HOST2)};
}

}  // namespace pw

#include "core/hosts.h"

#include <string_view>

#include "core/files.h"

namespace pw {
namespace {

Text FromEnvironment(const char* name, const char* fallback) {
    const char* value = NonEmptyEnvironment(name);
    return Text(value ? value : fallback);
}

}  // namespace

Text HostOrigin(const Text& host) {
    std::string_view rest = host;
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    for (std::string_view scheme : {"https://", "http://"}) {
        if (StartsWithNoCase(rest, scheme)) return Text(scheme) + Text(rest.substr(scheme.size()));
    }
    return "http://" + Text(rest);
}

Hosts ReadHosts() {
    return {FromEnvironment("PEBBLEWICK_SITE_HOST", PEBBLEWICK_DEFAULT_SITE_HOST),
            FromEnvironment("PEBBLEWICK_LESSON_HOST1", PEBBLEWICK_DEFAULT_LESSON_HOST1),
            FromEnvironment("PEBBLEWICK_LESSON_HOST2", PEBBLEWICK_DEFAULT_LESSON_HOST2)};
}

}  // namespace pw

#include <gtest/gtest.h>

#include "core/hosts.h"

namespace pw {
namespace {

TEST(Hosts, WrittenWithOrWithoutTheirSchemeGiveTheSiteAddress) {
    const struct {
        const char* written;
        const char* siteBaseUrl;
    } rows[] = {
        {"example.org", "http://example.org/tovel/"},
        {"example.org:8080", "http://example.org:8080/tovel/"},
        {"http://example.org", "http://example.org/tovel/"},
        {"https://example.org", "https://example.org/tovel/"},
        {"HTTPS://example.org:8443/", "https://example.org:8443/tovel/"},
        {"Http://[::1]:8080//", "http://[::1]:8080/tovel/"},
        {"httpsexample.org", "http://httpsexample.org/tovel/"},
    };
    for (const auto& row : rows) {
        const Hosts hosts{row.written, row.written, row.written};
        EXPECT_EQ(hosts.SiteBaseUrl(), row.siteBaseUrl) << row.written;
    }
}

}  // namespace
}  // namespace pw

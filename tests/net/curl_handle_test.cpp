#include "net/curl_handle.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pw {
namespace {

struct WireCase {
    std::string url;
    std::string wire;
};

// Test names and failure messages show the case, not its bytes.
void PrintTo(const WireCase& c, std::ostream* os) { *os << c.url; }

class UrlForWireTest : public ::testing::TestWithParam<WireCase> {};

TEST_P(UrlForWireTest, EncodesOnlyWhatARequestLineCannotHold) {
    EXPECT_EQ(UrlForWire(GetParam().url), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, UrlForWireTest,
    ::testing::Values(
        WireCase{"http://h:81/a/b.swf?x=1&y=~", "http://h:81/a/b.swf?x=1&y=~"},
        WireCase{"http://h/a b", "http://h/a%20b"},
        WireCase{"http://h/%41%e4", "http://h/%41%e4"},  // existing escapes stay as written
        WireCase{std::string("http://h/\xB0\xAE\xB3\xD4.swf"), "http://h/%B0%AE%B3%D4.swf"},
        WireCase{std::string("http://h/\t\x01\x7F\x80\xFF"), "http://h/%09%01%7F%80%FF"},
        WireCase{"", ""}));

}  // namespace
}  // namespace pw

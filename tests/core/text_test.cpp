#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/text.h"

namespace pw {
namespace {

TEST(GbkConversion, RoundTripsChineseAndAscii) {
    const std::string utf8 = "下载已完成 abc 123";
    const Text gbk = FromUtf8(utf8);
    EXPECT_EQ(gbk.size(), 5 * 2 + 8u);  // five double-byte characters, eight ASCII bytes
    EXPECT_EQ(static_cast<unsigned char>(gbk[0]), 0xCF);  // 下 is CF C2 in GBK
    EXPECT_EQ(static_cast<unsigned char>(gbk[1]), 0xC2);
    EXPECT_EQ(ToUtf8(gbk), utf8);
}

TEST(GbkConversion, BadBytesAreReplacedNotDropped) {
    EXPECT_EQ(ToUtf8("a\x81"), "a\xEF\xBF\xBD");         // truncated double-byte character
    EXPECT_EQ(FromUtf8("x\xFFy"), "x?y");                // invalid UTF-8
    EXPECT_EQ(FromUtf8("\xF0\x9F\x98\x80"), "?");        // emoji: not in GBK
}

// GBK characters whose second byte is an ASCII character: 乗 (81 5C, "\"), 丂 (81 40, "@"),
// and 亅 (81 7C, "|"). A search must not find those ASCII bytes inside them.
TEST(FindText, NeverMatchesOnTheSecondByteOfADoubleByteCharacter) {
    const Text backslashInside = "\x81\x5C";
    const Text atInside = "\x81\x40";
    const Text barInside = "\x81\x7C";
    EXPECT_EQ(FindText(backslashInside, "\\"), std::string_view::npos);
    EXPECT_EQ(FindText(atInside, "@"), std::string_view::npos);
    EXPECT_EQ(FindText(barInside, "|"), std::string_view::npos);
    EXPECT_EQ(FindText(backslashInside + "\\", "\\"), 2u);
    EXPECT_EQ(FindText("ab" + atInside + "@", "@"), 4u);
    // A needle that itself starts with a lead byte is found on character boundaries only.
    const Text tricky = "\x81\x81\x40";  // 亖 (81 81) then '@'
    EXPECT_EQ(FindText(tricky, "\x81\x40"), std::string_view::npos);
    EXPECT_EQ(FindText(tricky, "@"), 2u);
}

TEST(FindText, FromPositionAndEdges) {
    EXPECT_EQ(FindText("abcabc", "abc", 1), 3u);
    EXPECT_EQ(FindText("abc", "", 2), 2u);
    EXPECT_EQ(FindText("abc", "x", 5), std::string_view::npos);
    EXPECT_EQ(FindText("ab", "abc"), std::string_view::npos);
    // Starting inside a double-byte character steps to the next character.
    EXPECT_EQ(FindText("\x81\x40@", "@", 1), 2u);
}

TEST(ReplaceAll, RemovesEveryOccurrenceOnCharacterBoundaries) {
    EXPECT_EQ(ReplaceAll("<p>a</p><p>b</p>", "<p>", ""), "a</p>b</p>");
    EXPECT_EQ(ReplaceAll("aaa", "a", "bb"), "bbbbbb");
    EXPECT_EQ(ReplaceAll("\x81\x40@", "@", "#"), "\x81\x40#");
}

struct NumberCase {
    const char* utf8;
    double expected;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.utf8 << '"'; }

class NumberFromTextTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFromTextTest, ReadsTheLeadingDecimalNumber) {
    const NumberCase& c = GetParam();
    EXPECT_DOUBLE_EQ(NumberFromText(FromUtf8(c.utf8)), c.expected) << c.utf8;
}

INSTANTIATE_TEST_SUITE_P(
    AsciiAndFullWidth, NumberFromTextTest,
    ::testing::Values(NumberCase{"2.1", 2.1}, NumberCase{"２．１", 2.1}, NumberCase{"2.0.1", 2.0},
                      NumberCase{"v2.1", 0.0}, NumberCase{"", 0.0}, NumberCase{"  -3.5e2x", -350.0},
                      NumberCase{"－１２", -12.0}, NumberCase{"　＋７", 7.0}, NumberCase{"1e", 1.0},
                      NumberCase{"1e+", 1.0}, NumberCase{"2E-3", 0.002}, NumberCase{".5", 0.5},
                      NumberCase{"5.", 5.0}, NumberCase{".", 0.0}, NumberCase{"+-1", 0.0},
                      NumberCase{"12版", 12.0}, NumberCase{"0x1A", 0.0}, NumberCase{"\t\n 8", 8.0},
                      NumberCase{"2.0000002", 2.0000002}, NumberCase{"1e-400", 0.0}));

TEST(NumberFromText, OverflowGivesInfinity) {
    EXPECT_EQ(NumberFromText("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(NumberFromText("-1e400"), -std::numeric_limits<double>::infinity());
}

TEST(TextFromNumber, WritesPercentPoint13g) {
    EXPECT_EQ(TextFromNumber(100.0), "100");
    EXPECT_EQ(TextFromNumber(512.5), "512.5");
    EXPECT_EQ(TextFromNumber(1953.13), "1953.13");
    EXPECT_EQ(TextFromNumber(0.0), "0");
    EXPECT_EQ(TextFromNumber(-0.98), "-0.98");
    EXPECT_EQ(TextFromNumber(1.0 / 3.0), "0.3333333333333");
    EXPECT_EQ(TextFromNumber(1e20), "1e+20");
    EXPECT_EQ(TextFromNumber(1234567890123456.0), "1.234567890123e+15");
    EXPECT_EQ(TextFromInteger(-42), "-42");
}

TEST(TruncateToInt32, TowardZeroAndSaturating) {
    EXPECT_EQ(TruncateToInt32(3.99), 3);
    EXPECT_EQ(TruncateToInt32(-3.99), -3);
    EXPECT_EQ(TruncateToInt32(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(TruncateToInt32(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
}

}  // namespace
}  // namespace pw

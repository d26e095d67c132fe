// The pure pieces of the update check: ExtractBetween, the page parse, the version
// comparison, the prompt, and the checks on the announced file name and address.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "lessons/update_check.h"

namespace pw {
namespace {

using namespace std::string_literals;

// A page as the site writes it: each key in a paragraph of its own, inside the block.
Text TypicalPage(const char* newestUtf8, const char* notesUtf8 = "<p>修正错误</p>") {
    return FromUtf8("<html><body>\r\n<p>////开始</p>\r\n<p>最新版=") + FromUtf8(newestUtf8) +
           FromUtf8("</p>\r\n<p>下载地址=http://example.test/pw21.zip</p>\r\n"
                    "<p>文件命名=pw21.zip</p>\r\n<p>下载方式=下载文件</p>\r\n<p>更新说明=") +
           FromUtf8(notesUtf8) + FromUtf8("更新说明结束</p>\r\n<p>////结束</p>\r\n</body></html>");
}

// Names the cases of a table by their `name` member.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// ---- ExtractBetween --------------------------------------------------------------

struct ExtractCase {
    const char* name;
    std::string text, open, close, expected;
};

void PrintTo(const ExtractCase& c, std::ostream* os) { *os << c.name; }

class ExtractBetweenTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractBetweenTest, GivesTheBytesBetweenTheMarkers) {
    const ExtractCase& c = GetParam();
    EXPECT_EQ(ExtractBetween(c.text, c.open, c.close), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractBetweenTest,
    ::testing::Values(
        ExtractCase{"Plain", "a[b]c", "[", "]", "b"},
        ExtractCase{"FirstOpenFirstCloseAfterIt", "]x[one]two[three]", "[", "]", "one"},
        ExtractCase{"OpenMissing", "abc]", "[", "]", ""},
        ExtractCase{"CloseMissingAfterOpen", "]abc[def", "[", "]", ""},
        ExtractCase{"CloseRightAfterOpen", "a[]b", "[", "]", ""},
        ExtractCase{"EmptyText", "", "[", "]", ""},
        ExtractCase{"MultiByteMarkersKeepBlanksAndBreaks", "<<k=>> 1 \r\n2 <</>>", "<<k=>>", "<</>>",
                    " 1 \r\n2 "},
        ExtractCase{"MarkersOverlapNotAllowed", "abcd", "abc", "cd", ""},
        // 0xB0 0xD7 is one character; its second byte must not begin a match of a
        // marker whose first byte is 0xD7.
        ExtractCase{"NoMatchOnSecondByte", "\xB0\xD7=x;", "\xD7=", ";", ""},
        ExtractCase{"MatchOnCharacterBoundary", "\xB0\xD7\xD7=x;", "\xD7=", ";", "x"},
        // The close marker's first byte as second byte of a character inside the value.
        ExtractCase{"CloseNotMatchedInsideCharacter", "[\xB0\x5D]", "[", "]", "\xB0\x5D"},
        // A text cut after a lead byte: no match, no read past the end.
        ExtractCase{"CutAfterLeadByte", "[ab\xB5", "[", "\xB5\xB1", ""},
        ExtractCase{"CutAfterLeadByteCloseFound", "[ab]\xB5", "[", "]", "ab"}),
    CaseName<ExtractCase>);

TEST(ExtractBetween, RestIsSearchedFromItsOwnFirstByte) {
    // The open marker ends with a lead byte, so the rest begins with a trail byte that
    // is read as a character start of its own: the close marker matches there.
    // Searched in the whole text instead, 0xB0 ']' would be one character and the
    // value "]y".
    EXPECT_EQ(ExtractBetween("x\xB0]y]", "x\xB0", "]"), "");
}

// ---- the page parse ----------------------------------------------------------------

TEST(ParseUpdatePage, ReadsEveryKeyOfATypicalPage) {
    const UpdateAnnouncement a = ParseUpdatePage(TypicalPage("2.1"));
    EXPECT_EQ(a.newest, "2.1");
    EXPECT_EQ(a.downloadUrl, "http://example.test/pw21.zip");
    EXPECT_EQ(a.fileName, "pw21.zip");
    EXPECT_EQ(a.way, WayDownloadFile());
    EXPECT_EQ(a.notes, FromUtf8("修正错误"));
}

TEST(ParseUpdatePage, KeysInAnyOrderAndOnOneLine) {
    const Text page = FromUtf8(
        "////开始<p>下载方式=打开网页</p><p>更新说明=新</p>更新说明结束</p>"
        "<p>最新版=3</p><p>文件命名=</p><p>下载地址=http://h/</p>////结束");
    const UpdateAnnouncement a = ParseUpdatePage(page);
    EXPECT_EQ(a.newest, "3");
    EXPECT_EQ(a.downloadUrl, "http://h/");
    EXPECT_EQ(a.fileName, "");
    EXPECT_EQ(a.way, WayOpenWebPage());
    EXPECT_EQ(a.notes, FromUtf8("新"));
}

TEST(ParseUpdatePage, TwoParagraphsOfNotesRunTogether) {
    const UpdateAnnouncement a =
        ParseUpdatePage(TypicalPage("2.1", "<p>第一段</p><p>第二段</p>\r\n<p>第三段</p>"));
    EXPECT_EQ(a.notes, FromUtf8("第一段第二段\r\n第三段"));
}

TEST(ParseUpdatePage, OtherTagsAndEntitiesStayInTheNotes) {
    const UpdateAnnouncement a = ParseUpdatePage(TypicalPage("2.1", "<p><b>a</b>&amp;<br></p>"));
    EXPECT_EQ(a.notes, "<b>a</b>&amp;<br>");
}

TEST(ParseUpdatePage, OpeningTagsGoFirstThenClosingTags) {
    // "<</p>p>": removing "</p>" first would leave "<p>" and remove it too.
    EXPECT_EQ(ParseUpdatePage(TypicalPage("2.1", "<</p>p>")).notes, "<p>");
}

TEST(ParseUpdatePage, NothingOutsideTheBlockCounts) {
    const Text page = FromUtf8("<p>最新版=9</p>////开始<p>下载地址=x</p>////结束<p>最新版=8</p>");
    const UpdateAnnouncement a = ParseUpdatePage(page);
    EXPECT_EQ(a.newest, "");
    EXPECT_EQ(a.downloadUrl, "x");
}

TEST(ParseUpdatePage, BodyEndsAtItsFirstZeroByte) {
    EXPECT_EQ(ParseUpdatePage("\0"s + TypicalPage("2.1")).newest, "");
    const Text page = TypicalPage("2.1");
    // A zero byte after the block changes nothing; one inside the block cuts it open.
    EXPECT_EQ(ParseUpdatePage(page + "\0" + "junk").newest, "2.1");
    const Text cutInside = page.substr(0, page.find("2.1") + 3) + "\0"s + page.substr(page.find("2.1") + 3);
    EXPECT_EQ(ParseUpdatePage(cutInside).newest, "");
}

TEST(ParseUpdatePage, PageCutInTheMiddleOfADoubleByteCharacter) {
    const Text page = TypicalPage("2.1");
    // Cut after the block: the announcement is whole.
    const Text afterBlock = page.substr(0, page.find("</body>")) + "\xB5";
    EXPECT_EQ(ParseUpdatePage(afterBlock).newest, "2.1");
    // Cut inside the closing marker, after the lead byte of "结": no block.
    const std::size_t close = page.find(FromUtf8("////结束"));
    ASSERT_NE(close, Text::npos);
    EXPECT_EQ(ParseUpdatePage(page.substr(0, close + 5)).newest, "");
    EXPECT_EQ(ParseUpdatePage(page.substr(0, close + 5)).notes, "");
}

TEST(ParseUpdatePage, KeyBytesInsideOtherCharactersAreNoKey) {
    // "白" is B0 D7; followed by EE D0 C2 B0 E6 '=' its second byte starts the bytes of
    // "最新版=", which a plain byte search would take for the key.
    const Text page = FromUtf8("////开始<p>白") + "\xEE\xD0\xC2\xB0\xE6=9.9</p>" + FromUtf8("////结束");
    ASSERT_NE(page.find(FromUtf8("最新版=")), Text::npos);
    EXPECT_EQ(ParseUpdatePage(page).newest, "");
}

TEST(ParseUpdatePage, EmptyAndMarkerlessBodiesGiveNothing) {
    for (const Text& body : {Text(), Text("<html>404 Not Found</html>"), FromUtf8("////开始<p>最新版=3</p>")}) {
        const UpdateAnnouncement a = ParseUpdatePage(body);
        EXPECT_EQ(a.newest + a.downloadUrl + a.fileName + a.way + a.notes, "") << body;
    }
}

// ---- version comparison ------------------------------------------------------------

struct VersionCase {
    const char* announcedUtf8;
    bool newer;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.announcedUtf8 << (c.newer ? " newer" : " not newer"); }

class IsNewerVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(IsNewerVersionTest, AgainstTwoPointZero) {
    EXPECT_EQ(IsNewerVersion(FromUtf8(GetParam().announcedUtf8), "2.0"), GetParam().newer)
        << GetParam().announcedUtf8;
}

INSTANTIATE_TEST_SUITE_P(Cases, IsNewerVersionTest,
                         ::testing::Values(VersionCase{"2.0", false}, VersionCase{"2", false},
                                           VersionCase{"2.0000001", false}, VersionCase{"2.0000002", true},
                                           VersionCase{"1.9", false}, VersionCase{"2.1", true},
                                           VersionCase{"２．１", true}, VersionCase{"２．０", false},
                                           VersionCase{"2.0.1", false}, VersionCase{"", false},
                                           VersionCase{"v3", false}, VersionCase{" 3 ", true},
                                           VersionCase{"-3", false}, VersionCase{"1e3", true}));

// ---- prompt --------------------------------------------------------------------------

TEST(UpdatePrompt, ByteForByte) {
    // 当前版本：2.0\r\n最新版本：２．１\r\n更新内容：\r\n修正 in GBK.
    const Text expected =
        "\xB5\xB1\xC7\xB0\xB0\xE6\xB1\xBE\xA3\xBA"
        "2.0\r\n"
        "\xD7\xEE\xD0\xC2\xB0\xE6\xB1\xBE\xA3\xBA"
        "\xA3\xB2\xA3\xAE\xA3\xB1\r\n"
        "\xB8\xFC\xD0\xC2\xC4\xDA\xC8\xDD\xA3\xBA\r\n"
        "\xD0\xDE\xD5\xFD";
    EXPECT_EQ(UpdatePrompt("2.0", FromUtf8("２．１"), FromUtf8("修正")), expected);
    EXPECT_EQ(UpdatePromptCaption(), "\xCA\xC7\xB7\xF1\xCF\xC2\xD4\xD8\xD7\xEE\xD0\xC2\xB0\xE6\xA3\xBF");
}

// ---- the announced file name and address -------------------------------------------

struct NameCase {
    const char* name;
    std::string value;
    bool accepted;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class IsBareFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(IsBareFileNameTest, Decides) { EXPECT_EQ(IsBareFileName(GetParam().value), GetParam().accepted); }

INSTANTIATE_TEST_SUITE_P(
    Cases, IsBareFileNameTest,
    ::testing::Values(
        NameCase{"Plain", "pw21.zip", true}, NameCase{"Chinese", "\xD0\xC2\xB0\xE6.ylq", true},
        NameCase{"DotInside", "a..b", true}, NameCase{"LeadingDot", ".hidden", true},
        // 0x81 0x5C is one character: its second byte is no backslash.
        NameCase{"TrailByteBackslash", "\x81\x5C.ylq", true},
        NameCase{"Empty", "", false}, NameCase{"Dot", ".", false}, NameCase{"DotDot", "..", false},
        NameCase{"Dots", "...", false}, NameCase{"UpBackslash", "..\\x.ylq", false},
        NameCase{"Absolute", "/etc/x", false}, NameCase{"Drive", "C:\\x", false},
        NameCase{"DriveRelative", "C:x", false}, NameCase{"Slash", "a/b", false},
        NameCase{"TrailingSlash", "a/", false}, NameCase{"Backslash", "a\\b", false},
        NameCase{"UncPath", "\\\\srv\\x", false}, NameCase{"Stream", "a.ylq:s", false},
        NameCase{"Nul", "a\0b"s, false}, NameCase{"LineBreak", "a\r\n", false},
        NameCase{"Tab", "a\tb", false}, NameCase{"Delete", "a\x7F", false},
        NameCase{"CutCharacter", "a\xB5", false},
        // A byte that cannot follow a lead byte would be read on its own by a converter.
        NameCase{"SlashAfterLeadByte", "\x81/../x", false},
        NameCase{"BackslashPairAfterBadTrail", "\x81\x2E\x2E\\x", false},
        NameCase{"LeadByte80", "\x80\x41", false}),
    CaseName<NameCase>);

class IsWebAddressTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(IsWebAddressTest, Decides) { EXPECT_EQ(IsWebAddress(GetParam().value), GetParam().accepted); }

INSTANTIATE_TEST_SUITE_P(
    Cases, IsWebAddressTest,
    ::testing::Values(
        NameCase{"Http", "http://example.test/pw.zip", true}, NameCase{"Https", "https://h", true},
        NameCase{"UpperScheme", "HTTP://h/", true}, NameCase{"MixedScheme", "hTtPs://h/", true},
        NameCase{"ChineseAndBlankInPath", "http://h/\xD0\xC2 \xB0\xE6.zip", true},
        NameCase{"Empty", "", false}, NameCase{"SchemeOnly", "http://", false},
        NameCase{"NoHost", "http:///etc/passwd", false}, NameCase{"File", "file:///etc/passwd", false},
        NameCase{"Ftp", "ftp://h/x", false}, NameCase{"Javascript", "javascript:alert(1)", false},
        NameCase{"Relative", "pw21.zip", false}, NameCase{"WindowsPath", "C:\\x.exe", false},
        NameCase{"LeadingBlank", " http://h/", false}, NameCase{"OneSlash", "http:/h", false},
        NameCase{"LineBreak", "http://h/\r\nx", false}, NameCase{"Nul", "http://h/\0x"s, false}),
    CaseName<NameCase>);

}  // namespace
}  // namespace pw

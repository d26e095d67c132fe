#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "core/data_directory.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using testing::TempDir;

struct XdgCase {
    const char* name;
    const char* xdgDataHome;
    const char* home;
    const char* expected;
};

void PrintTo(const XdgCase& c, std::ostream* os) { *os << c.name; }

class XdgDataDirectoryTest : public ::testing::TestWithParam<XdgCase> {};

TEST_P(XdgDataDirectoryTest, FollowsTheXdgRule) {
    const XdgCase& c = GetParam();
    EXPECT_EQ(XdgDataDirectory(c.xdgDataHome, c.home), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XdgDataDirectoryTest,
    ::testing::Values(XdgCase{"Set", "/data", "/home/kid", "/data/pebblewick"},
                      XdgCase{"SetWithTrailingSlashes", "/data//", "/home/kid", "/data/pebblewick"},
                      XdgCase{"RootFolder", "/", "/home/kid", "/pebblewick"},
                      XdgCase{"UnsetFallsBackToHome", nullptr, "/home/kid", "/home/kid/.local/share/pebblewick"},
                      XdgCase{"EmptyFallsBackToHome", "", "/home/kid/", "/home/kid/.local/share/pebblewick"},
                      XdgCase{"RelativeDoesNotCount", "data", "/home/kid", "/home/kid/.local/share/pebblewick"},
                      XdgCase{"RelativeHomeDoesNotCountEither", nullptr, "kid", ""},
                      XdgCase{"NeitherSet", nullptr, nullptr, ""},
                      XdgCase{"BothEmpty", "", "", ""}),
    [](const ::testing::TestParamInfo<XdgCase>& param) { return std::string(param.param.name); });

// A folder nobody can create files in, whoever runs the test (root included): a path
// below a regular file.
std::string UnwritableFolder(const TempDir& dir) {
    testing::WriteWholeFile(dir.File("plain"), "x");
    return dir.File("plain/bin");
}

bool IsEmptyDirectory(const std::string& path) {
    return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
}

TEST(IsWritableDirectory, OnlyAFolderThatTakesAFileAndIsLeftAsItWas) {
    TempDir dir;
    EXPECT_TRUE(IsWritableDirectory(dir.Path()));
    EXPECT_TRUE(IsEmptyDirectory(dir.Path())) << "the probe file stays behind";
    EXPECT_FALSE(IsWritableDirectory(UnwritableFolder(dir)));
    EXPECT_FALSE(IsWritableDirectory(dir.File("missing")));
    EXPECT_FALSE(IsWritableDirectory(dir.File("plain")));  // a file, not a folder
    EXPECT_FALSE(IsWritableDirectory(""));
    // Root passes access(W_OK) here, yet no file can be made in it.
    EXPECT_FALSE(IsWritableDirectory("/proc"));
}

TEST(IsWritableDirectory, AFolderWithoutWritePermissionForAnOrdinaryUser) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a folder of mode 0555";
    TempDir dir;
    const std::string bin = dir.File("bin");
    ASSERT_EQ(::mkdir(bin.c_str(), 0555), 0);
    EXPECT_FALSE(IsWritableDirectory(bin));
}

TEST(ChooseDataDirectory, AWritableProgramFolderKeepsTheData) {
    TempDir dir;
    const std::string xdg = dir.File("xdg");
    EXPECT_EQ(ChooseDataDirectory(dir.Path(), xdg.c_str(), dir.Path().c_str()), dir.Path());
    EXPECT_FALSE(std::filesystem::exists(xdg)) << "no data folder is made when none is needed";
    EXPECT_FALSE(std::filesystem::exists(dir.File(".local")));
}

struct ReadOnlyCase {
    const char* name;
    bool setXdgDataHome;
    const char* madeBelowTemp;  // the folder expected, relative to the test's folder
};

void PrintTo(const ReadOnlyCase& c, std::ostream* os) { *os << c.name; }

class ChooseDataDirectoryReadOnly : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(ChooseDataDirectoryReadOnly, UsesTheXdgFolderAndMakesItPrivate) {
    const ReadOnlyCase& c = GetParam();
    TempDir dir;
    const std::string xdg = dir.File("xdg/data");
    const std::string home = dir.File("home");
    const std::string expected = dir.File(c.madeBelowTemp);

    const Text chosen = ChooseDataDirectory(UnwritableFolder(dir), c.setXdgDataHome ? xdg.c_str() : nullptr,
                                            home.c_str());
    EXPECT_EQ(chosen, expected);
    ASSERT_TRUE(IsEmptyDirectory(expected));
    struct stat st {};
    ASSERT_EQ(::stat(expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(IsWritableDirectory(chosen));

    // A second start finds the folder made and answers the same.
    testing::WriteWholeFile(expected + "/3.swf", "FWS");
    EXPECT_EQ(ChooseDataDirectory(UnwritableFolder(dir), c.setXdgDataHome ? xdg.c_str() : nullptr, home.c_str()),
              expected);
    EXPECT_EQ(testing::ReadWholeFile(expected + "/3.swf"), "FWS");
}

INSTANTIATE_TEST_SUITE_P(Cases, ChooseDataDirectoryReadOnly,
                         ::testing::Values(ReadOnlyCase{"XdgDataHomeSet", true, "xdg/data/pebblewick"},
                                           ReadOnlyCase{"XdgDataHomeUnset", false,
                                                        "home/.local/share/pebblewick"}),
                         [](const ::testing::TestParamInfo<ReadOnlyCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(ChooseDataDirectory, NeitherFolderWritableAnswersTheXdgFolderAndMakesNothing) {
    TempDir dir;
    const std::string program = UnwritableFolder(dir);
    const std::string xdg = dir.File("plain/xdg");  // below the same regular file
    EXPECT_EQ(ChooseDataDirectory(program, xdg.c_str(), dir.Path().c_str()), xdg + "/pebblewick");
    EXPECT_FALSE(std::filesystem::exists(xdg + "/pebblewick"));
    EXPECT_EQ(testing::ReadWholeFile(dir.File("plain")), "x");
    EXPECT_FALSE(std::filesystem::exists(dir.File(".local")));
}

TEST(ChooseDataDirectory, NoUsableEnvironmentLeavesTheProgramFolder) {
    TempDir dir;
    const std::string program = UnwritableFolder(dir);
    EXPECT_EQ(ChooseDataDirectory(program, "relative", nullptr), program);
}

}  // namespace
}  // namespace pw

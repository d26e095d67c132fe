#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "core/files.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using testing::TempDir;

TEST(LocalFileSize, MissingIsMinusOneAndSizesAreTheLow32Bits) {
    TempDir dir;
    EXPECT_EQ(LocalFileSize(dir.File("none.ylq")), -1);
    EXPECT_EQ(LocalFileSize(dir.Path()), -1);  // a directory is no cache file
    testing::WriteWholeFile(dir.File("empty.ylq"), "");
    EXPECT_EQ(LocalFileSize(dir.File("empty.ylq")), 0);
    // A sparse file of 4 GiB + 5 bytes: its size as the low 32 bits.
    const std::string big = dir.File("big.ylq");
    testing::WriteWholeFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), (std::int64_t{1} << 32) + 5), 0);
    EXPECT_EQ(LocalFileSize(big), 5);
    ASSERT_EQ(::truncate(big.c_str(), (std::int64_t{1} << 31) + 1), 0);
    EXPECT_EQ(LocalFileSize(big), -2147483647);  // as a signed 32-bit value
}

TEST(WriteWholeFile, ReplacesTheFileAndLeavesNothingElse) {
    TempDir dir;
    const std::vector<std::uint8_t> bytes{'F', 'W', 'S', 4};
    testing::WriteWholeFile(dir.File("3.swf"), std::string(5000, 'x'));
    ASSERT_TRUE(WriteWholeFile(dir.File("3.swf"), bytes));
    EXPECT_EQ(testing::ReadWholeFile(dir.File("3.swf")), "FWS\x04");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(WriteWholeFile, FailsWhereTheDirectoryCannotTakeIt) {
    TempDir dir;
    testing::WriteWholeFile(dir.File("plain"), "x");
    const std::vector<std::uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(WriteWholeFile(dir.File("plain/3.swf"), bytes));
    EXPECT_FALSE(WriteWholeFile(dir.File("missing/3.swf"), bytes));
}

TEST(JoinPath, JoinsBareNamesWithoutADoubledSeparator) {
    EXPECT_EQ(JoinPath("/tmp/pw/", "3.swf"), "/tmp/pw/3.swf");
    EXPECT_EQ(JoinPath("/tmp/pw", "3.swf"), "/tmp/pw/3.swf");
}

}  // namespace
}  // namespace pw

// Lessons carried on a stick: exported from one computer, imported into another that
// trusts only the signed catalogue and the files' hashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "lessons/lesson_folder.h"
#include "lessons/site_catalogue.h"
#include "tests/support/catalogue_json.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using testing::CatalogueJson;
using testing::CatalogueLesson;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WriteWholeFile;

const std::string kA(30000, 'a'), kB(20000, 'b'), kC(10000, 'c'), kNewB(20000, 'n');

std::string Catalogue(std::uint64_t serial, const std::string& b, bool withC) {
    std::vector<CatalogueLesson> lessons{{0, "甲", "/a.swf", "a", kA}, {0, "乙", "/b.swf", "b", b}};
    if (withC) lessons.push_back({0, "丙", "/c.swf", "c", kC});
    return CatalogueJson(serial, {"课"}, lessons);
}

struct ImportCase {
    const char* name;
    std::function<void(const std::string& stick)> alter;  // the exported folder, changed
    bool keepsNewer;                                     // the computer keeps serial 6 already
    std::set<std::string> imported;
    std::string summary;
    std::uint64_t keptSerial;  // 0: none
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class ImportTest : public ::testing::TestWithParam<ImportCase> {
protected:
    const testing::MinisignTool key_;
};

TEST_P(ImportTest, OnlySignedFilesWithTheirHashComeIn) {
    const ImportCase& c = GetParam();
    TempDir home, stick, other;
    const std::string json = Catalogue(5, kB, true);
    ASSERT_TRUE(KeepCatalogue(home.Path(), {json, key_.Sign(json)}));
    for (const auto& [name, body] : {std::pair{"a.ylq", kA}, {"b.ylq", kB}, {"c.ylq", kC}})
        WriteWholeFile(home.File(name), body);
    WriteWholeFile(home.File("c.ylq.part"), "not carried");
    const FolderOutcome exported = ExportLessons(home.Path(), stick.Path(), key_.PublicKey(), {});
    ASSERT_TRUE(exported.ok);
    ASSERT_EQ(exported.copied, 3);
    if (c.keepsNewer) {
        // The site republished b; c is no longer offered.
        const std::string newer = Catalogue(6, kNewB, false);
        ASSERT_TRUE(KeepCatalogue(other.Path(), {newer, key_.Sign(newer)}));
    }
    c.alter(stick.File("pebblewick-lessons"));

    std::vector<FolderStep> steps;
    Store store("");
    const FolderOutcome outcome = ImportLessons(stick.Path(), other.Path(), key_.PublicKey(), &store,
                                                [&](const FolderStep& step) { steps.push_back(step); });

    std::set<std::string> imported;
    for (const char* name : {"a.ylq", "b.ylq", "c.ylq"})
        if (std::filesystem::exists(other.File(name))) imported.insert(name);
    EXPECT_EQ(imported, c.imported);
    for (const std::string& name : imported) EXPECT_TRUE(ReadWholeFile(other.File(name)) == ReadWholeFile(home.File(name)));
    EXPECT_EQ(ToUtf8(outcome.summary), c.summary);
    // Every file that should have come in did, and the folder verified.
    EXPECT_EQ(outcome.ok, c.keptSerial != 0 && c.summary.find("不对") == std::string::npos);
    const auto kept = ReadKeptCatalogue(other.Path(), key_.PublicKey());
    EXPECT_EQ(kept ? *kept->serial : 0u, c.keptSerial);
    EXPECT_FALSE(std::filesystem::exists(other.File("c.ylq.part")));
    // Each file looked at is told once, counted in turn.
    ASSERT_FALSE(steps.empty());
    for (std::size_t i = 0; c.keptSerial != 0 && i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].done, static_cast<int>(i + 1));
        EXPECT_EQ(steps[i].total, static_cast<int>(steps.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, ImportTest,
    ::testing::Values(
        ImportCase{"Good", [](const std::string&) {}, false, {"a.ylq", "b.ylq", "c.ylq"}, "3 课已导入", 5},
        ImportCase{"Tampered",
                   [](const std::string& folder) { WriteWholeFile(folder + "/b.ylq", kNewB); },
                   false,
                   {"a.ylq", "c.ylq"},
                   "2 课已导入，1 课不对，没有导入：乙（b.ylq）",
                   5},
        ImportCase{"Missing", [](const std::string& folder) { std::filesystem::remove(folder + "/c.ylq"); }, false,
                   {"a.ylq", "b.ylq"}, "2 课已导入", 5},
        ImportCase{"Unsigned",
                   [](const std::string& folder) { std::filesystem::remove(folder + "/lessons.json.minisig"); },
                   false,
                   {},
                   "文件夹里的课程目录没有通过验证，什么也没有导入。",
                   0},
        ImportCase{"LowerSerial", [](const std::string&) {}, true, {"a.ylq"},
                   "1 课已导入，2 课不对，没有导入：乙（b.ylq）、丙（c.ylq）", 6}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace pw

// The lesson library: the menu's marks of lessons whole on disk, and downloading them all.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <utility>

#include "tests/app/program_harness.h"
#include "tools/swf/sample_lessons.h"

namespace pw {
namespace {

using testing::ProgramHarness;
using testing::ReadWholeFile;
using testing::WriteWholeFile;
using Lessons = std::set<std::pair<int, int>>;

std::string Movie(int group, int item) {
    const auto bytes = swf::MakeSampleLesson(group, item);
    return {bytes.begin(), bytes.end()};
}

// After start, after a download and after a cut file is found, the marks are the
// lessons whole on disk.
TEST(LibraryTest, TheMenuMarksTheLessonsWholeOnDisk) {
    ProgramHarness h;
    WriteWholeFile(h.CacheFile(0, 0), Movie(0, 0));
    WriteWholeFile(h.CacheFile(1, 3), Movie(1, 3));
    WriteWholeFile(h.CacheFile(1, 4), Movie(1, 4).substr(0, 5000));  // cut
    WriteWholeFile(h.CacheFile(2, 1) + ".part", Movie(2, 1));         // not yet the lesson
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{0, 0}, {1, 3}}));

    h.ServeLesson(2, 1, 30000);
    h.program->OnLessonMenuItemClicked(2, 1);
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{0, 0}, {1, 3}, {2, 1}}));

    // Lesson (0, 0) was cut on disk since; its new download breaks off.
    WriteWholeFile(h.CacheFile(0, 0), Movie(0, 0).substr(0, 5000));
    h.ServeLesson(0, 0, 30000, {.chunkSize = 4096, .breakOffAfter = 10000});
    h.program->OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(h.display.ReadyLessons(), (Lessons{{1, 3}, {2, 1}}));
    EXPECT_FALSE(h.program->LessonReady(0, 0));
    EXPECT_TRUE(h.program->LessonReady(2, 1));
}

}  // namespace
}  // namespace pw

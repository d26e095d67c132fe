// What the parent corner's week and library say: the week's days from the clock, in the
// computer's time zone, today's minutes and the chart's spoken description; the library's
// sizes, totals and the download-all check.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "lessons/lesson_library.h"
#include "lessons/store.h"
#include "lessons/week_of_use.h"
#include "tests/support/scoped_env.h"

namespace pw {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// A moment of December 2026 by Chinese clocks (the 9th was a Wednesday).
WallTime December(int day, int hour, int minute, int second = 0) {
    const sys_days date = 2026y / 12 / day;
    return duration_cast<milliseconds>(date.time_since_epoch() + hours(hour - 8) + minutes(minute) + seconds(second));
}

struct WeekCase {
    const char* name;
    WallTime now;
    std::vector<std::pair<WallTime, Milliseconds>> uses;  // when, how long
    const char* today;
    const char* description;
};

void PrintTo(const WeekCase& c, std::ostream* os) { *os << c.name; }

class WeekTest : public ::testing::TestWithParam<WeekCase> {};

TEST_P(WeekTest, DaysTodayAndDescriptionFollowTheClock) {
    const testing::ChinaTime china;
    const WeekCase& c = GetParam();
    Store store("");
    for (const auto& [when, used] : c.uses) store.AddUse(LocalDayOf(when), used);
    store.Flush();
    const WeekDays week = LastSevenDays(c.now);
    const std::vector<DayUse> days = store.UseByDay(week.first, week.last);
    ASSERT_EQ(days.size(), 7u);
    EXPECT_EQ(ToUtf8(TodayText(days.back().used)), c.today);
    EXPECT_EQ(ToUtf8(WeekDescription(days)), c.description);
}

const std::vector<std::pair<WallTime, Milliseconds>> kUses{
    {December(2, 10, 0), 40min},                  // eight days before the 10th
    {December(8, 9, 0), 5min},                    // Tuesday
    {December(9, 23, 50), 12min},                 // Wednesday, just before midnight
    {December(10, 0, 0, 30), 90s},                // Thursday, just after it
    {December(10, 7, 0), 29s},                    // under half a minute adds nothing
};

INSTANTIATE_TEST_SUITE_P(
    Week, WeekTest,
    ::testing::Values(
        WeekCase{"BeforeMidnight", December(9, 23, 59, 59), kUses, "今天用了 12 分钟",
                 "周四 0 分钟；周五 0 分钟；周六 0 分钟；周日 0 分钟；周一 0 分钟；周二 5 分钟；周三 12 分钟"},
        WeekCase{"AfterMidnight", December(10, 0, 1), kUses, "今天用了 2 分钟",
                 "周五 0 分钟；周六 0 分钟；周日 0 分钟；周一 0 分钟；周二 5 分钟；周三 12 分钟；周四 2 分钟"},
        WeekCase{"SevenDaysOn", December(15, 12, 0), kUses, "今天用了 0 分钟",
                 "周三 12 分钟；周四 2 分钟；周五 0 分钟；周六 0 分钟；周日 0 分钟；周一 0 分钟；周二 0 分钟"},
        WeekCase{"HalfAMinuteCountsAsOne", December(20, 8, 0), {{December(20, 7, 0), 30s}}, "今天用了 1 分钟",
                 "周一 0 分钟；周二 0 分钟；周三 0 分钟；周四 0 分钟；周五 0 分钟；周六 0 分钟；周日 1 分钟"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct TotalsCase {
    const char* name;
    std::vector<std::uint64_t> sizes;
    std::optional<std::uint64_t> freeBytes;
    const char* totals;
};

void PrintTo(const TotalsCase& c, std::ostream* os) { *os << c.name; }

class LibraryTotalsTest : public ::testing::TestWithParam<TotalsCase> {};

TEST_P(LibraryTotalsTest, CountsAndSizesAsAParentReadsThem) {
    const TotalsCase& c = GetParam();
    LibraryListing listing;
    for (std::uint64_t bytes : c.sizes) listing.rows.push_back({"a.ylq", "a", bytes, std::nullopt});
    listing.freeBytes = c.freeBytes;
    EXPECT_EQ(ToUtf8(LibraryTotalsText(listing)), c.totals);
}

constexpr std::uint64_t kMB = 1024 * 1024;

INSTANTIATE_TEST_SUITE_P(
    Totals, LibraryTotalsTest,
    ::testing::Values(TotalsCase{"Empty", {}, 0, "共 0 课，占用 0 MB，磁盘还剩 0 MB"},
                      TotalsCase{"ASmallLessonIsNeverNothing", {100}, std::nullopt, "共 1 课，占用 0.01 MB"},
                      TotalsCase{"UnderAMegabyteToTwoPlaces", {20 * 1024, 500 * 1024}, kMB, "共 2 课，占用 0.51 MB，磁盘还剩 1 MB"},
                      TotalsCase{"MegabytesToOnePlace",
                                 {kMB, 2 * kMB + 400 * 1024},
                                 (12 * 1024 + 300) * kMB,
                                 "共 2 课，占用 3.4 MB，磁盘还剩 12.3 GB"},
                      TotalsCase{"WholeGigabytes", {1024 * kMB}, 3 * 1024 * kMB, "共 1 课，占用 1 GB，磁盘还剩 3 GB"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// Download-all's check counts the lessons not yet whole that have a size; it stops only
// when those do not fit, or the free space is known.
TEST(DownloadAllSpace, NeedsTheKnownSizesOfTheLessonsNotWhole) {
    Catalogue catalogue = BuiltInCatalogue();
    catalogue.lessons.resize(3);
    catalogue.lessons[0].digest = LessonDigest{3 * static_cast<std::int64_t>(kMB), {}};
    catalogue.lessons[1].digest = LessonDigest{2 * static_cast<std::int64_t>(kMB), {}};
    const std::vector<bool> ready{false, true, false};  // the third has no size: it counts nothing
    EXPECT_EQ(KnownDownloadSize(catalogue, ready), 3 * kMB);
    EXPECT_EQ(NotEnoughSpaceMessage(3 * kMB, 3 * kMB), std::nullopt);
    EXPECT_EQ(NotEnoughSpaceMessage(3 * kMB, std::nullopt), std::nullopt);
    EXPECT_EQ(ToUtf8(NotEnoughSpaceMessage(3 * kMB, kMB).value_or("")), "磁盘空间不够：需要 3 MB，还剩 1 MB");
}

}  // namespace
}  // namespace pw

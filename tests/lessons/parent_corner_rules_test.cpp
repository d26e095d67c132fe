#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>

#include "lessons/parent_corner_rules.h"
#include "lessons/parent_corner_state.h"
#include "lessons/store.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

TEST(ParentGateRules, NumbersAndQuestionAreWrittenInChineseCharacters) {
    const struct {
        int n;
        const char* text;
    } cases[] = {{2, "二"}, {9, "九"}, {10, "十"}, {12, "十二"}, {20, "二十"}, {56, "五十六"}, {81, "八十一"}};
    for (const auto& c : cases) EXPECT_EQ(ChineseNumber(c.n), c.text) << c.n;
    EXPECT_EQ((GateQuestion{7, 8}.Text()), "七乘以八等于多少？");
    // Any random numbers give factors from 2 to 9.
    for (std::uint32_t r : {0u, 7u, 8u, 0xFFFFFFFFu}) {
        const GateQuestion q = MakeGateQuestion(r, r + 3);
        EXPECT_GE(q.left, 2);
        EXPECT_LE(q.left, 9);
        EXPECT_GE(q.right, 2);
        EXPECT_LE(q.right, 9);
    }
}

TEST(ParentGateRules, ACodeIsKeptOnlyAsASaltedHashThatTakesNothingElse) {
    const std::string hash = HashGateCode("2468");
    ASSERT_TRUE(IsGateCodeHash(hash));
    EXPECT_EQ(hash.find("2468"), std::string::npos);
    EXPECT_NE(HashGateCode("2468"), hash);  // salted: the same code never hashes alike
    EXPECT_TRUE(GateCodeMatches(hash, "2468"));
    for (const char* wrong : {"2469", "246", "24680", "", "２４６８"}) EXPECT_FALSE(GateCodeMatches(hash, wrong)) << wrong;
    EXPECT_EQ(HashGateCode("12a4"), "");
    EXPECT_FALSE(GateCodeMatches("2468", "2468"));  // plain digits are no hash
}

// A test's two clocks, moved by hand.
struct FakeClocks {
    WallTime wall{1'700'000'000'000ms};
    MonotonicTime monotonic{5000h};
    CornerClocks Clocks() {
        return {[this] { return wall; }, [this] { return monotonic; }};
    }
    // The program runs for `time`.
    void Run(Milliseconds time) {
        wall += time;
        monotonic += time;
    }
    // The program is closed, or the computer restarted, for `time` of the wall clock
    // (negative: the clock was set back); the monotonic clock starts anew.
    void Restart(Milliseconds time) {
        wall += time;
        monotonic = 42ms;
    }
};

// One run of the program: its store, with an earlier version's state file read in first
// as the program does, and the corner's keeper.
struct CornerRun {
    CornerRun(const Text& storeFile, FakeClocks& clocks, const ParentSettings& settings, const Text& oldFile = {})
        : store(storeFile) {
        if (!oldFile.empty()) BringInCornerRecord(oldFile, store);
        keeper.emplace(store, clocks.Clocks(), settings);
    }
    Store store;
    std::optional<CornerKeeper> keeper;
};

struct RestartCase {
    const char* name;
    int restMinutes;
    Milliseconds usedBefore;   // the first run, in a session of 20 minutes
    Milliseconds closedFor;    // between the runs, on the wall clock
    // The first run was an earlier version's: it left its record in state.ini, in these
    // bytes when set, else in what it wrote itself. The second start reads it in.
    bool upgrade;
    const char* fileAfter;
    SessionPhase phase;        // at the second start
    int minutesLeft;
    Milliseconds restLeft;     // of a rest that holds through the restart
};

void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class ParentCornerRestart : public ::testing::TestWithParam<RestartCase> {};

TEST_P(ParentCornerRestart, SessionAndRestHoldThroughARestart) {
    const RestartCase& c = GetParam();
    testing::TempDir dir;
    const Text storeFile = dir.File("state/pebblewick/pebblewick.db");
    const Text oldFile = dir.File("state/pebblewick/state.ini");
    std::filesystem::create_directories(dir.File("state/pebblewick"));
    const ParentSettings settings{.sessionMinutes = 20, .restMinutes = c.restMinutes};
    FakeClocks clocks;
    {
        CornerRun first(c.upgrade ? Text() : storeFile, clocks, settings);
        // Use in uneven steps, as the poll sees it.
        for (Milliseconds left = c.usedBefore; left > 0ms; left -= std::min<Milliseconds>(left, 7s)) {
            clocks.Run(std::min<Milliseconds>(left, 7s));
            first.keeper->Phase();
        }
        first.keeper->Save();
        const auto saved = first.store.LoadCornerRecord();
        ASSERT_TRUE(saved);
        if (c.upgrade)
            testing::WriteWholeFile(oldFile, c.fileAfter ? std::string(c.fileAfter)
                                                         : FormatCornerRecord(saved->record, saved->savedAt));
    }
    clocks.Restart(c.closedFor);

    CornerRun second(storeFile, clocks, settings, c.upgrade ? oldFile : Text());
    EXPECT_FALSE(std::filesystem::exists(oldFile));  // read in once
    CornerKeeper& keeper = *second.keeper;
    EXPECT_EQ(keeper.Phase(), c.phase);
    EXPECT_EQ(keeper.MinutesLeft(), c.minutesLeft);
    if (c.phase != SessionPhase::Resting) return;
    // The rest goes on for the time it had left, then a fresh session begins.
    clocks.Run(c.restLeft - 1s);
    EXPECT_EQ(keeper.Phase(), SessionPhase::Resting);
    clocks.Run(1s);
    EXPECT_EQ(keeper.Phase(), c.restMinutes == 0 ? SessionPhase::Resting : SessionPhase::Running);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParentCornerRestart,
    ::testing::Values(
        RestartCase{"MidSession", 30, 12min, 10min, false, nullptr, SessionPhase::Running, 8, {}},
        RestartCase{"MidSessionNearTheNote", 30, 16min, 29min, false, nullptr, SessionPhase::Note, 4, {}},
        RestartCase{"MidRest", 30, 25min, 10min, false, nullptr, SessionPhase::Resting, 0, 15min},
        RestartCase{"RestOverWhileClosed", 30, 25min, 25min, false, nullptr, SessionPhase::Running, 20, {}},
        RestartCase{"ClosedAsLongAsARest", 30, 12min, 30min, false, nullptr, SessionPhase::Running, 20, {}},
        RestartCase{"RestUntilAGrownUpComes", 0, 25min, 24h, false, nullptr, SessionPhase::Resting, 0, 24h},
        RestartCase{"ClockSetBackMidRest", 30, 25min, -2h, false, nullptr, SessionPhase::Resting, 0, 25min},
        RestartCase{"ClockSetBackMidSession", 30, 12min, -3h, false, nullptr, SessionPhase::Running, 8, {}},
        RestartCase{"MidRestThroughAnUpgrade", 30, 25min, 10min, true, nullptr, SessionPhase::Resting, 0, 15min},
        RestartCase{"MidSessionThroughAnUpgrade", 30, 12min, 10min, true, nullptr, SessionPhase::Running, 8, {}},
        RestartCase{"DamagedOldFile", 30, 25min, 1min, true, "\x01\xff[[[ resting=perhaps\nusedMs=lots\n\x00",
                    SessionPhase::Running, 20, {}},
        RestartCase{"EmptyOldFile", 30, 25min, 1min, true, "", SessionPhase::Running, 20, {}}),
    [](const ::testing::TestParamInfo<RestartCase>& param) { return std::string(param.param.name); });

TEST(ParentCornerState, UseStopsWhileTheComputerSleepsAndTheRestGoesOn) {
    FakeClocks clocks;
    Store store("");
    CornerKeeper keeper(store, clocks.Clocks(), {.sessionMinutes = 20, .restMinutes = 30});
    clocks.Run(10min);
    ASSERT_EQ(keeper.MinutesLeft(), 10);
    clocks.wall += 1h;  // asleep: the monotonic clock stood still
    EXPECT_EQ(keeper.MinutesLeft(), 20);  // away as long as a rest: a fresh session
    clocks.Run(21min);
    ASSERT_EQ(keeper.Phase(), SessionPhase::Resting);
    clocks.wall += 10min;
    clocks.Run(18min);
    EXPECT_EQ(keeper.Phase(), SessionPhase::Resting);
    clocks.wall -= 1h;  // the clock set back while the program runs
    clocks.Run(1min - 1ms);
    EXPECT_EQ(keeper.Phase(), SessionPhase::Resting);
    clocks.Run(1ms);
    EXPECT_EQ(keeper.Phase(), SessionPhase::Running);
}

TEST(ParentCornerState, TheNoteComesFiveMinutesBeforeTheEnd) {
    const ParentSettings settings{.sessionMinutes = 20};
    const struct {
        Milliseconds used;
        SessionPhase phase;
        int minutesLeft;
    } cases[] = {
        {0min, SessionPhase::Running, 20}, {15min - 1ms, SessionPhase::Running, 6}, {15min, SessionPhase::Note, 5},
        {19min + 1s, SessionPhase::Note, 1}, {20min, SessionPhase::Resting, 0},
    };
    for (const auto& c : cases) {
        CornerRecord record;
        PassTimeInUse(record, c.used, settings);
        EXPECT_EQ(PhaseOf(record, settings), c.phase) << c.used.count();
        EXPECT_EQ(MinutesLeft(record, settings), c.minutesLeft) << c.used.count();
    }
    CornerRecord record;
    PassTimeInUse(record, 9h, {});
    EXPECT_EQ(PhaseOf(record, {}), SessionPhase::Off);
}

TEST(ParentCornerState, GatePauseDoublesToItsCapResetsOnARightAnswerAndHoldsThroughARestart) {
    testing::TempDir dir;
    const Text file = dir.File("pebblewick.db");
    FakeClocks clocks;
    auto run = std::make_unique<CornerRun>(file, clocks, ParentSettings{});
    CornerKeeper* keeper = &*run->keeper;
    // The program ends, stays closed for `closed` of the wall clock, and starts again.
    const auto restart = [&](Milliseconds closed) {
        run.reset();
        clocks.Restart(closed);
        run = std::make_unique<CornerRun>(file, clocks, ParentSettings{});
        keeper = &*run->keeper;
    };
    const auto threeWrong = [&] {
        for (int i = 0; i < kWrongAnswersBeforePause; ++i) ASSERT_EQ(keeper->AnswerGate(false), GateResult::Wrong);
    };
    for (Milliseconds pause : {30s, 60s, 120s, 240s, 480s, 900s, 900s}) {
        threeWrong();
        EXPECT_EQ(keeper->GatePauseLeft(), pause);
        clocks.Run(pause - 1ms);
        EXPECT_EQ(keeper->AnswerGate(true), GateResult::Paused);  // even the right answer, unread
        clocks.Run(1ms);
    }
    // In the middle of a pause the program restarts: the pause goes on where it was,
    // less the time it was closed; a clock set back takes nothing off it.
    threeWrong();
    clocks.Run(100s);
    restart(20s);
    EXPECT_EQ(keeper->GatePauseLeft(), 900s - 120s);
    keeper->Save();
    restart(-1h);
    EXPECT_EQ(keeper->GatePauseLeft(), 900s - 120s);
    clocks.Run(900s - 120s);
    // Two wrong answers before a restart still count toward the next pause.
    EXPECT_EQ(keeper->AnswerGate(false), GateResult::Wrong);
    EXPECT_EQ(keeper->AnswerGate(false), GateResult::Wrong);
    keeper->Save();
    restart(1s);
    EXPECT_EQ(keeper->AnswerGate(false), GateResult::Wrong);
    EXPECT_EQ(keeper->GatePauseLeft(), 900s);
    clocks.Run(900s);
    // A right answer starts it all anew.
    EXPECT_EQ(keeper->AnswerGate(true), GateResult::Right);
    threeWrong();
    EXPECT_EQ(keeper->GatePauseLeft(), 30s);
}

TEST(ParentCornerState, NoRecordIsKeptWhileThereIsNothingToKeep) {
    FakeClocks clocks;
    Store store("");
    CornerKeeper keeper(store, clocks.Clocks(), ParentSettings{});
    clocks.Run(1h);
    EXPECT_EQ(keeper.Phase(), SessionPhase::Off);
    keeper.Save();
    EXPECT_EQ(store.LoadCornerRecord(), std::nullopt);
    keeper.AnswerGate(false);  // a wrong answer is kept at once
    ASSERT_TRUE(store.LoadCornerRecord());
    EXPECT_EQ(store.LoadCornerRecord()->record.gate.wrongInARow, 1);
}

TEST(ParentCornerHistory, UseAndLessonsAreCountedByLocalDayAcrossMidnightAndWrittenEvery30s) {
    const testing::ChinaTime zone;
    FakeClocks clocks;
    const LocalDay day = LocalDayOf(clocks.wall) + 1;
    clocks.wall = StartOfLocalDay(day + 1) - 10min;  // 23:50
    Store store("");
    CornerKeeper keeper(store, clocks.Clocks(), ParentSettings{});  // no session limit: counted all the same
    keeper.LessonShown("a.ylq");
    clocks.Run(5min);
    keeper.LessonShown("b.ylq");                            // 23:55
    for (int i = 0; i < 10; ++i) {
        clocks.Run(1min);
        keeper.SaveIfDue();
    }
    keeper.LessonShown({});                                 // 00:05: a page takes the content area
    clocks.wall += 2h;                                      // asleep: no use
    clocks.Run(3min);
    keeper.Save();
    EXPECT_EQ(store.UseByDay(day - 1, day + 1),
              (std::vector<DayUse>{{day - 1, 0ms}, {day, 10min}, {day + 1, 8min}}));
    EXPECT_EQ(store.LessonsUsed(day, day), (std::vector<LessonUse>{{"a.ylq", 5min, 1}, {"b.ylq", 5min, 1}}));
    EXPECT_EQ(store.LessonsUsed(day, day + 1), (std::vector<LessonUse>{{"b.ylq", 10min, 1}, {"a.ylq", 5min, 1}}));
    EXPECT_EQ(store.RecentLessons(8), (std::vector<Text>{"b.ylq", "a.ylq"}));

    // Written every 30 s: a program killed loses less than that.
    clocks.Run(29s);
    keeper.SaveIfDue();
    EXPECT_EQ(store.UseByDay(day + 1, day + 1).front().used, 8min);
    clocks.Run(1s);
    keeper.SaveIfDue();
    EXPECT_EQ(store.UseByDay(day + 1, day + 1).front().used, 8min + 30s);
}

TEST(ParentCornerHistory, HistoryOlderThan90DaysIsDroppedAtStart) {
    const testing::ChinaTime zone;
    FakeClocks clocks;
    const LocalDay today = LocalDayOf(clocks.wall);
    Store store("");
    for (LocalDay day : {today - 90, today - 89}) {
        store.AddUse(day, 1min);
        store.AddLessonUse(day, "lesson" + std::to_string(today - day) + ".ylq", 1min, 1);
        store.NoteLessonPlayed("lesson" + std::to_string(today - day) + ".ylq", StartOfLocalDay(day) + 12h);
    }
    CornerKeeper keeper(store, clocks.Clocks(), ParentSettings{});
    EXPECT_EQ(store.UseByDay(today - 90, today - 89), (std::vector<DayUse>{{today - 90, 0ms}, {today - 89, 1min}}));
    EXPECT_EQ(store.LessonsUsed(today - 100, today), (std::vector<LessonUse>{{"lesson89.ylq", 1min, 1}}));
    EXPECT_EQ(store.RecentLessons(8), std::vector<Text>{"lesson89.ylq"});
}

TEST(ParentSettingsFile, EachLineIsReadOnItsOwn) {
    const struct {
        const char* text;
        ParentSettings expected;
    } cases[] = {
        {"[pebblewick]\nsessionMinutes=1 min\n", {.sessionMinutes = 1}},
        {"volume=40%\nmuted=yes\n", {.volumePercent = 40, .muted = true}},
        {"volume=abc\nsessionMinutes=20\nmuted=perhaps\n", {.sessionMinutes = 20}},
        {"this line means nothing\nrestMinutes = 60 ; an hour\ngateBeforeLeaving=1 # on\n",
         {.restMinutes = 60, .gateBeforeLeaving = true}},
        {"\xEF\xBB\xBFSessionMinutes=30\r\nMUTED=Yes\r\n", {.muted = true, .sessionMinutes = 30}},
        {"volume=250\nsessionMinutes=9999\nrestMinutes=-5\n", {.sessionMinutes = 600, .restMinutes = 0}},
        {"volume=-4\nvolume=30.7\nsessionMinutes=-1\n", {.volumePercent = 30}},
        {"volume=99999999999999999999999\nrestMinutes=\n", {}},
        {"gateCode=1234\n", {}},  // plain digits are no code of ours
        {"\x01\x02\xff\xfe binary [[[ = = \n\x00\x00", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseParentSettings(c.text), c.expected) << c.text;

    const ParentSettings chosen{.volumePercent = 30, .muted = true, .sessionMinutes = 45, .restMinutes = 120,
                                .gateBeforeLeaving = true, .gateCode = HashGateCode("0815")};
    EXPECT_EQ(ParseParentSettings(FormatParentSettings(chosen)), chosen);
}

TEST(ParentSettingsFile, SavedWholeIntoAFolderMadeForItAndAFailureSaysWhy) {
    testing::TempDir dir;
    const Text file = dir.File("config/pebblewick/pebblewick.conf");
    EXPECT_EQ(LoadParentSettings(file), ParentSettings{});  // missing: the defaults
    const ParentSettings chosen{.volumePercent = 70, .sessionMinutes = 15};
    ASSERT_EQ(SaveParentSettings(file, chosen), 0);
    EXPECT_EQ(LoadParentSettings(file), chosen);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("config/pebblewick")), {}), 1);

    testing::WriteWholeFile(dir.File("plain"), "x");
    const int error = SaveParentSettings(dir.File("plain/pebblewick.conf"), chosen);
    EXPECT_NE(error, 0);
    EXPECT_EQ(SaveFailureReason(error), "找不到保存它的文件夹");
}

}  // namespace
}  // namespace pw

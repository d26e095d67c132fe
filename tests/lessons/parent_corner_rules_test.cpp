#include <gtest/gtest.h>

#include "lessons/parent_corner_rules.h"

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

TEST(ParentGateRules, ThreeWrongAnswersPauseTheGateForThirtySeconds) {
    GateLock lock;
    const GateQuestion q{6, 7};
    EXPECT_EQ(lock.Check(q, 41, 0ms), GateLock::Result::Wrong);
    EXPECT_EQ(lock.Check(q, 42, 1s), GateLock::Result::Right);  // a right answer starts the count anew
    EXPECT_EQ(lock.Check(q, 1, 2s), GateLock::Result::Wrong);
    EXPECT_EQ(lock.Check(q, 2, 3s), GateLock::Result::Wrong);
    EXPECT_EQ(lock.Check(q, 3, 4s), GateLock::Result::Wrong);
    // Paused: even the right answer is refused until 30 s have passed.
    EXPECT_EQ(lock.Check(q, 42, 5s), GateLock::Result::Paused);
    EXPECT_EQ(lock.PauseLeft(5s), 29s);
    EXPECT_EQ(lock.Check(q, 42, 33s), GateLock::Result::Paused);
    EXPECT_EQ(lock.Check(q, 42, 34s), GateLock::Result::Right);
}

TEST(ParentGateRules, SessionTimerShowsTheNoteFiveMinutesBeforeItsEnd) {
    SessionTimer timer;
    const MonotonicTime start = 1000h;  // any point of a monotonic clock
    timer.Start(20, start);
    const struct {
        MonotonicTime at;
        SessionTimer::Phase phase;
        int minutesLeft;
    } cases[] = {
        {0min, SessionTimer::Phase::Running, 20},    {15min - 1ms, SessionTimer::Phase::Running, 6},
        {15min, SessionTimer::Phase::Note, 5},       {19min + 1s, SessionTimer::Phase::Note, 1},
        {20min, SessionTimer::Phase::Ended, 0},      {9h, SessionTimer::Phase::Ended, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(timer.PhaseAt(start + c.at), c.phase) << c.at.count();
        EXPECT_EQ(timer.MinutesLeft(start + c.at), c.minutesLeft) << c.at.count();
    }
    timer.Start(0, start);
    EXPECT_EQ(timer.PhaseAt(start + 9h), SessionTimer::Phase::Off);
}

}  // namespace
}  // namespace pw

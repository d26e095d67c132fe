#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pw {

// The rules of the parent corner that need no window: the gate's question and its lock,
// the settings' ranges, and the session timer's decision. Times are read from a
// monotonic clock that the caller hands in, so that tests can move it.
using MonotonicTime = std::chrono::milliseconds;

// 0 to 99 in Chinese characters, as a grown-up reads them out: 七, 十二, 二十, 八十一.
std::string ChineseNumber(int n);

// A multiplication of two numbers from 2 to 9.
struct GateQuestion {
    int left = 2;
    int right = 2;
    int Answer() const { return left * right; }
    // "七乘以八等于多少？" (UTF-8).
    std::string Text() const;
};

// The question for two random numbers (any values; they are brought into 2..9).
GateQuestion MakeGateQuestion(std::uint32_t random1, std::uint32_t random2);

// Counts wrong answers: after three in a row the gate takes no answer for 30 seconds.
class GateLock {
public:
    static constexpr int kWrongAnswersBeforePause = 3;
    static constexpr MonotonicTime kPause = std::chrono::seconds(30);

    enum class Result { Right, Wrong, Paused };

    // A given answer at `now`. While paused every answer is refused unread.
    Result Check(const GateQuestion& question, int answer, MonotonicTime now);
    bool Paused(MonotonicTime now) const { return now < pausedUntil_; }
    MonotonicTime PauseLeft(MonotonicTime now) const { return Paused(now) ? pausedUntil_ - now : MonotonicTime{0}; }

private:
    int wrongInARow_ = 0;
    MonotonicTime pausedUntil_{std::chrono::milliseconds::min()};
};

// What a parent sets. The defaults leave the program as it always was.
struct ParentSettings {
    int volumePercent = 100;  // 0..100
    bool muted = false;
    int sessionMinutes = 0;  // 0: no timer; else 1..600
    bool gateBeforeLeaving = false;

    bool operator==(const ParentSettings&) const = default;
};

inline constexpr int kSessionChoices[] = {10, 15, 20, 30, 45, 60};  // what the dialog offers
inline constexpr int kMaxSessionMinutes = 600;                       // what the file may hold

// Values as read from a file, brought into range: never an error.
int ClampVolumePercent(long long percent);
int ClampSessionMinutes(long long minutes);  // below 1: no timer

// The session timer: how long the child has used the program since it started or since
// the gate was last passed.
class SessionTimer {
public:
    enum class Phase { Off, Running, Note, Ended };
    static constexpr MonotonicTime kNoteBefore = std::chrono::minutes(5);

    // Starts counting `minutes` (0: off) at `now`.
    void Start(int minutes, MonotonicTime now);
    Phase PhaseAt(MonotonicTime now) const;
    // Whole minutes left, rounded up (for the note).
    int MinutesLeft(MonotonicTime now) const;

private:
    std::optional<MonotonicTime> end_;
};

}  // namespace pw

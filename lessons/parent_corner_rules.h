#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace pw {

// The rules of the parent corner that need no window: the gate's question, its code and
// its growing pause, the settings and the text of their file, the session's use and rest.
// Time comes in as durations that the caller measured, so that tests can move it.
using Milliseconds = std::chrono::milliseconds;
using MonotonicTime = Milliseconds;  // since any fixed point; never goes back
using WallTime = Milliseconds;       // since the epoch; may be set back or forward

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

// A parent's own code instead of the multiplication: four digits, kept only as a salted,
// slow hash (libsodium's crypto_pwhash string).
inline constexpr int kGateCodeDigits = 4;
bool IsGateCode(std::string_view digits);  // exactly four ASCII digits
// The hash of a code; empty when `digits` is no code.
std::string HashGateCode(std::string_view digits);
bool IsGateCodeHash(std::string_view hash);
bool GateCodeMatches(const std::string& hash, std::string_view digits);

// Wrong answers and the pause they bring: three wrong answers in a row give 30 s, every
// further three in a row double it, up to 15 minutes. A right answer resets it. While
// paused, every answer is refused unread.
struct GateLockState {
    int wrongInARow = 0;
    int pausesInARow = 0;  // since the last right answer
    Milliseconds pauseLeft{0};
    bool operator==(const GateLockState&) const = default;
};
enum class GateResult { Right, Wrong, Paused };
inline constexpr int kWrongAnswersBeforePause = 3;
inline constexpr Milliseconds kFirstGatePause = std::chrono::seconds(30);
inline constexpr Milliseconds kLongestGatePause = std::chrono::minutes(15);
GateResult AnswerGate(GateLockState& lock, bool right);
// The pause that the nth pause in a row (from 1) lasts.
Milliseconds GatePause(int pausesInARow);

// What a parent sets. The defaults leave the program as it always was.
struct ParentSettings {
    int volumePercent = 100;  // 0..100
    bool muted = false;
    int sessionMinutes = 0;   // 0: no timer; else 1..600
    int restMinutes = 30;     // 0: until a grown-up passes the gate; else 1..1440
    bool gateBeforeLeaving = false;
    std::string gateCode = {};  // HashGateCode of the parent's code; empty: the multiplication

    bool operator==(const ParentSettings&) const = default;
};

inline constexpr int kSessionChoices[] = {0, 10, 15, 20, 30, 45, 60};  // what the window offers
inline constexpr int kRestChoices[] = {15, 30, 60, 120, 0};
inline constexpr int kMaxSessionMinutes = 600;                          // what the file may hold
inline constexpr int kMaxRestMinutes = 1440;

// The settings file's text: "key=value" lines. Each key is read on its own, and a line
// that cannot be read (a comment, a section header a parent added, anything else) never
// harms the others. A number is read by its leading digits ("30 min" is 30, "40%" is 40)
// and brought into range; a flag is true/false, 1/0 or yes/no. A value that cannot be
// read keeps that key's default; so does a code that is no hash of ours.
ParentSettings ParseParentSettings(std::string_view text);
std::string FormatParentSettings(const ParentSettings& settings);

// What must outlive the program: the session's use, a rest that began, the gate's pause.
struct CornerRecord {
    Milliseconds used{0};    // of the session so far
    bool resting = false;
    Milliseconds rested{0};  // of the rest that began
    GateLockState gate = {};
    bool operator==(const CornerRecord&) const = default;
};

// The session: use counts while the program runs (not while it is closed or the computer
// sleeps), up to the session's minutes; then the child rests. A rest ends when the gate is
// passed or its minutes have passed, in use or away; a fresh session follows. Time away
// as long as a rest also starts a fresh session.
enum class SessionPhase { Off, Running, Note, Resting };
inline constexpr Milliseconds kNoteBefore = std::chrono::minutes(5);
void PassTimeInUse(CornerRecord& record, Milliseconds time, const ParentSettings& settings);
void PassTimeAway(CornerRecord& record, Milliseconds time, const ParentSettings& settings);
SessionPhase PhaseOf(const CornerRecord& record, const ParentSettings& settings);
// Whole minutes left, rounded up (for the note); 0 once it has ended or without a timer.
int MinutesLeft(const CornerRecord& record, const ParentSettings& settings);
// The gate has been passed: the rest is over and the session begins anew.
void StartNewSession(CornerRecord& record);

// The state file's text, with the wall clock's time of writing. Read key by key like the
// settings; a damaged value means no rest, no time used and no pause for that key, and
// none is taken past its limit.
std::string FormatCornerRecord(const CornerRecord& record, WallTime savedAt);
struct SavedCornerRecord {
    CornerRecord record;
    WallTime savedAt{0};  // 0: unknown
};
SavedCornerRecord ParseCornerRecord(std::string_view text);

}  // namespace pw

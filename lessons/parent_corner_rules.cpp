#include "lessons/parent_corner_rules.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/text.h"

namespace pw {
namespace {

using std::chrono::minutes;

// Pauses in a row are counted this far: the pause stopped growing long before.
constexpr int kMostPausesCounted = 64;

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Calls `use` with every "key=value" line of an INI-like text, the key in lower case and
// both trimmed. Comments, section headers and lines without "=" are passed over.
template <class Use>
void ForEachKey(std::string_view text, Use use) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // as a Windows editor saves
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    while (const auto taken = TakeLine(text)) {
        const std::string_view line = Trim(*taken);
        if (line.empty() || line.front() == ';' || line.front() == '#' || line.front() == '[') continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        use(Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)));
    }
}

// The value's leading number, however written, cut toward zero and brought into
// [low, high]: a hand-edited file says what it means.
std::optional<long long> ClampedLeadingNumber(std::string_view value, long long low, long long high) {
    const std::optional<double> number = LeadingNumber(value);
    if (!number || std::isnan(*number)) return std::nullopt;
    if (*number <= static_cast<double>(low)) return low;
    if (*number >= static_cast<double>(high)) return high;
    return static_cast<long long>(*number);
}

std::optional<bool> Flag(std::string_view value) {
    const std::size_t end = value.find_first_of(" \t;#");
    const std::string word = Lower(value.substr(0, end));
    if (word == "true" || word == "1" || word == "yes") return true;
    if (word == "false" || word == "0" || word == "no") return false;
    return std::nullopt;
}

template <class Number>
void Read(Number& into, std::string_view value, long long low, long long high) {
    if (auto v = ClampedLeadingNumber(value, low, high)) into = static_cast<Number>(*v);
}

void Read(Milliseconds& into, std::string_view value, Milliseconds high) {
    if (auto v = ClampedLeadingNumber(value, 0, high.count())) into = Milliseconds(*v);
}

void Read(bool& into, std::string_view value) {
    if (auto v = Flag(value)) into = *v;
}

std::string NumberLine(std::string_view key, long long value) {
    return std::string(key) + "=" + std::to_string(value) + "\n";
}
std::string FlagLine(std::string_view key, bool value) { return std::string(key) + (value ? "=true\n" : "=false\n"); }

Milliseconds Minutes(int count) { return minutes(count); }

bool TimerOn(const ParentSettings& settings) { return settings.sessionMinutes > 0; }

void PassGateTime(GateLockState& lock, Milliseconds time) { lock.pauseLeft = std::max(Milliseconds{0}, lock.pauseLeft - time); }

void Rest(CornerRecord& record, Milliseconds time, const ParentSettings& settings) {
    record.rested += time;
    if (settings.restMinutes > 0 && record.rested >= Minutes(settings.restMinutes)) StartNewSession(record);
}

}  // namespace

std::string ChineseNumber(int n) {
    static const char* const kDigits[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
    n = std::clamp(n, 0, 99);
    if (n < 10) return kDigits[n];
    const int tens = n / 10;
    const int ones = n % 10;
    std::string text = tens == 1 ? "" : kDigits[tens];
    text += "十";
    if (ones != 0) text += kDigits[ones];
    return text;
}

std::string GateQuestion::Text() const {
    return ChineseNumber(left) + "乘以" + ChineseNumber(right) + "等于多少？";
}

GateQuestion MakeGateQuestion(std::uint32_t random1, std::uint32_t random2) {
    return {static_cast<int>(2 + random1 % 8), static_cast<int>(2 + random2 % 8)};
}

bool IsGateCode(std::string_view digits) {
    return digits.size() == kGateCodeDigits && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string HashGateCode(std::string_view digits) {
    if (!IsGateCode(digits) || sodium_init() < 0) return {};
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, digits.data(), digits.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return hash;
}

bool IsGateCodeHash(std::string_view hash) {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES || sodium_init() < 0) return false;
    const std::string terminated(hash);
    return crypto_pwhash_str_needs_rehash(terminated.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != -1;
}

bool GateCodeMatches(const std::string& hash, std::string_view digits) {
    return IsGateCode(digits) && IsGateCodeHash(hash) &&
           crypto_pwhash_str_verify(hash.c_str(), digits.data(), digits.size()) == 0;
}

Milliseconds GatePause(int pausesInARow) {
    if (pausesInARow < 1) return Milliseconds{0};
    Milliseconds pause = kFirstGatePause;
    for (int i = 1; i < pausesInARow && pause < kLongestGatePause; ++i) pause *= 2;
    return std::min(pause, kLongestGatePause);
}

GateResult AnswerGate(GateLockState& lock, bool right) {
    if (lock.pauseLeft > Milliseconds{0}) return GateResult::Paused;
    if (right) {
        lock = {};
        return GateResult::Right;
    }
    if (++lock.wrongInARow >= kWrongAnswersBeforePause) {
        lock.wrongInARow = 0;
        lock.pausesInARow = std::min(lock.pausesInARow + 1, kMostPausesCounted);
        lock.pauseLeft = GatePause(lock.pausesInARow);
    }
    return GateResult::Wrong;
}

ParentSettings ParseParentSettings(std::string_view text) {
    ParentSettings settings;
    ForEachKey(text, [&](const std::string& key, std::string_view value) {
        if (key == "volume")
            Read(settings.volumePercent, value, 0, 100);
        else if (key == "muted")
            Read(settings.muted, value);
        else if (key == "sessionminutes")
            Read(settings.sessionMinutes, value, 0, kMaxSessionMinutes);
        else if (key == "restminutes")
            Read(settings.restMinutes, value, 0, kMaxRestMinutes);
        else if (key == "gatebeforeleaving")
            Read(settings.gateBeforeLeaving, value);
        else if (key == "gatecode")
            settings.gateCode = IsGateCodeHash(value) ? std::string(value) : std::string();
    });
    return settings;
}

std::string FormatParentSettings(const ParentSettings& settings) {
    return "; Pebblewick: the parent's settings, written by the parent corner\n" +
           NumberLine("volume", settings.volumePercent) + FlagLine("muted", settings.muted) +
           NumberLine("sessionMinutes", settings.sessionMinutes) + NumberLine("restMinutes", settings.restMinutes) +
           FlagLine("gateBeforeLeaving", settings.gateBeforeLeaving) + "gateCode=" + settings.gateCode + "\n";
}

void PassTimeInUse(CornerRecord& record, Milliseconds time, const ParentSettings& settings) {
    PassGateTime(record.gate, time);
    if (!TimerOn(settings)) {
        StartNewSession(record);
        return;
    }
    if (!record.resting) {
        const Milliseconds session = Minutes(settings.sessionMinutes);
        if (record.used + time < session) {
            record.used += time;
            return;
        }
        // The rest begins where the session ends; the rest of `time` is rest.
        time -= std::max(Milliseconds{0}, session - record.used);
        record.used = session;
        record.resting = true;
        record.rested = Milliseconds{0};
    }
    Rest(record, time, settings);
}

void PassTimeAway(CornerRecord& record, Milliseconds time, const ParentSettings& settings) {
    PassGateTime(record.gate, time);
    if (!TimerOn(settings))
        StartNewSession(record);
    else if (record.resting)
        Rest(record, time, settings);
    else if (settings.restMinutes > 0 && time >= Minutes(settings.restMinutes))
        record.used = Milliseconds{0};
}

SessionPhase PhaseOf(const CornerRecord& record, const ParentSettings& settings) {
    if (!TimerOn(settings)) return SessionPhase::Off;
    const Milliseconds left = Minutes(settings.sessionMinutes) - record.used;
    if (record.resting || left <= Milliseconds{0}) return SessionPhase::Resting;
    return left <= kNoteBefore ? SessionPhase::Note : SessionPhase::Running;
}

int MinutesLeft(const CornerRecord& record, const ParentSettings& settings) {
    const SessionPhase phase = PhaseOf(record, settings);
    if (phase != SessionPhase::Running && phase != SessionPhase::Note) return 0;
    const Milliseconds left = Minutes(settings.sessionMinutes) - record.used;
    return static_cast<int>((left + minutes(1) - Milliseconds(1)) / minutes(1));
}

void StartNewSession(CornerRecord& record) {
    record.used = Milliseconds{0};
    record.resting = false;
    record.rested = Milliseconds{0};
}

std::string FormatCornerRecord(const CornerRecord& record, WallTime savedAt) {
    return "; Pebblewick: what the parent corner keeps between runs, written by the program\n" +
           NumberLine("savedAt", savedAt.count()) + NumberLine("usedMs", record.used.count()) +
           FlagLine("resting", record.resting) + NumberLine("restedMs", record.rested.count()) +
           NumberLine("wrongAnswers", record.gate.wrongInARow) + NumberLine("pauses", record.gate.pausesInARow) +
           NumberLine("pauseLeftMs", record.gate.pauseLeft.count());
}

SavedCornerRecord ParseCornerRecord(std::string_view text) {
    SavedCornerRecord saved;
    CornerRecord& r = saved.record;
    ForEachKey(text, [&](const std::string& key, std::string_view value) {
        if (key == "savedat")
            Read(saved.savedAt, value, Milliseconds::max());
        else if (key == "usedms")
            Read(r.used, value, Minutes(kMaxSessionMinutes));
        else if (key == "resting")
            Read(r.resting, value);
        else if (key == "restedms")
            Read(r.rested, value, Minutes(kMaxRestMinutes));
        else if (key == "wronganswers")
            Read(r.gate.wrongInARow, value, 0, kWrongAnswersBeforePause - 1);
        else if (key == "pauses")
            Read(r.gate.pausesInARow, value, 0, kMostPausesCounted);
        else if (key == "pauseleftms")
            Read(r.gate.pauseLeft, value, kLongestGatePause);
    });
    return saved;
}

}  // namespace pw

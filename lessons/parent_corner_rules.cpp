#include "lessons/parent_corner_rules.h"

#include <algorithm>

namespace pw {

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

GateLock::Result GateLock::Check(const GateQuestion& question, int answer, MonotonicTime now) {
    if (Paused(now)) return Result::Paused;
    if (answer == question.Answer()) {
        wrongInARow_ = 0;
        return Result::Right;
    }
    if (++wrongInARow_ >= kWrongAnswersBeforePause) {
        wrongInARow_ = 0;
        pausedUntil_ = now + kPause;
    }
    return Result::Wrong;
}

int ClampVolumePercent(long long percent) { return static_cast<int>(std::clamp(percent, 0LL, 100LL)); }

int ClampSessionMinutes(long long minutes) {
    return minutes < 1 ? 0 : static_cast<int>(std::min<long long>(minutes, kMaxSessionMinutes));
}

void SessionTimer::Start(int minutes, MonotonicTime now) {
    minutes = ClampSessionMinutes(minutes);
    if (minutes == 0)
        end_.reset();
    else
        end_ = now + std::chrono::minutes(minutes);
}

SessionTimer::Phase SessionTimer::PhaseAt(MonotonicTime now) const {
    if (!end_) return Phase::Off;
    if (now >= *end_) return Phase::Ended;
    return now >= *end_ - kNoteBefore ? Phase::Note : Phase::Running;
}

int SessionTimer::MinutesLeft(MonotonicTime now) const {
    if (!end_ || now >= *end_) return 0;
    const auto left = *end_ - now;
    return static_cast<int>((left + std::chrono::minutes(1) - MonotonicTime(1)) / std::chrono::minutes(1));
}

}  // namespace pw

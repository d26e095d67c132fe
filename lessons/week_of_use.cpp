#include "lessons/week_of_use.h"

#include <array>

namespace pw {

WeekDays LastSevenDays(WallTime now) {
    const LocalDay today = LocalDayOf(now);
    return {today - 6, today};
}

const Text& WeekdayName(LocalDay day) {
    static const std::array<const Text*, 7> names{&Gbk<"周一">(), &Gbk<"周二">(), &Gbk<"周三">(), &Gbk<"周四">(),
                                                  &Gbk<"周五">(), &Gbk<"周六">(), &Gbk<"周日">()};
    // Day 0, 1970-01-01, was a Thursday; the modulo stays positive for days before it.
    return *names[static_cast<std::size_t>(((day + 3) % 7 + 7) % 7)];
}

int WholeMinutes(Milliseconds used) {
    if (used.count() <= 0) return 0;
    return static_cast<int>((used + std::chrono::seconds(30)) / std::chrono::minutes(1));
}

Text MinutesText(Milliseconds used) { return TextFromInteger(WholeMinutes(used)) + Gbk<" 分钟">(); }

Text TodayText(Milliseconds used) { return Gbk<"今天用了 ">() + MinutesText(used); }

Text WeekDescription(const std::vector<DayUse>& days) {
    Text description;
    for (const DayUse& day : days) {
        if (!description.empty()) description += Gbk<"；">();
        description += WeekdayName(day.day) + " " + MinutesText(day.used);
    }
    return description;
}

}  // namespace pw

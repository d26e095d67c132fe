#pragma once

#include <vector>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"
#include "lessons/store.h"

namespace pw {

// The week a parent sees: the seven local days that end today, oldest first.
struct WeekDays {
    LocalDay first = 0;
    LocalDay last = 0;  // today
};
WeekDays LastSevenDays(WallTime now);

// "周一" … "周日" (GBK).
const Text& WeekdayName(LocalDay day);

// A time in use in whole minutes, half a minute and more counting as one.
int WholeMinutes(Milliseconds used);
// "23 分钟" (GBK).
Text MinutesText(Milliseconds used);
// "今天用了 23 分钟" (GBK).
Text TodayText(Milliseconds used);
// What a screen reader reads for the chart: "周一 12 分钟；周二 0 分钟；…" (GBK).
Text WeekDescription(const std::vector<DayUse>& days);

}  // namespace pw

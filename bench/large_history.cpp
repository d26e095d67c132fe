#include "bench/large_history.h"

#include <chrono>

#include "lessons/parent_corner_state.h"

namespace pw::bench {

void FillWithLargestHistory(Store& store, LocalDay today) {
    using namespace std::chrono_literals;
    constexpr int kLessons = 500;
    for (LocalDay day = today - (kHistoryDays - 1); day <= today; ++day) {
        store.AddUse(day, 3h + Milliseconds{day % 3600} * 1000);
        for (int lesson = 1; lesson <= kLessons; ++lesson)
            store.AddLessonUse(day, "lesson" + std::to_string(lesson) + ".ylq", Milliseconds{(day * lesson) % 1200} * 1000,
                               1 + lesson % 3);
    }
    for (int lesson = 1; lesson <= kLessons; ++lesson) {
        const std::string name = "lesson" + std::to_string(lesson) + ".ylq";
        store.NoteLessonPlayed(name, StartOfLocalDay(today) - Milliseconds{lesson} * 60'000);
        Sha256 sha{};
        sha[0] = static_cast<std::uint8_t>(lesson);
        store.KeepHash({2049, static_cast<std::uint64_t>(1'000'000 + lesson), 5'000'000, 1'700'000'000'000'000'000}, sha);
        if (lesson % 50 == 0) store.SetFavourite(name, true);
    }
    store.Flush();
}

}  // namespace pw::bench

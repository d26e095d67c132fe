#include "lessons/shelf.h"

namespace pw {
namespace {

ShelfTile TileOf(const LessonEntry& lesson, const std::set<Text>& favourites) {
    return {lesson.group, lesson.item, lesson.title, lesson.cacheName, {}, false, favourites.contains(lesson.cacheName)};
}

}  // namespace

std::vector<ShelfRow> ShelfRows(const Catalogue& catalogue, const std::vector<Text>& recent,
                                const std::set<Text>& favourites) {
    std::vector<ShelfRow> rows;
    ShelfRow recentRow{Gbk<"最近看过">(), {}};
    for (const Text& cacheName : recent) {
        if (recentRow.tiles.size() == kRecentLessons) break;
        for (const LessonEntry& lesson : catalogue.lessons)
            if (lesson.cacheName == cacheName) recentRow.tiles.push_back(TileOf(lesson, favourites));
    }
    ShelfRow favouriteRow{Gbk<"最喜欢">(), {}};
    for (const LessonEntry& lesson : catalogue.lessons)
        if (favourites.contains(lesson.cacheName)) favouriteRow.tiles.push_back(TileOf(lesson, favourites));
    for (ShelfRow* row : {&recentRow, &favouriteRow})
        if (!row->tiles.empty()) rows.push_back(std::move(*row));
    for (std::size_t g = 0; g < catalogue.groups.size(); ++g) {
        ShelfRow group{catalogue.groups[g], {}};
        for (const LessonEntry& lesson : catalogue.lessons)
            if (lesson.group == static_cast<int>(g)) group.tiles.push_back(TileOf(lesson, favourites));
        if (!group.tiles.empty()) rows.push_back(std::move(group));
    }
    return rows;
}

}  // namespace pw

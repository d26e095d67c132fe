#pragma once

#include <cstddef>
#include <set>
#include <vector>

#include "core/text.h"
#include "lessons/catalogue.h"

// The shelf: the lessons as picture tiles, for a child who cannot read the menu yet.
namespace pw {

inline constexpr std::size_t kRecentLessons = 8;

// One lesson's tile.
struct ShelfTile {
    int group = 0;  // its place in the menu: a click chooses it as the menu's row does
    int item = 0;
    Text title;      // GBK
    Text cacheName;
    Text picture;    // the file of its picture; empty: one drawn from the title
    bool ready = false;      // whole on this computer
    bool favourite = false;
    bool operator==(const ShelfTile&) const = default;
};

struct ShelfRow {
    Text heading;  // GBK
    std::vector<ShelfTile> tiles;
    bool operator==(const ShelfRow&) const = default;
};

// The shelf's rows top to bottom: "最近看过" (the `recent` lessons still offered, in that
// order, at most 8), "最喜欢" (the favourites, in menu order), then each group with every
// lesson, in menu order. A row with no tiles is left out. Pictures and marks are the
// caller's to fill in.
std::vector<ShelfRow> ShelfRows(const Catalogue& catalogue, const std::vector<Text>& recent,
                                const std::set<Text>& favourites);

}  // namespace pw

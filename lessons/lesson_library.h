#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/parent_corner_rules.h"

namespace pw {

// One lesson on this computer, as the parent's library lists it.
struct LibraryRow {
    Text cacheName;
    Text title;
    std::uint64_t bytes = 0;  // the lesson file and its parts: what deleting it frees
    std::optional<WallTime> lastUse;
};

// What the library shows: its rows, newest use first, and the disk's free space.
struct LibraryListing {
    std::vector<LibraryRow> rows;
    std::optional<std::uint64_t> freeBytes;  // nothing: not known
};

// Newest use first, lessons never used last; otherwise in the order given.
void SortByLastUse(std::vector<LibraryRow>& rows);

// A size as the parent reads it: "0.02 MB", "0.35 MB", "3.4 MB", "12.3 GB" (GBK).
Text SizeText(std::uint64_t bytes);
// "还没看过", "今天", "昨天", "3 天前" (GBK), by local calendar days.
Text LastUseText(std::optional<WallTime> lastUse, WallTime now);
// "共 12 课，占用 3.4 MB，磁盘还剩 12.3 GB" (GBK); without the free space when it is not known.
Text LibraryTotalsText(const LibraryListing& listing);

// What downloading the lessons not whole on disk needs, by the sizes a signed catalogue
// gives; a lesson without one counts nothing. `ready`: by catalogue index.
std::uint64_t KnownDownloadSize(const Catalogue& catalogue, const std::vector<bool>& ready);
// "磁盘空间不够：需要 3.4 MB，还剩 1.2 MB" (GBK) when `needed` does not fit into `freeBytes`.
std::optional<Text> NotEnoughSpaceMessage(std::uint64_t needed, std::optional<std::uint64_t> freeBytes);

}  // namespace pw

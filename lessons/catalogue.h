#pragma once

#include <optional>
#include <span>

#include "core/hosts.h"
#include "core/text.h"

namespace pw {

// One row of the lesson catalogue, as written in the source (UTF-8).
struct LessonRow {
    int group;
    int item;
    const char* title;
    int server;  // 1 or 2
    const char* path;
    const char* cacheName;
};

// A catalogue entry in the program's own text (GBK).
struct LessonEntry {
    int group = 0;
    int item = 0;
    Text title;
    int server = 1;
    Text path;
    Text cacheName;
};

// The 32 lessons in menu order.
std::span<const LessonRow> LessonCatalogue();

// The menu groups' headers in order; the last one is the guestbook, not a lesson group.
std::span<const char* const> LessonGroupHeaders();

// The entry at (group, item), or nothing.
std::optional<LessonEntry> Lookup(int group, int item);

// The origin of the entry's server host + its path, as one GBK text (not percent-encoded).
Text RemoteAddress(const LessonEntry& entry, const Hosts& hosts);

// The address of site page 1 to 4 (hybb, txbb, bbgcs, mft) under the site's base
// address, or empty for any other index.
Text SitePageAddress(const Text& siteBaseUrl, int pageIndex);

// The menu entry that opens the guestbook instead of a lesson.
inline constexpr int kGuestbookGroup = 3;
inline constexpr int kGuestbookItem = 0;

}  // namespace pw

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/hosts.h"
#include "core/text.h"
#include "lessons/lesson_hashes.h"

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

// A lesson's picture as a signed catalogue gives it: on the site's host at `path`, kept
// only when it has this size and hash.
struct LessonPicture {
    Text path;
    std::int64_t size = 0;
    Sha256 sha256{};
    bool operator==(const LessonPicture&) const = default;
};

// A catalogue entry in the program's own text (GBK).
struct LessonEntry {
    int group = 0;
    int item = 0;
    Text title;
    int server = 1;
    Text path;
    Text cacheName;
    // Given by a signed catalogue: then the cache file is complete when it has this size
    // and hash. Without it, the lesson server's size and the movie's structure tell.
    std::optional<LessonDigest> digest;
    std::optional<LessonPicture> picture;  // a signed catalogue's only
    bool operator==(const LessonEntry&) const = default;
};

// The program's 32 lessons in menu order, as compiled in.
std::span<const LessonRow> LessonCatalogue();

// The built-in menu groups' headers in order; the last one is the guestbook, not a
// lesson group.
std::span<const char* const> LessonGroupHeaders();

// The built-in entry at (group, item), or nothing.
std::optional<LessonEntry> Lookup(int group, int item);

// The lessons the program offers: the built-in ones, or those of a signed catalogue from
// the site.
struct Catalogue {
    std::optional<std::uint64_t> serial;  // nothing: the built-in catalogue
    std::vector<Text> groups;             // the lesson groups' headers, in menu order
    std::vector<LessonEntry> lessons;     // in menu order, each knowing its group and item
    // Each lesson server's mirrors, in the order they are tried before its host: base
    // addresses such as "https://cdn.example.org" or "http://10.0.0.5:8080".
    std::array<std::vector<Text>, 2> mirrors{};
};

// The lesson's addresses on its server's mirrors, in the order they are tried before the
// server itself (RemoteAddress).
std::vector<Text> MirrorAddresses(const Catalogue& catalogue, const LessonEntry& entry);

Catalogue BuiltInCatalogue();

// The lesson at (group, item) of the menu, or nothing.
const LessonEntry* FindLesson(const Catalogue& catalogue, int group, int item);

// The guestbook entry is the only item of the group after the lessons' groups.
inline int GuestbookGroup(const Catalogue& catalogue) { return static_cast<int>(catalogue.groups.size()); }

// One group of the lesson menu: its header and its items' texts (GBK).
struct LessonMenuGroup {
    Text header;
    std::vector<Text> items;
    bool operator==(const LessonMenuGroup&) const = default;
};

// The lesson menu of a catalogue: its lesson groups, then the guestbook.
std::vector<LessonMenuGroup> LessonMenu(const Catalogue& catalogue);

// The origin of the entry's server host + its path, as one GBK text (not percent-encoded).
Text RemoteAddress(const LessonEntry& entry, const Hosts& hosts);

// The address of site page 1 to 4 (hybb, txbb, bbgcs, mft) under the site's base
// address, or empty for any other index.
Text SitePageAddress(const Text& siteBaseUrl, int pageIndex);

// The menu entry that opens the guestbook instead of a lesson, in the built-in menu.
inline constexpr int kGuestbookGroup = 3;
inline constexpr int kGuestbookItem = 0;

}  // namespace pw

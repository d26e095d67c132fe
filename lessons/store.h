#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"

namespace pw {

using Sha256 = std::array<std::uint8_t, 32>;

// Where the store lives: $XDG_STATE_HOME/pebblewick/pebblewick.db (~/.local/state/… when
// the variable is unset); empty when the user has no home.
Text StorePath();

// A local calendar day: days since 1970-01-01 in the computer's time zone.
using LocalDay = std::int64_t;
LocalDay LocalDayOf(WallTime time);
// When that day began on the wall clock (its first local midnight).
WallTime StartOfLocalDay(LocalDay day);

// What tells a file's content on disk: device, inode, size, modification time in ns.
using FileIdentity = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t>;

struct DayUse {
    LocalDay day = 0;
    Milliseconds used{0};
    bool operator==(const DayUse&) const = default;
};

// One lesson's use over some days: the time it was in the content area, how often chosen.
struct LessonUse {
    Text cacheName;
    Milliseconds shown{0};
    int timesChosen = 0;
    bool operator==(const LessonUse&) const = default;
};

struct LessonLastUse {
    Text cacheName;
    WallTime when{0};
};

// Everything the program keeps for itself, in one SQLite database (WAL, synchronous=FULL,
// a busy timeout): the corner's record, the lessons' hashes, the history of use, the
// shelf's recent row and favourites, and the catalogue's no-rollback floor. Files that a
// person or another computer reads stay files.
//
// A damaged database is moved aside as `<path>.damaged` and a new one begun: opening never
// fails (a folder that takes no file gives a store in memory, and LastWriteError says why).
// Writes are queued to the store's own thread, so none stalls the caller, and are applied
// in order, each batch in one transaction. A read sees every write queued before it (it
// waits for the few still queued); the favourites and the floor answer from memory at
// once. A write that fails (a full disk) never throws; its error stays readable until a
// later write succeeds. Thread-safe.
class Store {
public:
    // `path` empty: in memory only (tests, no home).
    explicit Store(Text path);
    // Through the SQLite VFS of that name (tests: one whose writes fail); nullptr: the default.
    Store(Text path, const char* vfs);
    ~Store();  // applies the queued writes, then closes
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // 0, or the errno of the last write that failed (ENOSPC, EDQUOT, EIO…); for a store in
    // memory, why it has no file.
    int LastWriteError() const;
    // Waits until every write queued so far is applied (tests, the program's end).
    void Flush();

    // The corner's record, as last saved.
    std::optional<SavedCornerRecord> LoadCornerRecord() const;
    void SaveCornerRecord(const CornerRecord& record, WallTime savedAt);

    // The lessons' hashes, by the identity of the file they were taken of.
    std::optional<Sha256> KeptHash(const FileIdentity& identity) const;
    void KeepHash(const FileIdentity& identity, const Sha256& sha);

    // The history of use. `used`: time in use as the session timer measures it; a lesson's
    // `shown`: the time it was in the content area. Both add to what the day has.
    void AddUse(LocalDay day, Milliseconds used);
    void AddLessonUse(LocalDay day, const Text& cacheName, Milliseconds shown, int chosen);
    // Days from `first` to `last` with their use, every day listed (0 for a day without).
    std::vector<DayUse> UseByDay(LocalDay first, LocalDay last) const;
    // The lessons used in those days, most minutes first.
    std::vector<LessonUse> LessonsUsed(LocalDay first, LocalDay last) const;
    // When each lesson was last played, newest first.
    std::vector<LessonLastUse> LastUses() const;
    // Drops the history of the days before `day` (the 90 days kept), the last plays too.
    void DropUseBefore(LocalDay day);
    // Clears the history of use and the recent row; the favourites stay.
    void ClearHistory();

    // The shelf: the lessons played, newest first, at most `count`; the favourites.
    void NoteLessonPlayed(const Text& cacheName, WallTime when);
    std::vector<Text> RecentLessons(std::size_t count) const;
    std::set<Text> Favourites() const;
    void SetFavourite(const Text& cacheName, bool favourite);

    // The highest catalogue serial ever verified; only goes up. 0: none yet.
    std::uint64_t CatalogueFloor() const;
    void RaiseCatalogueFloor(std::uint64_t serial);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pw

#pragma once

#include <functional>
#include <map>
#include <string>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"
#include "lessons/store.h"

namespace pw {

// Where the parent's settings are kept: $XDG_CONFIG_HOME/pebblewick/pebblewick.conf
// (~/.config/… when the variable is unset); empty when the user has no home. The corner's
// record is kept in the store.
Text ParentSettingsPath();
// The file an earlier version kept the corner's record in, beside the store.
inline const Text kOldStateFileName = "state.ini";

// The settings in the file; a missing, unreadable or damaged file gives the defaults, key
// by key. An empty path: the defaults, kept nowhere.
ParentSettings LoadParentSettings(const Text& path);
// Writes the file whole, flushed to the disk, making its folder when missing. 0, or the
// errno of the step that failed.
int SaveParentSettings(const Text& path, const ParentSettings& settings);
// Why a small file could not be saved, as a parent reads it (UTF-8).
std::string SaveFailureReason(int error);

struct CornerClocks {
    std::function<WallTime()> wall;
    std::function<MonotonicTime()> monotonic;
};
// The system's clock, and a monotonic one that stands still while the computer sleeps.
CornerClocks SystemClocks();

// Reads the corner's record that an earlier version kept in `stateFile` into the store,
// then removes the file; the time it was written stays, so that a rest or a pause that
// had begun holds. Nothing when there is no such file; the file stays when the store
// could not keep it.
void BringInCornerRecord(const Text& stateFile, Store& store);

// The history of use is kept this many days, today included.
inline constexpr int kHistoryDays = 90;

// The corner's record through a run of the program and from one run to the next, in the
// store. Use is measured on the monotonic clock; time away (the program closed, the
// computer asleep) on the wall clock, where a clock set back counts as no time at all: it
// never shortens a rest or a pause, nor adds use. The record is written at least every
// kSaveEvery, at once when a rest begins or ends or the gate is answered, and by Save at
// the end.
//
// It also keeps the history of use: the time in use by local day (outside a rest, whether
// or not a session limit is set), and the time each lesson was in the content area with
// how often it was chosen. That is written with the record, so that a program killed
// loses at most kSaveEvery of it. History older than kHistoryDays is dropped at start.
class CornerKeeper {
public:
    static constexpr Milliseconds kSaveEvery = std::chrono::seconds(30);

    // Reads the record from the store; none means no rest, no time used and no pause. The
    // time since it was written counts as away.
    CornerKeeper(Store& store, CornerClocks clocks, const ParentSettings& settings);

    void SetSettings(const ParentSettings& settings);
    SessionPhase Phase();
    int MinutesLeft();
    Milliseconds GatePauseLeft();
    GateResult AnswerGate(bool right);
    // The gate has been passed: the rest ends and the session begins anew.
    void StartNewSession();

    // A lesson (its cache file's name) was chosen and now has the content area; empty:
    // something else took the content area.
    void LessonShown(const Text& cacheName);

    // Writes the record, and the history gathered since the last write (queued to the
    // store: its LastWriteError tells a failure); a record is kept only when there is
    // something to keep.
    void Save();
    void SaveIfDue();

private:
    // Applies the time passed since the last look.
    void CatchUp();
    void Write();
    // Adds use from `from` to `to` of the wall clock, split at local midnights.
    void NoteUse(WallTime from, WallTime to);

    Store& store_;
    CornerClocks clocks_;
    ParentSettings settings_;
    CornerRecord record_;
    bool kept_ = false;  // the store holds a record
    WallTime lastWall_{0};
    MonotonicTime lastMonotonic_{0};
    MonotonicTime lastSave_{0};

    Text lesson_;  // the lesson in the content area
    struct LessonTally {
        Milliseconds shown{0};
        int chosen = 0;
    };
    // Gathered since the last write, by local day.
    std::map<LocalDay, Milliseconds> use_;
    std::map<std::pair<LocalDay, Text>, LessonTally> lessons_;
};

}  // namespace pw

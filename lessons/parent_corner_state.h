#pragma once

#include <functional>
#include <string>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"

namespace pw {

// Where the parent's settings and the corner's state are kept:
// $XDG_CONFIG_HOME/pebblewick/pebblewick.conf and $XDG_STATE_HOME/pebblewick/state.ini
// (~/.config/… and ~/.local/state/… when the variables are unset); empty when the user
// has no home.
Text ParentSettingsPath();
Text ParentStatePath();

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

// The corner's record through a run of the program and from one run to the next. Use is
// measured on the monotonic clock; time away (the program closed, the computer asleep) on
// the wall clock, where a clock set back counts as no time at all: it never shortens a
// rest or a pause, nor adds use. The record is written at least every kSaveEvery, at once
// when a rest begins or ends or the gate is answered, and by Save at the end.
class CornerKeeper {
public:
    static constexpr Milliseconds kSaveEvery = std::chrono::seconds(30);

    // Reads the state file (an empty path: kept nowhere); a missing or damaged one means
    // no rest, no time used and no pause. The time since it was written counts as away.
    CornerKeeper(Text stateFile, CornerClocks clocks, const ParentSettings& settings);

    void SetSettings(const ParentSettings& settings);
    SessionPhase Phase();
    int MinutesLeft();
    Milliseconds GatePauseLeft();
    GateResult AnswerGate(bool right);
    // The gate has been passed: the rest ends and the session begins anew.
    void StartNewSession();

    // Writes the record now; a file is made only when there is something to keep. False
    // when the write failed.
    bool Save();
    void SaveIfDue();

private:
    // Applies the time passed since the last look.
    void CatchUp();

    Text file_;
    CornerClocks clocks_;
    ParentSettings settings_;
    CornerRecord record_;
    bool fileExists_ = false;
    WallTime lastWall_{0};
    MonotonicTime lastMonotonic_{0};
    MonotonicTime lastSave_{0};
};

}  // namespace pw

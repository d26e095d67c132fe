#include "lessons/parent_corner_state.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "core/data_directory.h"
#include "core/files.h"

namespace pw {
namespace {

// A settings or state file is a few hundred bytes; anything far larger is no file of ours.
constexpr std::size_t kLargestFile = 64 * 1024;

// Wall time that runs ahead of the monotonic clock by less than this is the two clocks'
// jitter, not a sleep or a clock set forward.
constexpr Milliseconds kAwayAtLeast = std::chrono::seconds(5);

Text PathIn(const char* variable, const char* underHome, const char* name) {
    const Text folder = XdgUserDirectory(variable, underHome);
    return folder.empty() ? Text() : JoinPath(folder, name);
}

int SaveSmallFile(const Text& path, const std::string& text) {
    MakeDirectories(FolderOf(path));
    return ReplaceFileDurably(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}).error;
}

}  // namespace

Text ParentSettingsPath() { return PathIn("XDG_CONFIG_HOME", ".config", "pebblewick.conf"); }

ParentSettings LoadParentSettings(const Text& path) {
    if (path.empty()) return {};
    const auto text = ReadSmallFile(path, kLargestFile);
    return text ? ParseParentSettings(*text) : ParentSettings{};
}

int SaveParentSettings(const Text& path, const ParentSettings& settings) {
    return path.empty() ? 0 : SaveSmallFile(path, FormatParentSettings(settings));
}

std::string SaveFailureReason(int error) {
    switch (error) {
    case EACCES:
    case EPERM: return "没有写入的权限";
    case ENOSPC:
    case EDQUOT: return "磁盘已满";
    case EROFS: return "磁盘只能读，不能写";
    case ENOENT:
    case ENOTDIR: return "找不到保存它的文件夹";
    case EIO: return "磁盘读写出错";
    default: return "错误代码 " + std::to_string(error);
    }
}

CornerClocks SystemClocks() {
    return {[] { return std::chrono::duration_cast<WallTime>(std::chrono::system_clock::now().time_since_epoch()); },
            [] { return std::chrono::duration_cast<MonotonicTime>(std::chrono::steady_clock::now().time_since_epoch()); }};
}

void BringInCornerRecord(const Text& stateFile, Store& store) {
    const auto text = ReadSmallFile(stateFile, kLargestFile);
    if (!text) return;
    const SavedCornerRecord saved = ParseCornerRecord(*text);
    store.SaveCornerRecord(saved.record, saved.savedAt);
    store.Flush();
    if (store.LastWriteError() == 0) std::remove(stateFile.c_str());
}

CornerKeeper::CornerKeeper(Store& store, CornerClocks clocks, const ParentSettings& settings)
    : store_(store), clocks_(std::move(clocks)), settings_(settings) {
    lastWall_ = clocks_.wall();
    lastMonotonic_ = clocks_.monotonic();
    lastSave_ = lastMonotonic_;
    store_.DropUseBefore(LocalDayOf(lastWall_) - (kHistoryDays - 1));
    const std::optional<SavedCornerRecord> saved = store_.LoadCornerRecord();
    kept_ = saved.has_value();
    if (!saved) return;
    record_ = saved->record;
    if (saved->savedAt > WallTime{0}) PassTimeAway(record_, std::max(Milliseconds{0}, lastWall_ - saved->savedAt), settings_);
    PassTimeInUse(record_, Milliseconds{0}, settings_);  // a session the settings now end is over
}

void CornerKeeper::CatchUp() {
    const WallTime wall = clocks_.wall();
    const MonotonicTime monotonic = clocks_.monotonic();
    const Milliseconds inUse = std::max(Milliseconds{0}, monotonic - lastMonotonic_);
    const Milliseconds away = wall - lastWall_ - inUse;
    lastWall_ = wall;
    lastMonotonic_ = monotonic;
    const bool wasResting = record_.resting;
    if (away >= kAwayAtLeast) PassTimeAway(record_, away, settings_);
    // A child who rests uses nothing: the time goes to the rest.
    if (!record_.resting) NoteUse(wall - inUse, wall);
    PassTimeInUse(record_, inUse, settings_);
    if (record_.resting != wasResting) Write();
}

void CornerKeeper::NoteUse(WallTime from, WallTime to) {
    while (from < to) {
        const LocalDay day = LocalDayOf(from);
        // Never a step back: a day whose midnight cannot be found ends with the time.
        const WallTime end = std::clamp(StartOfLocalDay(day + 1), from + Milliseconds{1}, to);
        use_[day] += end - from;
        if (!lesson_.empty()) lessons_[{day, lesson_}].shown += end - from;
        from = end;
    }
}

void CornerKeeper::LessonShown(const Text& cacheName) {
    CatchUp();  // the time until now belongs to the lesson that was shown
    lesson_ = cacheName;
    if (cacheName.empty()) return;
    const WallTime now = clocks_.wall();
    ++lessons_[{LocalDayOf(now), cacheName}].chosen;
    store_.NoteLessonPlayed(cacheName, now);
}

void CornerKeeper::SetSettings(const ParentSettings& settings) {
    CatchUp();
    settings_ = settings;
    PassTimeInUse(record_, Milliseconds{0}, settings_);
}

SessionPhase CornerKeeper::Phase() {
    CatchUp();
    return PhaseOf(record_, settings_);
}

int CornerKeeper::MinutesLeft() {
    CatchUp();
    return pw::MinutesLeft(record_, settings_);
}

Milliseconds CornerKeeper::GatePauseLeft() {
    CatchUp();
    return record_.gate.pauseLeft;
}

GateResult CornerKeeper::AnswerGate(bool right) {
    CatchUp();
    const GateResult result = pw::AnswerGate(record_.gate, right);
    Write();
    return result;
}

void CornerKeeper::StartNewSession() {
    CatchUp();
    pw::StartNewSession(record_);
    Write();
}

void CornerKeeper::Save() {
    CatchUp();
    Write();
}

void CornerKeeper::Write() {
    lastSave_ = clocks_.monotonic();
    for (const auto& [day, used] : std::exchange(use_, {})) store_.AddUse(day, used);
    for (const auto& [key, tally] : std::exchange(lessons_, {}))
        store_.AddLessonUse(key.first, key.second, tally.shown, tally.chosen);
    if (!kept_ && record_ == CornerRecord{}) return;
    store_.SaveCornerRecord(record_, clocks_.wall());
    kept_ = true;
}

void CornerKeeper::SaveIfDue() {
    CatchUp();
    if (clocks_.monotonic() - lastSave_ >= kSaveEvery) Write();
}

}  // namespace pw

#include "lessons/parent_corner_state.h"

#include <algorithm>
#include <cerrno>

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
Text ParentStatePath() { return PathIn("XDG_STATE_HOME", ".local/state", "state.ini"); }

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

CornerKeeper::CornerKeeper(Text stateFile, CornerClocks clocks, const ParentSettings& settings)
    : file_(std::move(stateFile)), clocks_(std::move(clocks)), settings_(settings) {
    lastWall_ = clocks_.wall();
    lastMonotonic_ = clocks_.monotonic();
    lastSave_ = lastMonotonic_;
    if (file_.empty()) return;
    const auto text = ReadSmallFile(file_, kLargestFile);
    fileExists_ = text.has_value();
    if (!text) return;
    const SavedCornerRecord saved = ParseCornerRecord(*text);
    record_ = saved.record;
    if (saved.savedAt > WallTime{0}) PassTimeAway(record_, std::max(Milliseconds{0}, lastWall_ - saved.savedAt), settings_);
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
    PassTimeInUse(record_, inUse, settings_);
    if (record_.resting != wasResting) Save();
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
    Save();
    return result;
}

void CornerKeeper::StartNewSession() {
    CatchUp();
    pw::StartNewSession(record_);
    Save();
}

bool CornerKeeper::Save() {
    lastSave_ = clocks_.monotonic();
    if (file_.empty() || (!fileExists_ && record_ == CornerRecord{})) return true;
    const bool saved = SaveSmallFile(file_, FormatCornerRecord(record_, clocks_.wall())) == 0;
    fileExists_ = fileExists_ || saved;
    return saved;
}

void CornerKeeper::SaveIfDue() {
    CatchUp();
    if (clocks_.monotonic() - lastSave_ >= kSaveEvery) Save();
}

}  // namespace pw

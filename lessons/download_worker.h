#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/text.h"
#include "net/resumable_downloader.h"

namespace pw {

// What one download works on: its own copies, taken when it starts, so that a later
// choice cannot change the file under a running transfer.
struct DownloadJob {
    std::uint64_t id = 0;  // tags its events; the UI drops those of a superseded job
    Text url;
    Text filePath;  // the cache file (or update file) to write
    // A lesson replaces its cache file only with a whole movie; an update file is stored
    // whatever it holds.
    bool lesson = true;
    // How a lesson's file is judged whole, when not as a whole movie: by the size and hash
    // of a signed catalogue. Runs on the worker, or beside it while the body arrives, given
    // the file's bytes as they are written (`arriving`, empty to read the file).
    std::function<bool(const Text& file, const SwfByteSource& arriving)> wholeLesson{};
};

// What a download worker tells the UI thread, by value.
struct DownloadEvent {
    enum class Kind { Progress, Completed, Failed };
    std::uint64_t job = 0;
    Kind kind = Kind::Progress;
    Text caption{};             // Progress: the status label's text
    std::int32_t position = 0;  // Progress: the progress bar's position
    // Failed: what to tell the user; empty for nothing. Completed: also told, after the
    // lesson that was on disk plays (the download found the disk full).
    Text message{};
    bool movie = false;         // Completed: the file is a whole movie
    Text figures{};             // Progress: the report's figures on one short line
    bool diskFull = false;      // the download stopped for lack of space
};

// Receives a worker's events; called on the worker's thread, so it only hands them on.
using DownloadEventSink = std::function<void(DownloadEvent)>;

// At most one progress event per this interval: painting the caption for every chunk
// would take a core from the download itself. Every paint of the display costs ~4.5 ms
// of CPU while the window holds web views (it composes all of itself, in software under
// Xvfb), so five a second: the block bar and the caption still move visibly.
inline constexpr std::chrono::milliseconds kProgressInterval{200};

// Where a download writes before its file is whole: "<file>.part" beside it, and the
// validator of the response the part began with: "<file>.part.meta".
Text PartFilePath(const Text& filePath);
Text PartMetaPath(const Text& filePath);

// `DownloadWorker`: fetches the job's file with the progress display, resuming its part
// file when the server still has the same file (the part's validator in If-Range; any
// other answer is written beside the part, which with its validator stays as it was
// until that answer is kept as the file), and
// reports Completed once the file is whole (the UI then completes the display and plays
// it), or Failed with the downloader's message. A lesson whose body is not whole (no
// whole movie, or not the size and hash its catalogue gives: a captive portal's page, a
// cut body, a file changed on the server) is not stored: the lesson already on disk is
// Completed when it is whole, else Failed with "不能打开该URL!". A download that finds
// the disk full leaves no part behind and says so ("磁盘空间不足，课程没有下载完。"), the
// lesson on disk Completed when whole. The display counts the whole file, the resumed
// part included. A stopped job reports nothing more.
void DownloadWorker(const DownloadJob& job, const DownloadEventSink& sink, const DownloadSettings& settings);

// The program's worker threads: downloads, and the waits on the network that must not
// block the window. Starting one supersedes the running ones, which stop at their next
// wait; every thread is joined at the latest when this object goes.
class WorkerThreads {
public:
    WorkerThreads();
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs `work` on a thread of its own after superseding the running ones. False when
    // no thread could be made: nothing runs then.
    bool Start(std::function<void(std::stop_token)> work);
    // Asks the running threads to stop, without waiting.
    void SupersedeCurrent();
    // Stops every thread and waits for them to end.
    void StopAll();
    // True while a thread has not yet ended.
    bool Running() const;
    // How many threads have been started so far.
    std::uint64_t Started() const;

private:
    struct Worker;
    void ReapFinished();

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::uint64_t started_ = 0;
};

}  // namespace pw

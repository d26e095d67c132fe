#include "lessons/download_worker.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "core/files.h"
#include "core/swf_file.h"
#include "lessons/download_progress.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;

// Keeps the downloader's message instead of showing it: the UI thread shows it, unless
// the job has been superseded by then.
class KeptMessage final : public MessagePort {
public:
    MessageAnswer Ask(const MessageRequest& request) override {
        text = request.text;
        return MessageAnswer::Ok;
    }
    Text text;
};

// The validator kept beside a part file; empty when there is none. It is a short line: a
// longer file is no validator of ours.
Text ReadValidator(const Text& metaPath) {
    std::ifstream in(metaPath, std::ios::binary);
    Text validator(257, '\0');
    in.read(validator.data(), static_cast<std::streamsize>(validator.size()));
    validator.resize(static_cast<std::size_t>(in.gcount()));
    return validator.size() < 257 ? validator : Text();
}

// Flushed and renamed into place: a part is never resumed under a torn validator.
void KeepValidator(const Text& metaPath, const Text& validator, const DurableWriteCalls& calls) {
    if (validator.empty() ||
        !ReplaceFileDurably(metaPath, {reinterpret_cast<const std::uint8_t*>(validator.data()), validator.size()},
                            calls))
        std::remove(metaPath.c_str());  // without one, the next download starts afresh
}

}  // namespace

Text PartFilePath(const Text& filePath) { return filePath + ".part"; }
Text PartMetaPath(const Text& filePath) { return PartFilePath(filePath) + ".meta"; }

void DownloadWorker(const DownloadJob& job, const DownloadEventSink& sink, const DownloadSettings& settings) {
    bool complete = false;
    // The latest report not yet sent. Its caption is built only when it is sent: building
    // one for each of a fast download's thousands of reads took a few per cent of the
    // worker's time, for captions nobody would see.
    struct Report {
        std::int32_t total = 0, received = 0, elapsed = 0, thisCall = 0, position = 0;
    } latest;
    bool hasPending = false;
    Clock::time_point lastSent{};
    auto sendLatest = [&] {
        sink({job.id, DownloadEvent::Kind::Progress,
              ProgressCaption(latest.total, latest.received, latest.elapsed, latest.thisCall), latest.position, {}, false,
              ProgressFigures(latest.total, latest.received, latest.elapsed, latest.thisCall)});
        hasPending = false;
    };

    auto progress = [&](std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t thisCall) {
        if (complete) return 0;
        // The whole file: a resumed transfer's length is that of the rest.
        if (total > 0) total += received - thisCall;
        latest = {total, received, elapsed, thisCall, ProgressPosition(total, received)};
        complete = CompletesDisplay(latest.position);
        hasPending = true;
        const auto now = Clock::now();
        if (!complete && now - lastSent >= kProgressInterval) {
            sendLatest();
            lastSent = now;
        }
        return 0;
    };

    // Written beside the lesson and renamed over it once whole: a download that fails or
    // is superseded never costs the lesson that was complete before, and a later one
    // goes on from where it broke off.
    const Text partPath = PartFilePath(job.filePath);
    const Text metaPath = PartMetaPath(job.filePath);
    DownloadSettings partSettings = settings;
    partSettings.completeAs = job.filePath;
    const auto wholeLesson = [&job](const Text& file) {
        return job.wholeLesson ? job.wholeLesson(file, {}) : IsWholeSwfFile(file);
    };
    // A lesson is kept only when whole, checked while the body arrives so that a large file
    // is not read again once it is in: by its catalogue's size and hash, else as a whole
    // movie.
    if (job.lesson && job.wholeLesson)
        partSettings.checkWhileArriving = [&job](const Text& file, const SwfByteSource& body, const SwfByteSkip&) {
            return job.wholeLesson(file, body);
        };
    else if (job.lesson)
        partSettings.checkWhileArriving = [](const Text&, const SwfByteSource& body, const SwfByteSkip& skip) {
            return IsWholeSwf(body, skip);
        };
    partSettings.onValidator = [&](const Text& validator) { KeepValidator(metaPath, validator, settings.writeCalls); };
    // A part is resumed only with a validator that can go back to the server as it is; a
    // part without one is no use and starts again.
    const std::int32_t partSize = LocalFileSize(partPath);
    const Text validator = partSize > 0 ? ReadValidator(metaPath) : Text();
    const bool resume = IsSendableValidator(validator);
    partSettings.ifRange = resume ? validator : Text();
    KeptMessage message;
    const int result =
        ResumableDownloader(job.url, partPath, progress, resume ? partSize : 0, resume ? 1 : 0, message, partSettings);
    if (settings.stop.stop_requested()) return;
    if (LocalFileSize(partPath) < 0) std::remove(metaPath.c_str());  // its part is gone: kept or deleted

    // A transfer that ended well is whole, also when it had no Content-Length and its
    // count never reached 100.
    if (result == 0) {
        const bool movie = job.lesson || IsWholeSwfFile(job.filePath);
        sink({.job = job.id, .kind = DownloadEvent::Kind::Completed, .movie = movie});
        return;
    }
    if (result == kDownloadNotKept || result == kDownloadDiskFull) {
        // The network misled us, or the disk is full; a lesson already whole on disk still
        // plays (and the disk's message is told).
        const bool diskFull = result == kDownloadDiskFull;
        if (job.lesson && wholeLesson(job.filePath)) {
            sink({.job = job.id, .kind = DownloadEvent::Kind::Completed, .message = diskFull ? message.text : Text(),
                  .movie = true, .diskFull = diskFull});
            return;
        }
        if (diskFull) {
            sink({.job = job.id, .kind = DownloadEvent::Kind::Failed, .message = message.text, .diskFull = true});
            return;
        }
        message.text = job.lesson ? msg::CannotOpenUrl() : msg::DownloadInterrupted();
    }
    // A failure leaves the last progress text in place: send what was held back first,
    // unless it counted a body that was not kept (a full bar beside the error).
    if (hasPending && result != kDownloadNotKept) sendLatest();
    sink({.job = job.id, .kind = DownloadEvent::Kind::Failed, .message = message.text});
}

struct WorkerThreads::Worker {
    std::atomic<bool> finished{false};
    std::jthread thread;
};

WorkerThreads::WorkerThreads() = default;
WorkerThreads::~WorkerThreads() { StopAll(); }

bool WorkerThreads::Start(std::function<void(std::stop_token)> work) {
    SupersedeCurrent();
    ReapFinished();
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    try {
        worker->thread = std::jthread([w, work = std::move(work)](std::stop_token stop) {
            work(std::move(stop));
            w->finished = true;
        });
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the choice does nothing, and the program goes on
    }
    std::lock_guard lock(mutex_);
    workers_.push_back(std::move(worker));
    ++started_;
    return true;
}

void WorkerThreads::SupersedeCurrent() {
    std::lock_guard lock(mutex_);
    for (auto& worker : workers_) worker->thread.request_stop();
}

void WorkerThreads::ReapFinished() {
    std::vector<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if ((*it)->finished) {
                finished.push_back(std::move(*it));
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined here, outside the lock; each has already returned.
}

void WorkerThreads::StopAll() {
    SupersedeCurrent();
    std::vector<std::unique_ptr<Worker>> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(workers_);
    }
    all.clear();  // joins
}

std::uint64_t WorkerThreads::Started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

bool WorkerThreads::Running() const {
    std::lock_guard lock(mutex_);
    for (const auto& worker : workers_)
        if (!worker->finished) return true;
    return false;
}

}  // namespace pw

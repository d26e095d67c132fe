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

// What a part's meta file tells: the validator of the answer the part began with, and
// the address that gave it.
struct PartOrigin {
    Text validator, source;
};

constexpr std::size_t kMaxMetaBytes = 256 + 1 + 4096;

// The part's origin; empty when there is none. A meta file of one line comes from a
// version that fetched every file from one address: `url`.
PartOrigin ReadPartOrigin(const Text& metaPath, const Text& url) {
    const auto meta = ReadSmallFile(metaPath, kMaxMetaBytes);
    if (!meta) return {};
    const std::size_t lineEnd = meta->find('\n');
    if (lineEnd == std::string::npos) return {*meta, url};
    return {meta->substr(0, lineEnd), meta->substr(lineEnd + 1)};
}

// Flushed and renamed into place: a part is never resumed under a torn validator.
void KeepPartOrigin(const Text& metaPath, const PartOrigin& origin, const DurableWriteCalls& calls) {
    const Text meta = origin.validator + "\n" + origin.source;
    if (origin.validator.empty() ||
        !ReplaceFileDurably(metaPath, {reinterpret_cast<const std::uint8_t*>(meta.data()), meta.size()}, calls))
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
    if (job.lesson) partSettings.expectedSize = job.size;
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
    // Each address in turn, until one gives the whole file.
    std::vector<Text> sources = job.mirrors;
    sources.push_back(job.url);
    int result = -1;
    KeptMessage message;
    for (const Text& source : sources) {
        partSettings.onValidator = [&](const Text& validator) {
            KeepPartOrigin(metaPath, {validator, source}, settings.writeCalls);
        };
        // A part is resumed only with a validator that can go back to the server as it is,
        // and only from the address that gave it; any other starts the file again.
        const std::int32_t partSize = LocalFileSize(partPath);
        const PartOrigin origin = partSize > 0 ? ReadPartOrigin(metaPath, job.url) : PartOrigin{};
        const bool resume = IsSendableValidator(origin.validator) && origin.source == source;
        partSettings.ifRange = resume ? origin.validator : Text();
        message.text.clear();
        complete = hasPending = false;
        bool bodyArrived = false;
        const auto counted = [&](std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t thisCall) {
            bodyArrived = bodyArrived || thisCall > 0;
            return progress(total, received, elapsed, thisCall);
        };
        result = ResumableDownloader(source, partPath, counted, resume ? partSize : 0, resume ? 1 : 0, message,
                                     partSettings);
        if (settings.stop.stop_requested()) return;
        // A body that broke off stays as the part, to be resumed from where it came; a
        // full disk is no fault of the source.
        if (result == 0 || result == kDownloadDiskFull || (result == -1 && bodyArrived)) break;
    }
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
            const Text& said = job.lesson ? message.text : msg::UpdateDiskFull();  // not a lesson's
            sink({.job = job.id, .kind = DownloadEvent::Kind::Failed, .message = said, .diskFull = true});
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

#include "lessons/download_worker.h"

#include <atomic>

#include "core/files.h"
#include "lessons/lesson_selection.h"
#include "net/download_progress.h"
#include "net/resumable_downloader.h"

namespace pw {
namespace {

// The display as a superseded worker sees it: every write is dropped once the worker's
// stop has been requested. Reads still answer.
class GuardedControls final : public MainWindowControls {
public:
    GuardedControls(MainWindowControls& inner, std::mutex& mutex, std::stop_token stop)
        : inner_(inner), mutex_(mutex), stop_(std::move(stop)) {}

    void SetVisible(Control control, bool visible) override {
        Write([&] { inner_.SetVisible(control, visible); });
    }
    bool IsVisible(Control control) const override { return inner_.IsVisible(control); }
    void SetStatusCaption(const Text& caption) override {
        Write([&] { inner_.SetStatusCaption(caption); });
    }
    Text StatusCaption() const override { return inner_.StatusCaption(); }
    void SetProgressPosition(std::int32_t position) override {
        Write([&] { inner_.SetProgressPosition(position); });
    }
    std::int32_t ProgressPosition() const override { return inner_.ProgressPosition(); }
    void SetFlashMovie(const Text& path) override {
        Write([&] { inner_.SetFlashMovie(path); });
    }
    void PlayFlash() override {
        Write([&] { inner_.PlayFlash(); });
    }
    void SetWebAddress(const Text& url) override {
        Write([&] { inner_.SetWebAddress(url); });
    }

private:
    template <class F>
    void Write(F&& write) {
        std::lock_guard lock(mutex_);
        if (!stop_.stop_requested()) write();
    }

    MainWindowControls& inner_;
    std::mutex& mutex_;
    std::stop_token stop_;
};

}  // namespace

void DownloadWorker(const DownloadJob& job, MainWindowControls& controls, std::stop_token stop) {
    controls.SetVisible(Control::StatusLabel, true);
    controls.SetVisible(Control::ProgressBar, true);
    controls.SetVisible(Control::FlashView, false);
    controls.SetVisible(Control::WebView, false);
    controls.SetFlashMovie(ProgramFilePath(kIdleMovieName));

    bool completed = false;
    std::int32_t lastTotal = 0;
    auto progress = [&](std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t thisCall) {
        lastTotal = total;
        if (!completed && DownloadProgress(controls, total, received, elapsed, thisCall)) {
            completed = true;
            PlayFile(controls, job.fileName);
        }
        return 0;
    };
    const int result = ResumableDownloader(job.url, ProgramFilePath(job.fileName), progress, 0, 0, stop);

    // Without a Content-Length the count never reaches 100: a transfer that ended well is
    // complete all the same.
    if (result == 0 && !completed && lastTotal == 0 && !stop.stop_requested()) {
        CompleteDownloadDisplay(controls);
        PlayFile(controls, job.fileName);
    }
}

struct DownloadThreads::Worker {
    std::atomic<bool> finished{false};
    std::jthread thread;
};

DownloadThreads::~DownloadThreads() { StopAll(); }

void DownloadThreads::Start(DownloadJob job, MainWindowControls& controls) {
    SupersedeCurrent();
    ReapFinished();
    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    std::shared_ptr<std::mutex> displayMutex = displayMutex_;
    worker->thread = std::jthread([w, displayMutex, job = std::move(job), &controls](std::stop_token stop) {
        GuardedControls guarded(controls, *displayMutex, stop);
        DownloadWorker(job, guarded, stop);
        w->finished = true;
    });
    std::lock_guard lock(threadsMutex_);
    workers_.push_back(std::move(worker));
}

void DownloadThreads::SupersedeCurrent() {
    std::lock_guard display(*displayMutex_);
    std::lock_guard lock(threadsMutex_);
    for (auto& worker : workers_) worker->thread.request_stop();
}

void DownloadThreads::ReapFinished() {
    std::vector<std::unique_ptr<Worker>> finished;
    {
        std::lock_guard lock(threadsMutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            if ((*it)->finished) {
                finished.push_back(std::move(*it));
                it = workers_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joined outside the lock; each has already returned.
}

void DownloadThreads::StopAll() {
    SupersedeCurrent();
    std::vector<std::unique_ptr<Worker>> all;
    {
        std::lock_guard lock(threadsMutex_);
        all.swap(workers_);
    }
    all.clear();  // joins
}

bool DownloadThreads::Running() const {
    std::lock_guard lock(threadsMutex_);
    for (const auto& worker : workers_)
        if (!worker->finished) return true;
    return false;
}

DownloadThreads& Downloads() {
    static DownloadThreads threads;
    return threads;
}

}  // namespace pw

#pragma once

#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "core/main_window_controls.h"
#include "core/text.h"

namespace pw {

// What one download thread works on: its own copies, taken when it starts, so that a
// later choice cannot change the file under a running transfer.
struct DownloadJob {
    Text url;
    Text fileName;  // bare name in the program directory
};

// `DownloadWorker`: shows the downloading view, silences the movie, fetches the file
// afresh with the progress display and plays it when the display completes. `controls`
// are the display this worker may change.
void DownloadWorker(const DownloadJob& job, MainWindowControls& controls, std::stop_token stop);

// The program's download threads. One download runs at a time: starting one supersedes
// the running one, which stops at its next chunk, keeps its partial file, and from that
// moment no longer touches the display.
class DownloadThreads {
public:
    DownloadThreads() = default;
    ~DownloadThreads();
    DownloadThreads(const DownloadThreads&) = delete;
    DownloadThreads& operator=(const DownloadThreads&) = delete;

    void Start(DownloadJob job, MainWindowControls& controls);
    // Supersedes the running download without starting another.
    void SupersedeCurrent();
    // Stops every download and waits for the threads to end.
    void StopAll();
    // True while a download thread has not yet ended (for tests).
    bool Running() const;

private:
    struct Worker;
    void ReapFinished();

    // Held while a worker writes to the display and while a download is superseded, so
    // that no write of a superseded worker can land after SupersedeCurrent returns.
    std::shared_ptr<std::mutex> displayMutex_ = std::make_shared<std::mutex>();
    mutable std::mutex threadsMutex_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

// The program's one set of download threads.
DownloadThreads& Downloads();

}  // namespace pw

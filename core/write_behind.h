#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace pw {

// Hands a file's newly written bytes to the disk while the writer goes on, so that the
// flush before the file is renamed waits only for the last few MiB instead of the whole
// file. The hand-over (sync_file_range) runs on a thread of its own by default: in the writer's
// thread, the file system's work of starting each write-out held a large download up by
// some 10 %. Only a hint: where it is not supported, the flush writes it all.
class WriteBehind {
public:
    // Where the hand-over runs. In the writer's own thread where writers already keep
    // every core busy (several files copied at once): a thread for each file there only
    // added hand-overs between threads, and the import of 100 MiB took some 10 % longer.
    enum class Thread { OwnThread, Writer };

    // The file open for writing as `fd`, which must stay open until Stop; its first `from`
    // bytes were there before.
    explicit WriteBehind(int fd, off_t from = 0, Thread thread = Thread::OwnThread)
        : fd_(fd), inWriter_(thread == Thread::Writer), requested_(from), handedOver_(from) {}
    ~WriteBehind() { Stop(); }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // The file now holds `end` bytes: a stretch of a few MiB since the last hand-over is
    // handed over. The thread starts with the first one, so a small file costs none.
    void Written(off_t end);

    // Waits for the hand-over under way, if any; no more follow.
    void Stop();

private:
    void HandOverUntilStopped();

    void HandOver(off_t to);

    const int fd_;
    const bool inWriter_;
    off_t requested_;  // the writer's side: the file up to here is asked to be handed over
    std::mutex mutex_;
    std::condition_variable more_;
    off_t wanted_ = 0;  // guarded: what the thread is to hand over up to
    bool stopping_ = false;
    std::thread thread_;
    off_t handedOver_;  // the thread's side
};

}  // namespace pw

#include "core/write_behind.h"

#include <fcntl.h>

#include <system_error>

namespace pw {
namespace {

// The written bytes since the last hand-over that are handed over next.
constexpr off_t kWriteBehindStep = 4 * 1024 * 1024;

}  // namespace

void WriteBehind::Written(off_t end) {
    if (end - requested_ < kWriteBehindStep) return;
    requested_ = end;
    if (inWriter_) return HandOver(end);
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { HandOverUntilStopped(); });
        } catch (const std::system_error&) {
            return HandOver(end);  // no thread to spare: here, as the writer waits
        }
    }
    {
        std::lock_guard lock(mutex_);
        wanted_ = end;
    }
    more_.notify_one();
}

void WriteBehind::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    more_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void WriteBehind::HandOverUntilStopped() {
    for (;;) {
        off_t to = 0;
        {
            std::unique_lock lock(mutex_);
            more_.wait(lock, [this] { return stopping_ || wanted_ > handedOver_; });
            if (stopping_) return;
            to = wanted_;
        }
        // Stretches that came while the last one was handed over go as one.
        HandOver(to);
    }
}

void WriteBehind::HandOver(off_t to) {
    ::sync_file_range(fd_, handedOver_, to - handedOver_, SYNC_FILE_RANGE_WRITE);
    handedOver_ = to;
}

}  // namespace pw

#include "lessons/whole_file_checker.h"

#include "core/swf_file.h"

namespace pw {

WholeFileChecker::WholeFileChecker(Report report, WholeTest check)
    : report_(std::move(report)),
      check_(check ? std::move(check) : WholeTest(IsWholeSwfFile)),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

WholeFileChecker::~WholeFileChecker() {
    thread_.request_stop();
    thread_.join();
}

void WholeFileChecker::Check(std::size_t tag, Text path) {
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(tag, std::move(path));
    }
    wake_.notify_one();
}

void WholeFileChecker::Run(std::stop_token stop) {
    for (;;) {
        std::pair<std::size_t, Text> next;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        report_(next.first, check_(next.second));
    }
}

}  // namespace pw

#include "lessons/whole_file_checker.h"

#include "lessons/lesson_selection.h"

namespace pw {

WholeFileChecker::WholeFileChecker(LessonHashes& hashes, Report report, WholeTest check)
    : hashes_(hashes),
      report_(std::move(report)),
      check_(std::move(check)),
      thread_([this](std::stop_token stop) { Run(std::move(stop)); }) {}

WholeFileChecker::~WholeFileChecker() {
    thread_.request_stop();
    thread_.join();
}

void WholeFileChecker::Check(std::size_t tag, Text path, std::optional<LessonDigest> digest) {
    {
        std::lock_guard lock(mutex_);
        queue_.emplace_back(tag, std::move(path), std::move(digest));
    }
    wake_.notify_one();
}

void WholeFileChecker::Run(std::stop_token stop) {
    for (;;) {
        std::tuple<std::size_t, Text, std::optional<LessonDigest>> next;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !queue_.empty(); })) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        const auto& [tag, path, digest] = next;
        const bool whole = check_ ? check_(path) : IsWholeLesson(path, digest, hashes_);
        report_(tag, whole);
    }
}

}  // namespace pw

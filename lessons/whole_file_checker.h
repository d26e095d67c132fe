#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "core/text.h"
#include "lessons/lesson_hashes.h"

namespace pw {

// Tells which lesson files are whole on a thread of its own: by their size and hash when
// the catalogue gives them, else as whole movies (the rule offline play uses). A movie may
// be large and compressed, and hundreds of them must not hold up the window. Files are
// checked one after another in the order asked, so a later answer about a file is never
// overtaken by an earlier one. Whenever it has nothing left to check, it keeps the hashes
// it learnt.
class WholeFileChecker {
public:
    // Runs on the checker's thread once for every file checked.
    using Report = std::function<void(std::size_t tag, bool whole)>;
    // Tells whether the file at a path is whole.
    using WholeTest = std::function<bool(const Text& path)>;

    // `hashes` must outlive the checker. `check` empty: IsWholeLesson; else it decides
    // for every file, whatever its digest.
    explicit WholeFileChecker(LessonHashes& hashes, Report report, WholeTest check = {});
    // Stops after the file in hand; the rest are not checked.
    ~WholeFileChecker();
    WholeFileChecker(const WholeFileChecker&) = delete;
    WholeFileChecker& operator=(const WholeFileChecker&) = delete;

    void Check(std::size_t tag, Text path, std::optional<LessonDigest> digest = std::nullopt);
    // Asks the thread to stop after the file in hand, without waiting for it.
    void Stop();

private:
    void Run(std::stop_token stop);

    LessonHashes& hashes_;
    Report report_;
    WholeTest check_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::tuple<std::size_t, Text, std::optional<LessonDigest>>> queue_;
    std::jthread thread_;  // last: it starts once the rest exists
};

}  // namespace pw

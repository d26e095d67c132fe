#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "core/text.h"

namespace pw {

// Tells which files are whole movies (the rule offline play uses) on a thread of its
// own: a movie may be large and compressed, and 32 of them must not hold up the window.
// Files are checked one after another in the order asked, so a later answer about a file
// is never overtaken by an earlier one.
class WholeFileChecker {
public:
    // Runs on the checker's thread once for every file checked.
    using Report = std::function<void(std::size_t tag, bool whole)>;
    // Tells whether the file at a path is whole.
    using WholeTest = std::function<bool(const Text& path)>;

    // `check` empty: IsWholeSwfFile.
    explicit WholeFileChecker(Report report, WholeTest check = {});
    // Stops after the file in hand; the rest are not checked.
    ~WholeFileChecker();
    WholeFileChecker(const WholeFileChecker&) = delete;
    WholeFileChecker& operator=(const WholeFileChecker&) = delete;

    void Check(std::size_t tag, Text path);

private:
    void Run(std::stop_token stop);

    Report report_;
    WholeTest check_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::pair<std::size_t, Text>> queue_;
    std::jthread thread_;  // last: it starts once the rest exists
};

}  // namespace pw

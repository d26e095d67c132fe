#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace pw::testing {

// Top-level windows of other processes on the test's display, reached through Xlib
// (kept out of the tests' sources: its macros clash with Qt's and GoogleTest's names).

// The shown top-level window of process `pid` whose title is `title`; nothing when none
// appears within `limit`.
std::optional<unsigned long> WaitForTopLevelWindow(pid_t pid, const std::string& title,
                                                   std::chrono::milliseconds limit);

// Asks the window to close as a window manager does when the user clicks its close
// button: a WM_DELETE_WINDOW client message. False when the display cannot be reached.
bool RequestWindowClose(unsigned long window);

}  // namespace pw::testing

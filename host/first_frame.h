#pragma once

#include <functional>

class QWidget;

namespace pw {

// Runs `then` on the UI thread once the window that holds `widget` has been drawn on the
// screen for the first time: at the next turn of the event loop when it already has been
// or is not shown at all. Work that the window does not need to show (a web engine's
// profile, its renderer) waits so, and the window is there without it. Nothing runs once
// `widget` is gone.
void AfterWindowFirstDrawn(QWidget& widget, std::function<void()> then);

}  // namespace pw

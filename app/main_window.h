#pragma once

namespace pw {

class LoadedWindow;

// Created handler of the main window: runs before the window is first shown.
void OnMainWindowCreated();

// The main window while it exists.
LoadedWindow* MainWindow();

}  // namespace pw

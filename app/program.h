#pragma once

#include <memory>

namespace pw {

class LoadedWindow;

// Everything the program does once its main window has been closed: downloads stop at
// once (their partial files stay), then the window and the network session go away.
void EndProgram(std::unique_ptr<LoadedWindow> mainWindow);

}  // namespace pw

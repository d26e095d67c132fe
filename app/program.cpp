#include "app/program.h"

#include "app/network_session.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "ui/message_box.h"
#include "ui/window_loader.h"

namespace pw {

void EndProgram(std::unique_ptr<LoadedWindow> mainWindow) {
    ReleaseWaitingMessages();
    Downloads().StopAll();
    SetMainWindowControls(nullptr);
    mainWindow.reset();
    ShutdownCleanup();
}

}  // namespace pw

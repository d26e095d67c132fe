#include <QApplication>

#include <cstdlib>

#include "app/main_window.h"
#include "app/network_session.h"
#include "host/flash_scheme.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "ui/message_box.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

int main(int argc, char* argv[]) {
    // The web engine needs its URL scheme and shared GL contexts before the application.
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pebblewick"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.0.0"));
    pw::InstallMessageBoxHandler();

    pw::TheNetworkSession() = new pw::NetworkSession;
    std::atexit(pw::ShutdownCleanup);
    pw::TheNetworkSession()->Initialise();

    auto mainWindow = pw::LoadWindow(pw::MainWindowDescription());
    const int result = app.exec();

    // Closing the main window ends the program: downloads stop at once (their partial
    // files stay) before the window and the network go away.
    pw::ReleaseWaitingMessages();
    pw::Downloads().StopAll();
    pw::SetMainWindowControls(nullptr);
    mainWindow.reset();
    pw::ShutdownCleanup();
    return result;
}

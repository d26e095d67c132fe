#include <QApplication>

#include <cstdlib>

#include "app/network_session.h"
#include "app/program.h"
#include "host/flash_scheme.h"
#include "ui/message_box.h"
#include "ui/translations.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

int main(int argc, char* argv[]) {
    // The web engine needs its URL scheme and shared GL contexts before the application.
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    pw::InstallChineseTranslations(app);
    QApplication::setApplicationName(QStringLiteral("Pebblewick"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.0.0"));
    pw::InstallMessageBoxHandler();

    pw::TheNetworkSession() = new pw::NetworkSession;
    std::atexit(pw::ShutdownCleanup);
    pw::TheNetworkSession()->Initialise();

    auto mainWindow = pw::LoadWindow(pw::MainWindowDescription());
    const int result = app.exec();

    pw::EndProgram(std::move(mainWindow));
    return result;
}

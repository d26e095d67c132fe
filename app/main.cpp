#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include "app/program.h"
#include "core/data_directory.h"
#include "core/files.h"
#include "core/memory.h"
#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "lessons/parent_corner_state.h"
#include "lessons/site_catalogue.h"
#include "lessons/store.h"
#include "ui/main_window_display.h"
#include "ui/message_box.h"
#include "ui/translations.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

int main(int argc, char* argv[]) {
    // The web engine needs its URL scheme and shared GL contexts before the application,
    // and its processes take the allocator's policy from the environment they start with.
    pw::ReturnLargeBlocksWhenFreedInChildProcesses();
    pw::LetPlayerPagesCollectGarbage(argc, argv);
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    pw::InstallChineseTranslations(app);
    pw::UseChineseWebEngine();
    pw::OpenWebPagesToScreenReaders();
    QApplication::setApplicationName(QStringLiteral("Pebblewick"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.0.0"));

    pw::MessageBoxes messageBoxes;
    pw::ProgramSetup setup;
    setup.hosts = pw::ReadHosts();
    // Beside the program when it may write there, else in the user's data folder.
    setup.dataDirectory = pw::ChooseDataDirectory(pw::ExecutableDirectory());
    setup.catalogueKey = pw::ReadCatalogueKey();
    setup.messages = &messageBoxes;
    setup.openInBrowser = [](const pw::Text& url) { QDesktopServices::openUrl(QUrl(pw::ToQString(url))); };
    setup.parentSettingsFile = pw::ParentSettingsPath();
    setup.storeFile = pw::StorePath();
    setup.openFolder = [](const pw::Text& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder))));
    };
    pw::Program program(std::move(setup));

    pw::LoadedWindow mainWindow(pw::MainWindowDescription(), program);
    pw::MainWindowDisplay display(mainWindow);
    program.AttachDisplay(display);
    program.AttachMainWindow(mainWindow);
    mainWindow.FireCreated();
    mainWindow.ShowCentred();
    // Not before: the start-up's large blocks come and go faster from the heap.
    QTimer::singleShot(0, &app, [] { pw::ReturnLargeBlocksWhenFreed(); });
    const int result = app.exec();

    // Downloads stop at once (their partial files stay) before the window goes.
    program.EndProgram();
    return result;
}

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <future>
#include <optional>
#include <string_view>

#include "app/program.h"
#include "core/data_directory.h"
#include "core/files.h"
#include "core/memory.h"
#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "lessons/lesson_folder.h"
#include "lessons/minisign.h"
#include "lessons/parent_corner_state.h"
#include "lessons/site_catalogue.h"
#include "lessons/store.h"
#include "ui/main_window_display.h"
#include "ui/message_box.h"
#include "ui/translations.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace {

constexpr const char* kVersion = "2.0.0.0";

// The version, and the id of the key the catalogue must be signed with: a build that
// trusts the demo site's key shows it at once.
int PrintVersion() {
    const auto key = pw::ParseMinisignPublicKey(pw::ReadCatalogueKey());
    std::printf("Pebblewick %s\ncatalogue key: %s\n", kVersion,
                key ? pw::MinisignKeyIdText(*key).c_str() : "none");
    return 0;
}

// --export-lessons DIR and --import-lessons DIR: the lessons carried in a folder, with a
// line for every file and the summary last. 0 when every file went as it should.
int CarryLessons(bool exporting, const char* folder) {
    const pw::Text dataDirectory = pw::ChooseDataDirectory(pw::ExecutableDirectory());
    const pw::Text key = pw::ReadCatalogueKey();
    const auto print = [](const pw::FolderStep& step) { std::printf("[%d/%d] %s\n", step.done, step.total, step.line.c_str()); };
    pw::FolderOutcome outcome;
    if (exporting) {
        outcome = pw::ExportLessons(dataDirectory, folder, key, print);
    } else {
        pw::Store store(pw::StorePath());  // the no-rollback floor
        outcome = pw::ImportLessons(folder, dataDirectory, key, &store, print);
    }
    std::printf("%s\n", pw::ToUtf8(outcome.summary).c_str());
    return outcome.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Asked from a terminal: answered without a window.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") return PrintVersion();
        if ((argument == "--export-lessons" || argument == "--import-lessons") && i + 1 < argc)
            return CarryLessons(argument == "--export-lessons", argv[i + 1]);
    }
    // The web engine needs its URL scheme and shared GL contexts before the application,
    // and its processes take the allocator's policy from the environment they start with.
    pw::ReturnLargeBlocksWhenFreedInChildProcesses();
    pw::LetPlayerPagesCollectGarbage(argc, argv);
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The store and the kept catalogue are read on a thread of their own while the
    // application is made, which takes longer (read here when no thread can be had), and
    // taken before anything else sets the environment. The data folder: beside the program
    // when it may write there, else in the user's data folder.
    const pw::Text dataDirectory = pw::ChooseDataDirectory(pw::ExecutableDirectory());
    const pw::Text storeFile = pw::StorePath(), catalogueKey = pw::ReadCatalogueKey();
    auto reading = std::async(std::launch::async | std::launch::deferred,
                              [&] { return pw::ReadStartData(storeFile, dataDirectory, catalogueKey); });
    QApplication app(argc, argv);
    pw::InstallChineseTranslations(app);
    pw::UseChineseWebEngine();
    std::optional<pw::StartData> startData = reading.get();
    pw::OpenWebPagesToScreenReaders();
    QApplication::setApplicationName(QStringLiteral("Pebblewick"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));

    pw::MessageBoxes messageBoxes;
    pw::ProgramSetup setup;
    setup.hosts = pw::ReadHosts();
    setup.dataDirectory = dataDirectory;
    setup.catalogueKey = catalogueKey;
    setup.messages = &messageBoxes;
    setup.openInBrowser = [](const pw::Text& url) { QDesktopServices::openUrl(QUrl(pw::ToQString(url))); };
    setup.parentSettingsFile = pw::ParentSettingsPath();
    setup.storeFile = storeFile;
    setup.startData = std::move(startData);
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

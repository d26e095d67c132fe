#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pw {

bool InstallChineseTranslations(QCoreApplication& application) {
    bool all = true;
    // qtwebengine: the web view's context menu.
    for (const char* catalogue : {"qtbase", "qtwebengine"}) {
        // Owned by the application, which keeps using it for as long as it lives.
        auto* translator = new QTranslator(&application);
        const bool loaded =
            translator->load(QLocale(QLocale::Chinese, QLocale::China), QString::fromLatin1(catalogue),
                             QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        if (!loaded || !QCoreApplication::installTranslator(translator)) {
            delete translator;
            all = false;
        }
    }
    return all;
}

}  // namespace pw

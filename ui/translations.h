#pragma once

class QCoreApplication;

namespace pw {

// Loads Qt's own Simplified Chinese translations (qtbase_zh_CN, from Qt's translations
// folder) into the application, so that standard buttons read 是, 否 and 确定 whatever
// the machine's locale. False when the file is missing or unreadable; the buttons then
// stay in English.
bool InstallChineseTranslations(QCoreApplication& application);

}  // namespace pw

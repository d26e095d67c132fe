#pragma once

class QCoreApplication;

namespace pw {

// Loads Qt's own Simplified Chinese translations (qtbase_zh_CN and qtwebengine_zh_CN, from
// Qt's translations folder) into the application, so that standard buttons read 是, 否 and
// 确定 and the web view's menu is Chinese whatever the machine's locale. False when a file
// is missing or unreadable; its texts then stay in English.
bool InstallChineseTranslations(QCoreApplication& application);

}  // namespace pw

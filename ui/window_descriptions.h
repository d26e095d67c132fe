#pragma once

#include "ui/window_description.h"

namespace pw {

const WindowDescription& MainWindowDescription();
const WindowDescription& PagesWindowDescription();

// The control of that name in the description, or nullptr.
const ControlDescription* FindControl(const WindowDescription& window, const char* name);

// Window and control names that the program's code refers to.
namespace names {
inline constexpr const char* kMainWindow = "MainWindow";
inline constexpr const char* kPagesWindow = "PagesWindow";
inline constexpr const char* kWebView = "超文本浏览框1";  // in both windows
inline constexpr const char* kFlashView = "FlashView";
inline constexpr const char* kStatusLabel = "标签_状态";
inline constexpr const char* kProgressBar = "进度条1";
inline constexpr const char* kLessonMenu = "卷帘式菜单1";
inline constexpr const char* kBackground = "图片框1";
inline constexpr const char* kParentCornerButton = "家长按钮";
inline constexpr const char* kFullScreenButton = "全屏按钮";
inline constexpr const char* kShelfButton = "书架按钮";
inline constexpr const char* kShelf = "书架";
}  // namespace names

}  // namespace pw

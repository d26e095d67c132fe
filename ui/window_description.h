#pragma once

#include <span>

namespace pw {

// Windows are declared as data: the window's settings, its controls in declaration
// order, and the bindings of control events to the program's handlers. The loader
// (window_loader.h) turns a description into widgets.

enum class ControlType {
    PictureBox,     // 图片框: a container painting one picture
    GroupBox,       // 分组框: an etched frame with an optional caption
    Label,          // 标签
    ProgressBar,    // 进度条
    RollUpMenu,     // 卷帘式菜单: the lesson menu
    PictureButton,  // 超级按钮: a push button whose face is a picture
    WebView,        // 超文本浏览框
    FlashView,      // flash控件
};

enum class MousePointer { Default, Hand };

using PlainHandler = void (*)();
using ItemClickedHandler = void (*)(int group, int item);

struct ControlDescription {
    ControlType type;
    const char* name;    // unique within its window
    int left, top, width, height;
    const char* parent;  // nullptr: the window's client area
    bool visible = true;
    MousePointer pointer = MousePointer::Default;
    const char* caption = nullptr;  // label text, button caption
    const char* picture = nullptr;  // resource path of a picture
    PlainHandler clicked = nullptr;  // picture buttons
    ItemClickedHandler itemClicked = nullptr;  // roll-up menu
};

enum class TitleBarButtons { MinimiseAndClose, CloseOnly };

struct WindowDescription {
    const char* name;
    const char* title;
    int outerWidth, outerHeight;  // frame included
    TitleBarButtons buttons;
    std::span<const ControlDescription> controls;
    PlainHandler created = nullptr;  // runs after the controls exist, before the window is shown
};

}  // namespace pw

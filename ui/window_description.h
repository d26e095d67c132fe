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
    CornerButton,   // a small text button that keeps its distance from its parent's bottom right corner
    Shelf,          // the lessons as picture tiles; a tile reports `itemClicked`, a heart `clicked`
};

enum class MousePointer { Default, Hand };

// The events that a description binds to one of the program's handlers.
enum class WindowEvent {
    None,
    MainWindowCreated,
    PagesWindowCreated,
    PageButton1Clicked,
    PageButton2Clicked,
    PageButton3Clicked,
    PageButton4Clicked,
    Button5Clicked,
    Button6Clicked,
    Button7Clicked,
    Button8Clicked,
    LessonMenuItemClicked,  // with (group, item)
    ParentCornerClicked,    // the "家长" button
    FullScreenClicked,      // the "全屏" button
    ShelfClicked,           // the "书架" button, and Esc on the shelf
    FavouriteClicked,       // a heart on the shelf, with (group, item)
};

// Where the bound events go: the program's handlers.
class WindowEventHandler {
public:
    virtual ~WindowEventHandler() = default;
    // `group` and `item` are those of LessonMenuItemClicked; 0 for every other event.
    virtual void HandleWindowEvent(WindowEvent event, int group, int item) = 0;
};

struct ControlDescription {
    ControlType type;
    const char* name;    // unique within its window
    int left, top, width, height;
    const char* parent;  // nullptr: the window's client area
    bool visible = true;
    MousePointer pointer = MousePointer::Default;
    const char* caption = nullptr;  // label text, button caption
    const char* picture = nullptr;  // resource path of a picture
    WindowEvent clicked = WindowEvent::None;      // picture buttons
    WindowEvent itemClicked = WindowEvent::None;  // roll-up menu
    const char* accessibleName = nullptr;  // what a screen reader calls it
};

enum class TitleBarButtons { MinimiseAndClose, CloseOnly };

struct WindowDescription {
    const char* name;
    const char* title;
    int outerWidth, outerHeight;  // frame included
    TitleBarButtons buttons;
    std::span<const ControlDescription> controls;
    WindowEvent created = WindowEvent::None;  // after the controls exist, before the window is shown
};

}  // namespace pw

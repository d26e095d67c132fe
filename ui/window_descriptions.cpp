#include "ui/window_descriptions.h"

#include <string_view>

namespace pw {
namespace {

constexpr const char* kOnWindow = nullptr;
constexpr const char* kOnPicture = names::kBackground;

// `spoken`: what the button does, for a screen reader.
constexpr ControlDescription Button(const char* name, int left, const char* parent, const char* picture,
                                    WindowEvent clicked, const char* spoken, const char* caption = nullptr) {
    return {.type = ControlType::PictureButton, .name = name, .left = left, .top = 3, .width = 70, .height = 60,
            .parent = parent, .pointer = MousePointer::Hand, .caption = caption, .picture = picture,
            .clicked = clicked, .accessibleName = spoken};
}

// Frames only decorate: a screen reader does not see them.
constexpr ControlDescription Frame(const char* name, int left, const char* parent) {
    return {.type = ControlType::GroupBox, .name = name, .left = left, .top = -4, .width = 75, .height = 70,
            .parent = parent};
}

// In declaration order; among siblings an earlier control lies above a later one.
constexpr ControlDescription kMainWindowControls[] = {
    // In the free strip below the content area, at the bottom right.
    {.type = ControlType::CornerButton, .name = names::kParentCornerButton, .left = 642, .top = 580, .width = 50,
     .height = 22, .parent = kOnWindow, .caption = "家长", .clicked = WindowEvent::ParentCornerClicked,
     .accessibleName = "家长设置"},
    {.type = ControlType::CornerButton, .name = names::kFullScreenButton, .left = 588, .top = 580, .width = 50,
     .height = 22, .parent = kOnWindow, .caption = "全屏", .clicked = WindowEvent::FullScreenClicked,
     .accessibleName = "全屏播放课程"},
    {.type = ControlType::CornerButton, .name = names::kShelfButton, .left = 522, .top = 580, .width = 62,
     .height = 22, .parent = kOnWindow, .caption = "书架", .picture = ":/assets/shelf.png",
     .clicked = WindowEvent::ShelfClicked, .accessibleName = "书架"},
    // Over everything else in the content area while it shows.
    {.type = ControlType::Shelf, .name = names::kShelf, .left = 90, .top = 68, .width = 600, .height = 500,
     .parent = kOnPicture, .visible = false, .clicked = WindowEvent::FavouriteClicked,
     .itemClicked = WindowEvent::LessonMenuItemClicked, .accessibleName = "书架"},
    {.type = ControlType::WebView, .name = names::kWebView, .left = 90, .top = 68, .width = 600, .height = 500,
     .parent = kOnPicture, .accessibleName = "网页"},
    {.type = ControlType::ProgressBar, .name = names::kProgressBar, .left = 240, .top = 322, .width = 352, .height = 24,
     .parent = kOnWindow, .accessibleName = "下载进度"},
    {.type = ControlType::Label, .name = names::kStatusLabel, .left = 240, .top = 272, .width = 360, .height = 48,
     .parent = kOnPicture,
     // A screen reader reads the caption itself: no name of its own.
     .caption = "Pebblewick祝您使用愉快！！！\r\n\r\n也祝您的宝宝越来越聪明！！！"},
    {.type = ControlType::FlashView, .name = names::kFlashView, .left = 90, .top = 68, .width = 600, .height = 500,
     .parent = kOnPicture, .accessibleName = "课程动画"},
    Button("超级按钮8", 609, kOnPicture, ":/assets/button8.jpg", WindowEvent::Button8Clicked, "学知识（正在整理，请等待升级）",
           "Pebblewick2.0"),
    Frame("分组框8", 607, kOnPicture),
    Button("超级按钮7", 523, kOnPicture, ":/assets/button7.jpg", WindowEvent::Button7Clicked, "玩游戏（正在整理，请等待升级）"),
    Frame("分组框7", 521, kOnPicture),
    Button("超级按钮6", 435, kOnPicture, ":/assets/button6.jpg", WindowEvent::Button6Clicked, "讲故事（正在整理，请等待升级）"),
    Frame("分组框6", 433, kOnPicture),
    Button("超级按钮5", 348, kOnPicture, ":/assets/button5.jpg", WindowEvent::Button5Clicked, "听儿歌（正在整理，请等待升级）"),
    Frame("分组框5", 346, kOnPicture),
    Button("超级按钮4", 261, kOnPicture, ":/assets/button4.jpg", WindowEvent::PageButton4Clicked, "宝宝魔法厅"),
    Frame("分组框4", 259, kOnPicture),
    Button("超级按钮3", 176, kOnPicture, ":/assets/button3.jpg", WindowEvent::PageButton3Clicked, "宝宝歌唱室"),
    Frame("分组框3", 174, kOnPicture),
    Button("超级按钮2", 92, kOnPicture, ":/assets/button2.jpg", WindowEvent::PageButton2Clicked, "童心宝贝"),
    Frame("分组框2", 90, kOnPicture),
    {.type = ControlType::RollUpMenu, .name = names::kLessonMenu, .left = 2, .top = 67, .width = 85, .height = 500,
     .parent = kOnWindow, .itemClicked = WindowEvent::LessonMenuItemClicked, .accessibleName = "课程菜单"},
    Button("超级按钮1", 8, kOnWindow, ":/assets/button1.jpg", WindowEvent::PageButton1Clicked, "欢乐宝贝"),
    Frame("分组框1", 6, kOnWindow),
    {.type = ControlType::PictureBox, .name = names::kBackground, .left = 0, .top = 0, .width = 730, .height = 700,
     .parent = kOnWindow, .picture = ":/assets/background.jpg"},
};

constexpr WindowDescription kMainWindow{
    .name = names::kMainWindow,
    .title = "Pebblewick2.0",
    .outerWidth = 696,
    .outerHeight = 604,
    .buttons = TitleBarButtons::MinimiseAndClose,
    .controls = kMainWindowControls,
    .created = WindowEvent::MainWindowCreated,
};

constexpr ControlDescription kPagesWindowControls[] = {
    {.type = ControlType::WebView, .name = names::kWebView, .left = 0, .top = 0, .width = 636, .height = 616,
     .parent = kOnWindow, .accessibleName = "网页"},
};

constexpr WindowDescription kPagesWindow{
    .name = names::kPagesWindow,
    .title = "",
    .outerWidth = 644,
    .outerHeight = 650,
    .buttons = TitleBarButtons::CloseOnly,
    .controls = kPagesWindowControls,
    .created = WindowEvent::PagesWindowCreated,
};

}  // namespace

const WindowDescription& MainWindowDescription() { return kMainWindow; }
const WindowDescription& PagesWindowDescription() { return kPagesWindow; }

const ControlDescription* FindControl(const WindowDescription& window, const char* name) {
    for (const ControlDescription& c : window.controls)
        if (std::string_view(c.name) == name) return &c;
    return nullptr;
}

}  // namespace pw

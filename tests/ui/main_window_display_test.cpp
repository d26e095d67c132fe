// The content area's three views on the real main window.
#include <gtest/gtest.h>

#include "host/flash_view.h"
#include "host/web_view.h"
#include "tests/support/gui_test_support.h"
#include "ui/controls.h"
#include "ui/main_window_display.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

class NoHandlers final : public WindowEventHandler {
public:
    void HandleWindowEvent(WindowEvent, int, int) override {}
};

// True when `control` (or a child of it) is what the window shows at the control's centre.
bool OnTop(LoadedWindow& window, QWidget* control) {
    QWidget* shown = window.childAt(control->mapTo(&window, control->rect().center()));
    return shown == control || control->isAncestorOf(shown);
}

TEST(MainWindowDisplayTest, TheViewsShowTheirControlsAndADownloadStaysOverThePages) {
    NoHandlers handlers;
    LoadedWindow window(MainWindowDescription(), handlers);
    MainWindowDisplay display(window);
    window.ShowCentred();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return window.isVisible(); }));
    auto* flash = window.controlAs<FlashView>(names::kFlashView);
    auto* web = window.controlAs<WebView>(names::kWebView);
    auto* label = window.controlAs<StatusLabel>(names::kStatusLabel);
    auto* bar = window.controlAs<StoredPositionBar>(names::kProgressBar);
    ASSERT_TRUE(flash && web && label && bar);

    display.ShowView(ContentView::WebPage);
    display.HideDownloadDisplay();
    EXPECT_TRUE(web->isVisible());
    EXPECT_FALSE(flash->isVisible() || label->isVisible() || bar->isVisible());

    display.ShowView(ContentView::Downloading);
    EXPECT_TRUE(label->isVisible() && bar->isVisible());
    EXPECT_FALSE(flash->isVisible() || web->isVisible());

    // A page button during the download: the page shows, with the label and the bar
    // over it, both of them on top.
    display.ShowView(ContentView::WebPage);
    EXPECT_TRUE(web->isVisible() && label->isVisible() && bar->isVisible());
    EXPECT_FALSE(flash->isVisible());
    EXPECT_TRUE(OnTop(window, label));
    EXPECT_TRUE(OnTop(window, bar));

    // The lesson plays: the label and the bar go.
    display.ShowView(ContentView::Lesson);
    EXPECT_TRUE(flash->isVisible());
    EXPECT_FALSE(web->isVisible() || label->isVisible() || bar->isVisible());
}

}  // namespace
}  // namespace pw

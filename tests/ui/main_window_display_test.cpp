// The content area's three views on the real main window.
#include <gtest/gtest.h>

#include <QWebEnginePage>

#include "host/flash_view.h"
#include "host/web_view.h"
#include "tests/support/fixture_server.h"
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

// The site page gives its renderer back while a lesson or a download shows, and comes
// back at its address, loaded again, when it is shown; the player's page is kept.
TEST(MainWindowDisplayTest, AHiddenSitePageIsDiscardedAndComesBackAtItsAddress) {
    testing::FixtureServer server;
    server.Serve("/page.html", {.body = "<html><head><title>site page</title></head><body>x</body></html>",
                                .contentType = "text/html"});
    const QString address = QString::fromStdString(server.BaseUrl() + "/page.html");
    NoHandlers handlers;
    LoadedWindow window(MainWindowDescription(), handlers);
    MainWindowDisplay display(window);
    window.ShowCentred();
    auto* web = window.controlAs<WebView>(names::kWebView);
    auto* flash = window.controlAs<FlashView>(names::kFlashView);
    ASSERT_TRUE(web && flash);
    display.ShowView(ContentView::WebPage);
    display.SetWebAddress(server.BaseUrl() + "/page.html");
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return web->title() == QStringLiteral("site page") && web->page()->renderProcessPid() > 0; }));
    using State = QWebEnginePage::LifecycleState;

    for (const ContentView hiding : {ContentView::Lesson, ContentView::Downloading}) {
        SCOPED_TRACE(static_cast<int>(hiding));
        display.ShowView(hiding);
        ASSERT_TRUE(testing::ProcessEventsUntil([&] { return web->page()->lifecycleState() == State::Discarded; }));
        EXPECT_EQ(web->url().toString(), address);
        if (hiding == ContentView::Lesson) {
            EXPECT_EQ(flash->page()->lifecycleState(), State::Active);
        }

        display.ShowView(ContentView::WebPage);
        ASSERT_TRUE(testing::ProcessEventsUntil([&] {
            return web->page()->lifecycleState() == State::Active && !web->page()->isLoading() &&
                   web->title() == QStringLiteral("site page") && web->page()->renderProcessPid() > 0;
        }));
        EXPECT_EQ(web->url().toString(), address);
    }

    // A new address while the page is discarded is loaded as soon as it is shown.
    server.Serve("/other.html", {.body = "<html><head><title>other page</title></head></html>",
                                 .contentType = "text/html"});
    display.ShowView(ContentView::Lesson);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return web->page()->lifecycleState() == State::Discarded; }));
    display.SetWebAddress(server.BaseUrl() + "/other.html");
    display.ShowView(ContentView::WebPage);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return web->title() == QStringLiteral("other page"); }));
    EXPECT_EQ(web->url().toString(), QString::fromStdString(server.BaseUrl() + "/other.html"));
}

}  // namespace
}  // namespace pw

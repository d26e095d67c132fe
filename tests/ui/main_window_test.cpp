#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "assets/idle_movie.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "ui/controls.h"
#include "ui/roll_up_menu.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using testing::FixtureServer;
using testing::MessageRecorder;
using testing::ProcessEventsUntil;
using testing::ProgramWindow;
using testing::TempDir;

struct ExpectedControl {
    const char* name;
    const char* type;  // class name
    const char* parent;
    QRect geometry;
};

// Every control of the main window: name, class, parent and geometry.
const ExpectedControl kExpected[] = {
    {"家长按钮", "pw::CornerButton", "MainWindow", {642, 580, 50, 22}},
    {"全屏按钮", "pw::CornerButton", "MainWindow", {588, 580, 50, 22}},
    {"书架按钮", "pw::CornerButton", "MainWindow", {522, 580, 62, 22}},
    {"书架", "pw::Shelf", "图片框1", {90, 68, 600, 500}},
    {"超文本浏览框1", "pw::WebView", "图片框1", {90, 68, 600, 500}},
    {"进度条1", "pw::StoredPositionBar", "MainWindow", {240, 322, 352, 24}},
    {"标签_状态", "pw::StatusLabel", "图片框1", {240, 272, 360, 48}},
    {"FlashView", "pw::FlashView", "图片框1", {90, 68, 600, 500}},
    {"超级按钮8", "pw::PictureButton", "图片框1", {609, 3, 70, 60}},
    {"分组框8", "pw::FrameBox", "图片框1", {607, -4, 75, 70}},
    {"超级按钮7", "pw::PictureButton", "图片框1", {523, 3, 70, 60}},
    {"分组框7", "pw::FrameBox", "图片框1", {521, -4, 75, 70}},
    {"超级按钮6", "pw::PictureButton", "图片框1", {435, 3, 70, 60}},
    {"分组框6", "pw::FrameBox", "图片框1", {433, -4, 75, 70}},
    {"超级按钮5", "pw::PictureButton", "图片框1", {348, 3, 70, 60}},
    {"分组框5", "pw::FrameBox", "图片框1", {346, -4, 75, 70}},
    {"超级按钮4", "pw::PictureButton", "图片框1", {261, 3, 70, 60}},
    {"分组框4", "pw::FrameBox", "图片框1", {259, -4, 75, 70}},
    {"超级按钮3", "pw::PictureButton", "图片框1", {176, 3, 70, 60}},
    {"分组框3", "pw::FrameBox", "图片框1", {174, -4, 75, 70}},
    {"超级按钮2", "pw::PictureButton", "图片框1", {92, 3, 70, 60}},
    {"分组框2", "pw::FrameBox", "图片框1", {90, -4, 75, 70}},
    {"卷帘式菜单1", "pw::RollUpMenu", "MainWindow", {2, 67, 85, 500}},
    {"超级按钮1", "pw::PictureButton", "MainWindow", {8, 3, 70, 60}},
    {"分组框1", "pw::FrameBox", "MainWindow", {6, -4, 75, 70}},
    {"图片框1", "pw::PictureBox", "MainWindow", {0, 0, 730, 700}},
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/test.html", {.body = "<p>////开始<p>最新版=2.0</p>////结束</p>"});
        server_.Serve("/tovel/index.html", {.body = "<html><title>home</title></html>", .contentType = "text/html"});
        app_ = std::make_unique<ProgramWindow>(
            testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_));
        window_ = &app_->window();
        window_->FireCreated();
    }
    void TearDown() override { app_.reset(); }

    template <class T>
    T* Control(const char* name) const {
        return window_->controlAs<T>(name);
    }

    FixtureServer server_;
    TempDir dir_;
    MessageRecorder messages_;
    std::unique_ptr<ProgramWindow> app_;
    LoadedWindow* window_ = nullptr;
};

// The described controls, the parent corner's two buttons and the shelf with its button.
TEST_F(MainWindowTest, LoaderBuildsTheTwentySixControlsAsDescribed) {
    for (const ExpectedControl& e : kExpected) {
        QWidget* w = window_->control(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        EXPECT_STREQ(w->metaObject()->className(), e.type) << e.name;
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromUtf8(e.parent)) << e.name;
        EXPECT_EQ(w->geometry(), e.geometry) << e.name;
    }
    EXPECT_EQ(window_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size() +
                  Control<PictureBox>("图片框1")->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(),
              26);
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Pebblewick2.0"));
    EXPECT_TRUE(window_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window_->windowFlags() & Qt::WindowMaximizeButtonHint);
}

// The loader's stacking, before the created handler runs (the program's views may raise
// the status label above the web view after that).
TEST_F(MainWindowTest, EarlierControlsLieAboveLaterOnes) {
    MessageRecorder messages;
    ProgramWindow app(testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages));
    LoadedWindow& window = app.window();
    QWidget* picture = window.control("图片框1");
    const QObjectList& stack = picture->children();  // bottom first
    auto index = [&](const char* name) { return stack.indexOf(window.control(name)); };
    EXPECT_GT(index("超文本浏览框1"), index("标签_状态"));
    EXPECT_GT(index("标签_状态"), index("FlashView"));
    EXPECT_GT(index("超级按钮8"), index("分组框8"));  // each button above its frame
    EXPECT_GT(index("超级按钮2"), index("分组框2"));
    const QObjectList& top = window.children();
    EXPECT_GT(top.indexOf(window.control("进度条1")), top.indexOf(window.control("图片框1")));
    EXPECT_GT(top.indexOf(window.control("超级按钮1")), top.indexOf(window.control("分组框1")));
}

TEST_F(MainWindowTest, CreatedHandlerShowsTheHomeViewAndWritesTheIdleMovie) {
    EXPECT_TRUE(Control<FlashView>("FlashView")->isHidden());
    EXPECT_FALSE(Control<WebView>("超文本浏览框1")->isHidden());
    EXPECT_TRUE(Control<StatusLabel>("标签_状态")->isHidden());
    EXPECT_TRUE(Control<StoredPositionBar>("进度条1")->isHidden());
    const QString home = QString::fromStdString("http://" + server_.HostPort() + "/tovel/index.html");
    EXPECT_TRUE(ProcessEventsUntil([&] { return Control<WebView>("超文本浏览框1")->url().toString() == home; }))
        << Control<WebView>("超文本浏览框1")->url().toString().toStdString();
    EXPECT_EQ(app_->program().globals().CurrentVersion, "2.0");
    // The update check (on a worker) has read the page, which names this version: no question.
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    int updatePageReads = 0;
    for (const auto& r : server_.Requests()) updatePageReads += r.method == "GET" && r.target == "/tovel/test.html";
    EXPECT_EQ(updatePageReads, 1);

    const auto idle = IdleMovieBytes();
    const std::string expected(idle.begin(), idle.end());
    EXPECT_EQ(testing::ReadWholeFile(dir_.File("3.swf")), expected);
    EXPECT_EQ(expected.size(), 2066u);
    // A second start rewrites the same bytes over whatever is there, once its window shows.
    testing::WriteWholeFile(dir_.File("3.swf"), "garbage");
    window_->FireCreated();
    EXPECT_TRUE(ProcessEventsUntil([&] { return testing::ReadWholeFile(dir_.File("3.swf")) == expected; }));
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(MainWindowTest, UnwritableProgramDirectoryIsNoProblem) {
    // A directory the idle movie cannot be written into (a plain file stands in for it,
    // since root may write into read-only directories).
    testing::WriteWholeFile(dir_.File("not-a-directory"), "x");
    MessageRecorder messages;
    ProgramWindow app(
        testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.File("not-a-directory"), messages));
    app.window().FireCreated();
    ASSERT_TRUE(testing::ProgramSettles(app.program()));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("not-a-directory/3.swf")));
    EXPECT_EQ(testing::ReadWholeFile(dir_.File("not-a-directory")), "x");
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_FALSE(app.Control<WebView>("超文本浏览框1")->isHidden());
    EXPECT_TRUE(app.Control<FlashView>("FlashView")->isHidden());
}

// The window shows, and is drawn, before the web engine starts: the home page's view gets
// its page afterwards. The window stays the one shown while the page comes: made again
// under a new id for the page's view, it flickered and dropped a close request sent to the
// first one.
TEST_F(MainWindowTest, TheShownWindowStaysTheSameWhenTheHomePageComes) {
    MessageRecorder messages;
    ProgramWindow app(testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages));
    auto* web = app.Control<WebView>("超文本浏览框1");
    bool homeLoaded = false;
    QObject::connect(web, &QWebEngineView::loadFinished, [&](bool ok) { homeLoaded = ok; });
    app.Start();
    EXPECT_EQ(web->findChild<QWebEnginePage*>(), nullptr);
    const WId shown = app.window().winId();
    ASSERT_TRUE(ProcessEventsUntil([&] { return homeLoaded; }));
    EXPECT_EQ(web->title(), QStringLiteral("home"));
    EXPECT_EQ(app.window().winId(), shown);
    ASSERT_TRUE(testing::ProgramSettles(app.program()));
}

TEST_F(MainWindowTest, StatusLabelShowsItsCaptionOnLinesWithLiteralAmpersands) {
    auto* label = Control<StatusLabel>("标签_状态");
    EXPECT_EQ(label->text(), QStringLiteral("Pebblewick祝您使用愉快！！！\n\n也祝您的宝宝越来越聪明！！！"));
    EXPECT_TRUE(label->wordWrap());
    label->SetCaption(FromUtf8("A&B"));
    EXPECT_EQ(label->text(), QStringLiteral("A&B"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(MainWindowTest, ProgressBarStoresWhatIsWrittenAndDrawsItClamped) {
    MainWindowDisplay& display = app_->display();
    auto* bar = Control<StoredPositionBar>("进度条1");
    const struct {
        int written, stored, drawn;
    } cases[] = {{52, 52, 52}, {150, 150, 100}, {-5, 0, 0}, {40000, 32767, 100}, {100, 100, 100}};
    for (const auto& c : cases) {
        display.SetProgressPosition(c.written);
        EXPECT_EQ(bar->Position(), c.stored) << c.written;
        EXPECT_EQ(StoredProgressPosition(c.written), c.stored) << c.written;
        EXPECT_EQ(bar->value(), c.drawn) << c.written;
        EXPECT_EQ(DrawnProgressPosition(bar->Position()), c.drawn) << c.written;
    }
}

// The display's writes (the program makes them on the UI thread, from a download's
// events) reach the widgets at once.
TEST_F(MainWindowTest, DisplayWritesReachTheWidgets) {
    MainWindowDisplay& display = app_->display();
    auto* label = Control<StatusLabel>("标签_状态");
    auto* bar = Control<StoredPositionBar>("进度条1");
    display.ShowView(ContentView::Downloading);
    display.SetStatusCaption(FromUtf8("第一行\r\n第二行"));
    display.SetProgressPosition(77);
    EXPECT_FALSE(label->isHidden());
    EXPECT_FALSE(bar->isHidden());
    EXPECT_TRUE(Control<FlashView>("FlashView")->isHidden());
    EXPECT_TRUE(Control<WebView>("超文本浏览框1")->isHidden());
    EXPECT_EQ(label->text(), QStringLiteral("第一行\n第二行"));
    EXPECT_EQ(bar->Position(), 77);
    EXPECT_EQ(bar->value(), 77);
    // The web page with a download's display over it: the label lies above the page.
    display.ShowView(ContentView::WebPage);
    EXPECT_FALSE(label->isHidden());
    EXPECT_FALSE(Control<WebView>("超文本浏览框1")->isHidden());
    const QObjectList& stack = Control<PictureBox>("图片框1")->children();
    EXPECT_GT(stack.indexOf(label), stack.indexOf(Control<WebView>("超文本浏览框1")));
    display.HideDownloadDisplay();
    EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(bar->isHidden());
}

TEST_F(MainWindowTest, ClicksThroughTheWindowSystemReachTheButtons) {
    // The same click as in the modal test below, with no modal window: it gets through.
    window_->ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    QWidget* button5 = window_->control("超级按钮5");
    QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                      button5->mapTo(window_, button5->rect().center()));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !messages_.Texts().empty(); }));
    EXPECT_EQ(ToUtf8(messages_.Texts().front()), "正在整理，请等待升级");
}

TEST_F(MainWindowTest, ButtonsFiveToEightShowTheNoticeAndChangeNothingElse) {
    app_->display().ShowView(ContentView::Lesson);
    for (const char* name : {"超级按钮5", "超级按钮6", "超级按钮7", "超级按钮8"}) Control<PictureButton>(name)->click();
    ASSERT_EQ(messages_.Requests().size(), 4u);
    for (const auto& r : messages_.Requests()) {
        EXPECT_EQ(ToUtf8(r.text), "正在整理，请等待升级");
        EXPECT_EQ(ToUtf8(r.caption), "信息：");
        EXPECT_EQ(r.buttons, MessageButtons::Ok);
    }
    EXPECT_FALSE(Control<FlashView>("FlashView")->isHidden());
    EXPECT_TRUE(Control<WebView>("超文本浏览框1")->isHidden());
}

TEST_F(MainWindowTest, PictureButtonsShowTheirPictureWithAHandPointer) {
    for (int i = 1; i <= 8; ++i) {
        const QString name = QStringLiteral("超级按钮%1").arg(i);
        auto* button = Control<PictureButton>(name.toUtf8().constData());
        EXPECT_EQ(button->picture().size(), QSize(70, 60)) << i;
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor) << i;
        EXPECT_EQ(button->text().isEmpty(), i != 8) << i;
    }
    // The picture starts 3 pixels in: its first column is at x = 3 on the face.
    auto* button = Control<PictureButton>("超级按钮3");
    const QImage face = button->grab().toImage();
    const QImage picture = button->picture().toImage();
    EXPECT_EQ(face.pixelColor(3 + 10, 30), picture.pixelColor(10, 30));
}

TEST_F(MainWindowTest, LessonMenuOpensGroupsOnHeadersAndReportsItemsAfterTheClick) {
    auto* menu = Control<RollUpMenu>("卷帘式菜单1");
    EXPECT_EQ(menu->openGroup(), 0);
    EXPECT_EQ(menu->selectedItem(), QPoint(-1, -1));
    std::vector<std::pair<int, int>> clicks;
    QObject::connect(menu, &RollUpMenu::itemClicked, [&](int g, int i) { clicks.emplace_back(g, i); });

    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->headerRect(3).center());
    EXPECT_EQ(menu->openGroup(), 3);
    QCoreApplication::processEvents();
    EXPECT_TRUE(clicks.empty());  // a header only opens its group

    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->itemRect(0).center());
    EXPECT_EQ(menu->selectedItem(), QPoint(3, 0));
    EXPECT_TRUE(clicks.empty());  // queued: the menu finishes with the click first
    ASSERT_TRUE(ProcessEventsUntil([&] { return !clicks.empty(); }));
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{3, 0}}));
    // The bound handler ran: the guestbook page.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return Control<WebView>("超文本浏览框1")->url().toString().endsWith(QStringLiteral("/tovel/gb/"));
    }));
}

TEST_F(MainWindowTest, WindowIsCentredAtItsOuterSizeAndTakesItsIconOnceShown) {
    window_->ShowCentred();
    ASSERT_TRUE(ProcessEventsUntil([&] { return window_->isVisible(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(window_->windowIcon().isNull());
    EXPECT_EQ(window_->frameGeometry().size(), QSize(696, 604));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window_->frameGeometry().topLeft(),
              QPoint((screen.width() - 696) / 2, (screen.height() - 604) / 2));
}

TEST_F(MainWindowTest, PageButtonOpensAModalPagesWindowOnItsPage) {
    window_->ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    app_->display().ShowView(ContentView::Lesson);
    QString pageUrl;
    QSize pageSize;
    QString title;
    bool mainBlocked = false;
    const QString expectedUrl = QString::fromStdString("http://" + server_.HostPort() + "/tovel/bbgcs.html");
    QTimer::singleShot(0, [&] {
        auto* pages = qobject_cast<LoadedWindow*>(testing::FindTopLevelWindow(names::kPagesWindow));
        ASSERT_NE(pages, nullptr);
        // The address is set at once; the view reports it when the navigation starts.
        auto* view = pages->controlAs<WebView>(names::kWebView);
        ProcessEventsUntil([&] { return view->url().toString() == expectedUrl && pages->isVisible(); });
        pageUrl = view->url().toString();
        pageSize = pages->frameGeometry().size();
        title = pages->windowTitle();
        mainBlocked = QApplication::activeModalWidget() == pages;
        // A click on button 5 through the window system is held back by the modal window.
        QWidget* button5 = window_->control("超级按钮5");
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, {},
                          button5->mapTo(window_, button5->rect().center()));
        QCoreApplication::processEvents();
        pages->close();
    });
    Control<PictureButton>("超级按钮3")->click();  // returns once the pages window is closed

    EXPECT_EQ(pageUrl, expectedUrl);
    EXPECT_EQ(pageSize, QSize(644, 650));
    EXPECT_TRUE(title.isEmpty());
    EXPECT_TRUE(mainBlocked);
    EXPECT_TRUE(messages_.Texts().empty());  // the click on button 5 did not get through
    EXPECT_EQ(testing::FindTopLevelWindow(names::kPagesWindow), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(app_->program().globals().PageIndex, 3);
    EXPECT_EQ(app_->program().globals().CurrentFileName, "3.swf");
    EXPECT_TRUE(Control<FlashView>("FlashView")->isHidden());
    EXPECT_FALSE(Control<WebView>("超文本浏览框1")->isHidden());
}


// A page that cannot be loaded shows the program's offline page under its address, in
// both windows and at start, and the next click loads the real page once the site is back.
TEST(OfflinePageTest, StandsForASitePageThatCannotBeLoaded) {
    const struct {
        const char* name;
        bool refused;  // else the site answers 503
    } cases[] = {{"refused", true}, {"error status", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureServer server;
        server.Serve("/tovel/index.html", {.body = "<title>sorry</title>", .status = 503, .contentType = "text/html"});
        TempDir dir;
        MessageRecorder messages;
        Hosts hosts = testing::AllHostsAt(server.HostPort());
        if (c.refused) hosts.site = "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort());
        ProgramWindow app(testing::TestSetup(hosts, dir.Path(), messages));
        auto* web = app.Control<WebView>(names::kWebView);
        const QUrl home(ToQString(hosts.SiteBaseUrl() + "index.html"));
        app.Start();
        ASSERT_TRUE(ProcessEventsUntil([&] { return web->offlineFor() == home && web->title() == QStringLiteral("没有网络"); }))
            << web->title().toStdString() << " " << web->url().toString().toStdString();
        EXPECT_EQ(web->url(), home);  // the address stays the site's

        if (c.refused) {
            QUrl pageOffline;
            QTimer::singleShot(0, [&] {
                auto* pages = qobject_cast<LoadedWindow*>(testing::FindTopLevelWindow(names::kPagesWindow));
                ASSERT_NE(pages, nullptr);
                auto* view = pages->controlAs<WebView>(names::kWebView);
                ProcessEventsUntil([&] { return view->title() == QStringLiteral("没有网络"); });
                pageOffline = view->offlineFor();
                pages->close();
            });
            app.program().OnPageButtonClicked(1);
            EXPECT_EQ(pageOffline.toString(), ToQString(hosts.SiteBaseUrl() + "hybb.html"));
        } else {
            const auto requests = server.Requests();
            const auto homeRequest = std::find_if(requests.begin(), requests.end(),
                                                  [](const auto& r) { return r.target == "/tovel/index.html"; });
            ASSERT_NE(homeRequest, requests.end());
            EXPECT_EQ(homeRequest->Header("Accept-Language").value_or(""), "zh-CN,zh");
            // The site is back: the guestbook loads for real.
            server.Serve("/tovel/gb/", {.body = "<title>gb</title>", .contentType = "text/html"});
            app.program().OnLessonMenuItemClicked(kGuestbookGroup, kGuestbookItem);
            ASSERT_TRUE(ProcessEventsUntil([&] { return web->title() == QStringLiteral("gb"); })) << web->title().toStdString();
            EXPECT_TRUE(web->offlineFor().isEmpty());
        }
        ASSERT_TRUE(testing::ProgramSettles(app.program()));
    }
}

}  // namespace
}  // namespace pw

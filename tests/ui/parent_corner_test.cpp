// The parent corner in the real main window: keyboard and screen reader, volume, the
// session's end and a rest kept from the last run, full screen, the gate before leaving;
// the shelf there, by keyboard alone, and its snapshots, never taken under the corner.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "app/parent_corner.h"
#include "core/message.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "lessons/lesson_pictures.h"
#include "tests/host/flash_test_support.h"
#include "tests/host/test_movies.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x11_windows.h"
#include "tools/swf/sample_lessons.h"
#include "ui/controls.h"
#include "ui/parent_gate.h"
#include "ui/parent_settings.h"
#include "ui/roll_up_menu.h"
#include "ui/shelf.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::ProcessEventsUntil;

// Records what would be handed to the desktop's handler of a URL scheme.
class DesktopHandler : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { opened.append(url); }
    QList<QUrl> opened;
};

class ParentCornerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/index.html",
                      {.body = "<html><body><a id='out' href='http://127.0.0.2:9/elsewhere.html'>out</a>"
                               "<a id='blank' target='_blank' href='http://127.0.0.2:9/new.html'>new</a>"
                               "<a id='mail' href='mailto:someone@example.org'>mail</a>"
                               "<a id='mailblank' target='_blank' href='mailto:other@example.org'>mail</a>"
                               "</body></html>",
                       .contentType = "text/html"});
        // The first group's first line on the shelf, and a lesson of another group.
        for (auto [group, item] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{0, 2}, std::pair{0, 3}, std::pair{0, 4},
                                   std::pair{0, 5}, std::pair{1, 2}}) {
            const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(group, item);
            server_.Serve(Lookup(group, item)->path, {.body = std::string(movie.begin(), movie.end())});
        }
    }
    void TearDown() override { app_.reset(); }

    // Starts the program with this settings file's contents, and this state file's when given.
    void Start(const std::string& settings = {}, const std::string& state = {}) {
        settingsFile_ = dir_.File("config/pebblewick.conf");
        std::filesystem::create_directories(dir_.File("config"));
        testing::WriteWholeFile(settingsFile_, settings);
        // A state file an earlier version left beside the store: read in at start.
        std::filesystem::create_directories(dir_.File("state"));
        if (!state.empty()) testing::WriteWholeFile(dir_.File("state/state.ini"), state);
        ProgramSetup setup = testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_);
        setup.parentSettingsFile = settingsFile_;
        setup.storeFile = storeFile_.empty() ? dir_.File("state/pebblewick.db") : storeFile_;
        setup.clocks = {[this] { return wall_; }, [this] { return now_; }};
        setup.openInBrowser = [this](const Text& url) { browserOpened_.push_back(url); };
        setup.openFolder = [this](const Text& folder) { foldersOpened_.push_back(folder); };
        setup.snapshotDelay = 1h;  // the shelf's tests say when a snapshot is due
        app_ = std::make_unique<testing::ProgramWindow>(std::move(setup));
        app_->Start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app_->window()));
    }
    template <class T>
    T* Control(const char* name) const {
        return app_->window().controlAs<T>(name);
    }
    RollUpMenu* Menu() const { return Control<RollUpMenu>(names::kLessonMenu); }
    FlashView* Flash() const { return flash_; }
    ParentCorner& Corner() { return app_->program().parentCorner(); }

    void ClickLesson(int group, int item) {
        QTest::mouseClick(Menu(), Qt::LeftButton, {}, Menu()->headerRect(group).center());
        QTest::mouseClick(Menu(), Qt::LeftButton, {}, Menu()->itemRect(item).center());
    }
    // Waits until the lesson plays in the player.
    bool Plays(int group, int item) {
        return ProcessEventsUntil(
            [&] {
                return app_->program().globals().CurrentFileName == Lookup(group, item)->cacheName &&
                       Flash()->isVisible() && State().value(QStringLiteral("loaded")).toBool();
            },
            30s);
    }
    // The player page's state as Ruffle reports it.
    QJsonObject State() {
        QJsonObject state;
        bool answered = false;
        Flash()->QueryState([&](const QString& json) {
            state = QJsonDocument::fromJson(json.toUtf8()).object();
            answered = true;
        });
        ProcessEventsUntil([&] { return answered; });
        return state;
    }
    bool VolumeBecomes(double volume) {
        return ProcessEventsUntil([&] { return qAbs(State().value(QStringLiteral("volume")).toDouble(-1) - volume) < 0.01; });
    }
    // Answers the gate when it comes next: rightly (`pass`), then runs `inSettings` on the
    // settings window behind it and closes that; or with Esc.
    void AnswerGateWhenAsked(bool pass, std::function<void(ParentSettingsDialog&)> inSettings = {}) {
        ++gatesPending_;
        auto* watch = new QTimer(&app_->window());
        QObject::connect(watch, &QTimer::timeout, [this, watch, pass, inSettings] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* gate = qobject_cast<ParentGateDialog*>(modal)) {
                if (!pass) {
                    QTest::keyClick(gate, Qt::Key_Escape);
                } else {
                    for (QChar digit : QString::number(gate->question().Answer()))
                        gate->digitButton(digit.digitValue())->click();
                    gate->okButton()->click();
                }
                if (!pass || !inSettings) {
                    --gatesPending_;
                    watch->deleteLater();
                }
            } else if (auto* settings = qobject_cast<ParentSettingsDialog*>(modal)) {
                if (inSettings) inSettings(*settings);
                settings->accept();
                --gatesPending_;
                watch->deleteLater();
            }
        });
        watch->start(20);
    }
    // Clicks the page's link `id` as a child does, with the mouse: a script's click is no
    // user's gesture, and the engine hands no such link to the desktop.
    void ClickLink(WebView& web, const QString& id) {
        QPoint at;
        bool known = false;
        web.page()->runJavaScript(
            QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                           "return [r.x+r.width/2,r.y+r.height/2];})()")
                .arg(id),
            [&](const QVariant& v) {
                const QVariantList centre = v.toList();
                if (centre.size() == 2) at = QPoint(int(centre[0].toDouble()), int(centre[1].toDouble()));
                known = true;
            });
        ASSERT_TRUE(ProcessEventsUntil([&] { return known; }));
        ASSERT_TRUE(Activate(&app_->window()));
        QWidget* target = web.focusProxy() ? web.focusProxy() : &web;
        QTest::mouseClick(app_->window().windowHandle(), Qt::LeftButton, {}, target->mapTo(&app_->window(), at));
    }
    bool GatesAnswered() {
        return ProcessEventsUntil([&] { return gatesPending_ == 0 && !QApplication::activeModalWidget(); });
    }

    int gatesPending_ = 0;
    testing::FixtureServer server_;
    testing::TempDir dir_;
    testing::MessageRecorder messages_;
    std::string settingsFile_;
    std::string storeFile_;  // empty: in the test's folder
    MonotonicTime now_{1000h};
    WallTime wall_{1'700'000'000'000ms};
    std::vector<Text> browserOpened_;
    std::vector<Text> foldersOpened_;
    std::unique_ptr<testing::ProgramWindow> app_;
    FlashView* flash_ = nullptr;

    void SetFlash() { flash_ = Control<FlashView>(names::kFlashView); }

    // Keys reach shortcuts only in the active window. Other test programs share the display
    // and take the focus when their windows show, so it is asked for again until it comes.
    static bool Activate(QWidget* window) {
        return ProcessEventsUntil(
            [window] {
                if (window->isActiveWindow()) return true;
                window->activateWindow();
                return false;
            },
            std::chrono::seconds(60));
    }
};

TEST_F(ParentCornerTest, KeyboardChoosesALessonPressesThePictureButtonsAndF6ComesBackToTheMenu) {
    Start();
    SetFlash();
    // The menu has the focus from the start.
    ASSERT_TRUE(Activate(&app_->window()));
    EXPECT_EQ(QApplication::focusWidget(), Menu());
    // Down through the first group's 16 lessons to the second header; Enter opens it.
    for (int i = 0; i < 17; ++i) QTest::keyClick(Menu(), Qt::Key_Down);
    QTest::keyClick(Menu(), Qt::Key_Return);
    EXPECT_EQ(Menu()->openGroup(), 1);
    for (int i = 0; i < 3; ++i) QTest::keyClick(Menu(), Qt::Key_Down);
    QTest::keyClick(Menu(), Qt::Key_Return);
    EXPECT_TRUE(Plays(1, 2));

    // Tab goes on to the picture buttons in their order; the arrows move along them and
    // Enter presses one.
    QTest::keyClick(Menu(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QWidget>("超级按钮1"));
    for (int i = 0; i < 4; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    ASSERT_EQ(QApplication::focusWidget(), Control<QWidget>("超级按钮5"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !messages_.Texts().empty(); }));
    EXPECT_EQ(ToUtf8(messages_.Texts().front()), "正在整理，请等待升级");
    // After the buttons Tab goes into the lesson, which keeps keys for its own buttons; F6
    // brings the keyboard back to the menu.
    for (int i = 0; i < 4; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(Flash()->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == Flash());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), Menu());
    // Backwards from the menu: "家长", then "全屏".
    QTest::keyClick(Menu(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QWidget>(names::kParentCornerButton));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QWidget>(names::kFullScreenButton));
}

TEST_F(ParentCornerTest, EveryControlSaysWhatItDoesAndDecorationsAreHidden) {
    Start();
    const auto isChinese = [](const QString& name) {
        return !name.isEmpty() && std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
    };
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&app_->window());
    QAccessibleInterface* background = QAccessible::queryAccessibleInterface(Control<QWidget>(names::kBackground));
    for (const ControlDescription& c : MainWindowDescription().controls) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Control<QWidget>(c.name));
        ASSERT_NE(control, nullptr) << c.name;
        if (c.type == ControlType::GroupBox) {
            // A frame is no child of its container for a screen reader.
            EXPECT_EQ(window->indexOfChild(control), -1) << c.name;
            EXPECT_EQ(background->indexOfChild(control), -1) << c.name;
        } else if (c.type == ControlType::PictureBox) {
            EXPECT_EQ(control->text(QAccessible::Name), QString()) << c.name;
        } else {
            EXPECT_TRUE(isChinese(control->text(QAccessible::Name))) << c.name;
            QAccessibleInterface* parent = c.parent ? background : window;
            EXPECT_NE(parent->indexOfChild(control), -1) << c.name;
        }
    }
    // All but the eight frames.
    EXPECT_EQ(window->childCount() + background->childCount(), static_cast<int>(MainWindowDescription().controls.size()) - 8);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Control<QWidget>("超级按钮3"))->text(QAccessible::Name),
              QStringLiteral("宝宝歌唱室"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Control<QWidget>("超级按钮5"))->text(QAccessible::Name),
              QStringLiteral("听儿歌（正在整理，请等待升级）"));
    // The menu's rows: the four headers and the open group's lessons, by their titles.
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(Menu());
    ASSERT_EQ(menu->childCount(), 4 + 16);
    EXPECT_EQ(menu->child(0)->text(QAccessible::Name), QStringLiteral("儿童故事"));
    EXPECT_EQ(menu->child(0)->role(), QAccessible::PageTab);
    EXPECT_EQ(menu->child(1)->text(QAccessible::Name), QStringLiteral("爱吃糖的老虎"));
    EXPECT_EQ(menu->child(1)->role(), QAccessible::ListItem);
    Menu()->SetItemReady(0, 0, true);  // whole on disk: its mark is said too
    EXPECT_EQ(menu->child(1)->text(QAccessible::Name), QStringLiteral("爱吃糖的老虎，已下载"));
    EXPECT_EQ(menu->indexOfChild(menu->child(16)), 16);
    Menu()->OpenGroup(3);
    ASSERT_EQ(menu->childCount(), 4 + 1);
    EXPECT_EQ(menu->child(4)->text(QAccessible::Name), QStringLiteral("我要留言"));
}

TEST_F(ParentCornerTest, VolumeReachesTheNewPlayerAndTheOneThatPlays) {
    Start("volume=30\n");
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    EXPECT_TRUE(VolumeBecomes(0.3));  // the new player, from its start

    int writtenWhileDragged = -1;
    AnswerGateWhenAsked(true, [&](ParentSettingsDialog& settings) {
        auto* slider = settings.findChild<QSlider*>();
        slider->setSliderDown(true);  // dragged through its steps: none is written
        for (int percent = 31; percent <= 70; ++percent) slider->setSliderPosition(percent);
        writtenWhileDragged = LoadParentSettings(settingsFile_).volumePercent;
        slider->setSliderDown(false);
    });
    Corner().Open();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_EQ(writtenWhileDragged, 30);
    EXPECT_TRUE(VolumeBecomes(0.7));  // the one that plays, once released
    EXPECT_EQ(LoadParentSettings(settingsFile_).volumePercent, 70);
    ClickLesson(1, 2);
    ASSERT_TRUE(Plays(1, 2));
    EXPECT_TRUE(VolumeBecomes(0.7));
}

// The download-all button says what pressing it does now: also once the download has
// ended by itself while the window is open.
TEST_F(ParentCornerTest, DownloadAllButtonTellsWhetherTheDownloadStillRuns) {
    Start();
    QString running, ended;
    AnswerGateWhenAsked(true, [&](ParentSettingsDialog& settings) {
        for (QPushButton* button : settings.findChildren<QPushButton*>()) {
            if (button->text() != QStringLiteral("下载全部课程")) continue;
            button->click();
            running = button->text();
            ProcessEventsUntil([&] { return !app_->program().DownloadAllRunning(); }, 60s);
            ended = button->text();
        }
    });
    Corner().Open();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_EQ(running, QStringLiteral("停止下载全部课程"));
    EXPECT_EQ(ended, QStringLiteral("下载全部课程"));
}

TEST_F(ParentCornerTest, ASettingsFileThatCannotBeWrittenIsReportedInTheSettingsWindow) {
    Start();
    // The file's folder is a plain file now: every save fails.
    std::filesystem::remove_all(dir_.File("config"));
    testing::WriteWholeFile(dir_.File("config"), "x");
    QString shown;
    AnswerGateWhenAsked(true, [&](ParentSettingsDialog& settings) {
        settings.findChild<QSlider*>()->setValue(40);
        for (QLabel* label : settings.findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith(QStringLiteral("设置没有保存"))) shown = label->text();
    });
    Corner().Open();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_EQ(shown, QStringLiteral("设置没有保存：找不到保存它的文件夹。在程序关闭以前，这些设置仍然有效。"));
    EXPECT_EQ(Corner().settings().volumePercent, 40);
}

TEST_F(ParentCornerTest, AStoreOnAFullDiskIsReportedInTheSettingsWindowAndTheLessonPlaysOn) {
    testing::SmallTmpfs disk(512 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    storeFile_ = disk.File("pebblewick.db");
    Start();
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    disk.Fill();
    // The history of use is written every 30 s of use: the next write finds no room.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        now_ += 31s;
        wall_ += 31s;
        return app_->program().store().LastWriteError() != 0;
    }));
    QString shown;
    AnswerGateWhenAsked(true, [&](ParentSettingsDialog& settings) {
        for (QLabel* label : settings.findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith(QStringLiteral("记录"))) shown = label->text();
    });
    Corner().Open();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_EQ(shown, QStringLiteral("记录没有保存：磁盘已满"));
    EXPECT_TRUE(Flash()->isVisible());
    EXPECT_TRUE(ProcessEventsUntil([&] { return State().value(QStringLiteral("playing")).toBool(); }));
}

TEST_F(ParentCornerTest, SessionEndSilencesTheLessonShowsTheRestPictureAndTheMenuWaitsForTheGate) {
    Start("sessionMinutes=1 min\n");  // as a parent may write it
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    ASSERT_TRUE(VolumeBecomes(1.0));
    // A one-minute session is in its last five minutes from the start: the note is read
    // with its minutes.
    QLabel* note = nullptr;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        for (auto* label : app_->window().findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith(QStringLiteral("还有"))) return note = label, true;
        return false;
    }));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(note)->text(QAccessible::Name), QStringLiteral("还有 1 分钟就要休息啦"));

    now_ += 61s;
    wall_ += 61s;
    ASSERT_TRUE(ProcessEventsUntil([&] { return Corner().Resting(); }));
    auto* rest = app_->window().findChild<RestPicture*>(QStringLiteral("休息图片"));
    ASSERT_NE(rest, nullptr);
    EXPECT_TRUE(rest->isVisible());
    EXPECT_EQ(rest->geometry(), QRect(90, 68, 600, 500));
    EXPECT_EQ(app_->window().focusWidget(), rest);  // it takes the focus, and a reader says it
    EXPECT_EQ(QAccessible::queryAccessibleInterface(rest)->role(), QAccessible::AlertMessage);
    EXPECT_FALSE(note->isVisible());
    EXPECT_TRUE(VolumeBecomes(0.0));
    EXPECT_TRUE(ProcessEventsUntil([&] { return !State().value(QStringLiteral("playing")).toBool(true); }));

    // The menu and the buttons do nothing now.
    ClickLesson(1, 2);
    Control<PictureButton>("超级按钮5")->click();
    Control<PictureButton>("超级按钮2")->click();
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    EXPECT_EQ(app_->program().globals().CurrentFileName, Lookup(0, 0)->cacheName);
    EXPECT_EQ(Menu()->selectedItem(), QPoint(0, 0));
    EXPECT_TRUE(messages_.Texts().empty());
    EXPECT_EQ(testing::FindTopLevelWindow(names::kPagesWindow), nullptr);
    // Tab goes round what shows, never into the views under the rest picture.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &app_->window(), Qt::Key_Tab);
        const QWidget* focus = QApplication::focusWidget();
        for (const char* view : {names::kWebView, names::kFlashView}) {
            const auto* under = app_->window().findChild<QWidget*>(QString::fromUtf8(view));
            EXPECT_FALSE(focus && under && (focus == under || under->isAncestorOf(focus))) << view << " after Tab " << i;
        }
    }

    // Through the gate: the lesson goes on, and the menu works again.
    AnswerGateWhenAsked(true, [](ParentSettingsDialog&) {});
    Control<QPushButton>(names::kParentCornerButton)->click();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_FALSE(Corner().Resting());
    EXPECT_FALSE(rest->isVisible());
    EXPECT_TRUE(VolumeBecomes(1.0));
    EXPECT_TRUE(ProcessEventsUntil([&] { return State().value(QStringLiteral("playing")).toBool(); }));
    ClickLesson(1, 2);
    EXPECT_TRUE(Plays(1, 2));
}

TEST_F(ParentCornerTest, ARestFromTheLastRunHoldsAndWhatLeavesWaitsForTheGate) {
    // The last run ended a minute into a rest; an update that is no movie is announced.
    server_.Serve("/new/setup.exe", {.body = "MZ, not a movie", .stallAfter = 0});
    server_.Serve("/tovel/test.html",
                  {.body = Gbk<"<p>////开始</p><p>最新版=2.1</p><p>下载地址=">() + server_.BaseUrl() +
                           Gbk<"/new/setup.exe</p><p>文件命名=setup.exe</p><p>下载方式=下载文件</p>"
                               "<p>更新说明=新课</p><p>更新说明结束</p><p>////结束</p>">(),
                   .contentType = "text/html"});
    Start("sessionMinutes=20\nrestMinutes=30\ngateBeforeLeaving=yes\n",
          FormatCornerRecord({.used = 20min, .resting = true, .rested = 1min}, wall_ - 5min));
    ASSERT_TRUE(Corner().Resting());
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));  // the update page has come
    EXPECT_TRUE(messages_.Texts().empty());  // no question while the child rests

    // A parent passes the gate: the question comes, Yes downloads the file, and its folder
    // opens only through the gate again (refused here).
    AnswerGateWhenAsked(true, [](ParentSettingsDialog&) {});
    Control<QPushButton>(names::kParentCornerButton)->click();
    ASSERT_TRUE(GatesAnswered());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !messages_.Requests().empty(); }));
    EXPECT_EQ(messages_.Requests().front().buttons, MessageButtons::YesNo);
    AnswerGateWhenAsked(false);
    server_.ReleaseStalls();  // the file comes once the next gate is watched for
    ASSERT_TRUE(ProcessEventsUntil([&] { return messages_.Requests().size() == 2; }, 30s));
    ASSERT_TRUE(GatesAnswered());
    EXPECT_TRUE(foldersOpened_.empty());
}

TEST_F(ParentCornerTest, LessonGoesFullScreenAndComesBackHoweverItsWindowCloses) {
    Start();
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    QWidget* home = Flash()->parentWidget();
    const qsizetype place = home->children().indexOf(Flash());
    const QSize windowSize = app_->window().frameGeometry().size();

    const std::function<void(QWidget*)> ways[] = {
        [](QWidget* window) { QTest::keyClick(window, Qt::Key_Escape); },
        [](QWidget* window) { QTest::keyClick(window, Qt::Key_F11); },
        [](QWidget* window) { ASSERT_TRUE(testing::RequestWindowClose(window->winId())); },  // the window manager's close
    };
    for (const auto& close : ways) {
        ASSERT_TRUE(Activate(&app_->window()));
        if (&close == &ways[0])
            QTest::keyClick(&app_->window(), Qt::Key_F11);
        else
            Control<QPushButton>(names::kFullScreenButton)->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Corner().FullScreenWindow() && Flash()->isVisible(); }));
        QWidget* full = Corner().FullScreenWindow();
        EXPECT_EQ(Flash()->window(), full);
        EXPECT_EQ(full->geometry(), app_->window().screen()->geometry());
        ASSERT_TRUE(Activate(full));
        close(full);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !Corner().FullScreenWindow() && !full->isVisible(); }));
        EXPECT_EQ(Flash()->parentWidget(), home);
        EXPECT_EQ(Flash()->geometry(), QRect(90, 68, 600, 500));
        EXPECT_EQ(home->children().indexOf(Flash()), place);  // under the same controls as before
        EXPECT_TRUE(Flash()->isVisible());
        EXPECT_TRUE(ProcessEventsUntil([&] { return State().value(QStringLiteral("playing")).toBool(); }));
    }
    EXPECT_EQ(app_->window().frameGeometry().size(), windowSize);
}

TEST_F(ParentCornerTest, ADoubleClickReachesTheMovieAndLeavesTheWindowAsItWas) {
    // A colouring game as big as the view: the stage's pixels are the view's.
    pw::test::ButtonMovie movie;
    movie.widthPx = 600;
    movie.heightPx = 500;
    movie.swatchColours = {0xE0C020, 0x20C0C0, 0xC020C0, 0x808000};
    const std::vector<std::uint8_t> bytes = pw::test::MakeButtonMovie(movie);
    server_.Serve(Lookup(2, 0)->path, {.body = std::string(bytes.begin(), bytes.end())});
    Start();
    SetFlash();
    ClickLesson(2, 0);
    ASSERT_TRUE(Plays(2, 0));
    const QRect window = app_->window().frameGeometry();
    const auto shows = [&](const pw::test::PixelRect& r, std::uint32_t colour) {
        const QImage shot = Flash()->grab().toImage().copy(r.x, r.y, r.width, r.height);
        return pw::test::PixelsNear(shot, pw::test::Rgb(colour)) > r.width * r.height * 9 / 10;
    };
    ASSERT_TRUE(ProcessEventsUntil([&] { return shows(movie.swatch, movie.swatchColours[0]); }, 30s));

    // Events go to the widget the engine reads input from; moves through the view's window.
    QWidget* target = Flash()->focusProxy() ? Flash()->focusProxy() : Flash();
    const QPoint button(movie.button.x + movie.button.width / 2, movie.button.y + movie.button.height / 2);
    ASSERT_TRUE(Activate(&app_->window()));
    // A move that comes before the player takes input is lost: the pointer moves within the
    // button until it shows that the player has seen it.
    int nudge = 0;
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            QTest::mouseMove(app_->window().windowHandle(),
                             target->mapTo(&app_->window(), button + QPoint(++nudge % 2, 0)));
            return shows(movie.button, movie.overRgb);
        },
        30s));
    // A double click as the display sends it (press, release, press, release), which the
    // toolkit makes a double click.
    QTest::mouseDClick(app_->window().windowHandle(), Qt::LeftButton, {}, target->mapTo(&app_->window(), button));
    // Both presses reached the movie, which coloured twice.
    EXPECT_TRUE(ProcessEventsUntil([&] { return shows(movie.swatch, movie.swatchColours[2]); }, 30s));
    EXPECT_EQ(Corner().FullScreenWindow(), nullptr);
    EXPECT_EQ(Flash()->window(), &app_->window());
    EXPECT_EQ(app_->window().frameGeometry(), window);
}

TEST_F(ParentCornerTest, GateStandsBeforeOtherHostsOtherSchemesAndClosingWhenAParentAsks) {
    Start("gateBeforeLeaving=true\n");
    auto* web = Control<WebView>(names::kWebView);
    const QUrl home(QString::fromStdString("http://" + server_.HostPort() + "/tovel/index.html"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return web->url() == home && !web->page()->isLoading(); }));
    DesktopHandler mail;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &mail, "open");

    // Refused at the gate (Esc): nothing opens, the page stays, the window stays.
    AnswerGateWhenAsked(false);
    web->page()->runJavaScript(QStringLiteral("document.getElementById('out').click()"));
    ASSERT_TRUE(GatesAnswered());
    AnswerGateWhenAsked(false);
    QTimer::singleShot(0, &app_->window(), [this] { app_->window().close(); });
    ASSERT_TRUE(GatesAnswered());
    EXPECT_TRUE(app_->window().isVisible());
    EXPECT_TRUE(browserOpened_.empty());

    // Passed: the link opens in the desktop's browser, never in the program; a new
    // window's link likewise.
    AnswerGateWhenAsked(true);
    web->page()->runJavaScript(QStringLiteral("document.getElementById('out').click()"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return browserOpened_.size() == 1; }));
    EXPECT_EQ(browserOpened_[0], "http://127.0.0.2:9/elsewhere.html");
    AnswerGateWhenAsked(true);
    web->page()->runJavaScript(QStringLiteral("document.getElementById('blank').click()"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return browserOpened_.size() == 2; }));
    EXPECT_EQ(browserOpened_[1], "http://127.0.0.2:9/new.html");
    EXPECT_EQ(web->url(), home);
    for (const auto& r : server_.Requests()) EXPECT_EQ(r.target.find("elsewhere"), std::string::npos);

    // A mail link, in the page or a new window, is never handed to the desktop: no gate
    // asks, nothing opens. The gate for the link clicked after them shows that the engine
    // has dealt with both.
    ClickLink(*web, QStringLiteral("mail"));
    ClickLink(*web, QStringLiteral("mailblank"));
    AnswerGateWhenAsked(false);
    ClickLink(*web, QStringLiteral("out"));
    ASSERT_TRUE(GatesAnswered());
    EXPECT_TRUE(mail.opened.isEmpty());
    EXPECT_EQ(browserOpened_.size(), 2u);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

    // Closing, through the gate.
    AnswerGateWhenAsked(true);
    QTimer::singleShot(0, &app_->window(), [this] { app_->window().close(); });
    ASSERT_TRUE(GatesAnswered());
    EXPECT_FALSE(app_->window().isVisible());
}

class ShelfProgramTest : public ParentCornerTest {
protected:
    Shelf& TheShelf() const { return *Control<Shelf>(names::kShelf); }
    // Runs `inside` while the next modal window of the program is open, then closes it
    // unless `inside` has.
    void WhileModal(std::function<void()> inside) {
        QTimer::singleShot(0, [inside] {
            ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; });
            inside();
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
    }
    std::string Snapshot() const { return SnapshotPath(dir_.Path(), Lookup(0, 0)->cacheName); }
    // The snapshot's time has come; true when the program has written one since `before`.
    bool SnapshotTaken(const std::optional<std::string>& before) {
        app_->program().OnSnapshotDue();
        EXPECT_TRUE(testing::ProgramSettles(app_->program()));
        return ReadSmallFile(Snapshot(), 1 << 20) != before;
    }
};

TEST_F(ShelfProgramTest, TheKeyboardAloneOpensTheShelfMovesAndPlaysAndEscLeavesIt) {
    Start();
    SetFlash();
    ASSERT_TRUE(Activate(&app_->window()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    // Backwards from the menu: "家长", "全屏", "书架".
    for (int i = 0; i < 3; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), Control<QWidget>(names::kShelfButton));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(TheShelf().isVisible());
    const QList<ShelfTileButton*> tiles = TheShelf().Tiles();
    EXPECT_EQ(QApplication::focusWidget(), tiles.front());
    // A screen reader: a tile is a button, its row a group named by its heading.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(tiles.front())->role(), QAccessible::Button);
    QAccessibleInterface* rowReader = QAccessible::queryAccessibleInterface(tiles.front()->parentWidget());
    EXPECT_EQ(rowReader->role(), QAccessible::Grouping);
    EXPECT_EQ(rowReader->text(QAccessible::Name), ToQString(BuiltInCatalogue().groups[0]));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), tiles[1]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    auto* below = qobject_cast<ShelfTileButton*>(QApplication::focusWidget());
    ASSERT_NE(below, nullptr);
    EXPECT_EQ(below->x(), tiles[1]->x());
    EXPECT_GT(below->y(), tiles[1]->y());
    const int item = below->tile().item;
    // Tab reaches the tile's heart, a toggle named by the title; Space marks a favourite,
    // which then has a row of its own.
    QTest::keyClick(below, Qt::Key_Tab);
    auto* heart = qobject_cast<ShelfHeart*>(QApplication::focusWidget());
    ASSERT_NE(heart, nullptr);
    QAccessibleInterface* heartReader = QAccessible::queryAccessibleInterface(heart);
    EXPECT_EQ(heartReader->text(QAccessible::Name), QStringLiteral("最喜欢") + ToQString(Lookup(0, item)->title));
    EXPECT_TRUE(heartReader->state().checkable);
    QTest::keyClick(heart, Qt::Key_Space);
    EXPECT_TRUE(heart->isChecked());
    ASSERT_EQ(TheShelf().rows().front().heading, Gbk<"最喜欢">());
    EXPECT_EQ(TheShelf().rows().front().tiles.front().item, item);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), below);
    QTest::keyClick(below, Qt::Key_Return);
    ASSERT_TRUE(Plays(0, item));
    EXPECT_FALSE(TheShelf().isVisible());

    // Open again over the lesson, and Esc: back to the lesson. Its tile, first now, is named
    // as its menu row is, with the mark of a lesson on this computer.
    QTest::keyClick(Control<QWidget>(names::kShelfButton), Qt::Key_Space);
    ASSERT_TRUE(TheShelf().isVisible());
    EXPECT_FALSE(Flash()->isVisible());
    const auto playedTileName = [&] {
        return QAccessible::queryAccessibleInterface(TheShelf().Tiles().front())->text(QAccessible::Name);
    };
    ASSERT_TRUE(ProcessEventsUntil([&] { return playedTileName().endsWith(QStringLiteral("，已下载")); }));
    EXPECT_EQ(playedTileName(), Menu()->ItemAccessibleName(0, item));
    // F6 still goes to the menu from a tile.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), Menu());
    QTest::keyClick(Control<QWidget>(names::kShelfButton), Qt::Key_Space);  // "书架" again leaves it
    EXPECT_FALSE(TheShelf().isVisible());
    QTest::keyClick(Control<QWidget>(names::kShelfButton), Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(TheShelf().isVisible());
    EXPECT_TRUE(Flash()->isVisible());
}

TEST_F(ShelfProgramTest, NoSnapshotUnderTheGateTheRestOrThePagesWindowAndANewOneWhenTheFileChanges) {
    Start("sessionMinutes=1\n");
    SetFlash();
    Program& program = app_->program();
    program.OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    const struct {
        const char* name;
        std::function<void()> cover;  // with the snapshot's time coming under it
    } rows[] = {
        {"the gate",
         [&] {
             WhileModal([&] { EXPECT_FALSE(SnapshotTaken(std::nullopt)); });
             Corner().Open();
         }},
        {"the rest picture",
         [&] {
             now_ += 61s;
             wall_ += 61s;
             Corner().CheckSession();
             ASSERT_TRUE(Corner().Resting());
             EXPECT_FALSE(SnapshotTaken(std::nullopt));
             // The shelf and its button do nothing while the child rests, as the menu does.
             EXPECT_FALSE(TheShelf().isEnabled());
             EXPECT_FALSE(Control<QWidget>(names::kShelfButton)->isEnabled());
             AnswerGateWhenAsked(true);
             Corner().PassGate();
             ASSERT_TRUE(GatesAnswered());
             ASSERT_FALSE(Corner().Resting());
         }},
        {"the pages window",
         [&] {
             WhileModal([&] { EXPECT_FALSE(SnapshotTaken(std::nullopt)); });
             Control<QAbstractButton>("超级按钮2")->click();
             program.OnLessonMenuItemClicked(0, 0);
             ASSERT_TRUE(Plays(0, 0));
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.cover();
        EXPECT_FALSE(std::filesystem::exists(Snapshot()));
    }

    // Uncovered: taken, at most 320 x 240.
    ASSERT_TRUE(SnapshotTaken(std::nullopt));
    QImageReader reader(QString::fromStdString(Snapshot()));
    EXPECT_LE(reader.size().width(), 320);
    EXPECT_LE(reader.size().height(), 240);
    EXPECT_FALSE(reader.read().isNull());
    // The same file played again: not taken again. Its file replaced: taken again.
    const auto first = ReadSmallFile(Snapshot(), 1 << 20);
    program.OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(testing::ProgramSettles(program));
    EXPECT_FALSE(SnapshotTaken(first));
    const std::string cache = dir_.File(Lookup(0, 0)->cacheName);
    const auto movie = ReadSmallFile(cache, 1 << 24);
    std::filesystem::remove(cache);
    testing::WriteWholeFile(cache, *movie);
    program.OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(testing::ProgramSettles(program));
    EXPECT_TRUE(SnapshotTaken(first));
}

}  // namespace
}  // namespace pw

#include "parent_corner_test.moc"

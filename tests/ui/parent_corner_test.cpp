// The parent corner in the real main window: keyboard and screen reader, volume, the
// session's end, full screen, the gate before leaving.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "app/parent_corner.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "tools/swf/sample_lessons.h"
#include "ui/controls.h"
#include "ui/parent_gate.h"
#include "ui/parent_settings.h"
#include "ui/roll_up_menu.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::ProcessEventsUntil;

class ParentCornerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/index.html",
                      {.body = "<html><body><a id='out' href='http://127.0.0.2:9/elsewhere.html'>out</a>"
                               "<a id='blank' target='_blank' href='http://127.0.0.2:9/new.html'>new</a></body></html>",
                       .contentType = "text/html"});
        for (auto [group, item] : {std::pair{0, 0}, std::pair{1, 2}}) {
            const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(group, item);
            server_.Serve(Lookup(group, item)->path, {.body = std::string(movie.begin(), movie.end())});
        }
    }
    void TearDown() override { app_.reset(); }

    // Starts the program with this settings file's contents.
    void Start(const std::string& settings = {}) {
        settingsFile_ = dir_.File("config/pebblewick.conf");
        std::filesystem::create_directories(dir_.File("config"));
        testing::WriteWholeFile(settingsFile_, settings);
        ProgramSetup setup = testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_);
        setup.parentSettingsFile = QString::fromStdString(settingsFile_);
        setup.clock = [this] { return now_; };
        setup.openInBrowser = [this](const Text& url) { browserOpened_.push_back(url); };
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
    bool GatesAnswered() {
        return ProcessEventsUntil([&] { return gatesPending_ == 0 && !QApplication::activeModalWidget(); });
    }

    int gatesPending_ = 0;
    testing::FixtureServer server_;
    testing::TempDir dir_;
    testing::MessageRecorder messages_;
    std::string settingsFile_;
    MonotonicTime now_{1000h};
    std::vector<Text> browserOpened_;
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

TEST_F(ParentCornerTest, KeyboardChoosesALessonAndPressesThePictureButtons) {
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
    // Tab goes round the menu, the buttons and "家长", never into the page.
    for (int i = 0; i < 4; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QWidget>(names::kParentCornerButton));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Menu());
}

TEST_F(ParentCornerTest, EveryControlHasAChineseAccessibleName) {
    Start();
    const auto isChinese = [](const QString& name) {
        return !name.isEmpty() && std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
    };
    for (const ControlDescription& c : MainWindowDescription().controls) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(Control<QWidget>(c.name));
        ASSERT_NE(control, nullptr) << c.name;
        EXPECT_TRUE(isChinese(control->text(QAccessible::Name))) << c.name;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Control<QWidget>("超级按钮3"))->text(QAccessible::Name),
              QStringLiteral("宝宝歌唱室"));
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

    AnswerGateWhenAsked(true, [](ParentSettingsDialog& settings) { settings.findChild<QSlider*>()->setValue(70); });
    Corner().Open();
    ASSERT_TRUE(GatesAnswered());
    EXPECT_TRUE(VolumeBecomes(0.7));  // the one that plays
    EXPECT_EQ(LoadParentSettings(QString::fromStdString(settingsFile_)).volumePercent, 70);
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

TEST_F(ParentCornerTest, SessionEndSilencesTheLessonShowsTheRestPictureAndTheMenuWaitsForTheGate) {
    Start("sessionMinutes=1\n");
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    ASSERT_TRUE(VolumeBecomes(1.0));
    auto* note = app_->window().findChild<QLabel*>();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        for (auto* label : app_->window().findChildren<QLabel*>())
            if (label->accessibleName() == QStringLiteral("休息提醒") && label->isVisible()) return note = label, true;
        return false;
    }));  // a one-minute session is in its last five minutes from the start

    now_ += 61s;
    ASSERT_TRUE(ProcessEventsUntil([&] { return Corner().Resting(); }));
    auto* rest = app_->window().findChild<PictureBox*>(QStringLiteral("休息图片"));
    ASSERT_NE(rest, nullptr);
    EXPECT_TRUE(rest->isVisible());
    EXPECT_EQ(rest->geometry(), QRect(90, 68, 600, 500));
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

TEST_F(ParentCornerTest, LessonGoesFullScreenAndComesBackWhereItWas) {
    Start();
    SetFlash();
    ClickLesson(0, 0);
    ASSERT_TRUE(Plays(0, 0));
    QWidget* home = Flash()->parentWidget();
    const QObjectList& stack = home->children();
    const qsizetype place = stack.indexOf(Flash());

    ASSERT_TRUE(Activate(&app_->window()));
    QTest::keyClick(&app_->window(), Qt::Key_F11);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Flash()->isWindow() && Flash()->isVisible(); }));
    EXPECT_EQ(Flash()->geometry(), app_->window().screen()->geometry());
    ASSERT_TRUE(Activate(Flash()));
    QTest::keyClick(Flash(), Qt::Key_Escape);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Flash()->isWindow(); }));
    EXPECT_EQ(Flash()->parentWidget(), home);
    EXPECT_EQ(Flash()->geometry(), QRect(90, 68, 600, 500));
    EXPECT_EQ(home->children().indexOf(Flash()), place);  // under the same controls as before
    EXPECT_TRUE(Flash()->isVisible());

    // A double click reaches the web engine's widget inside the view.
    ASSERT_NE(Flash()->focusProxy(), nullptr);
    QTest::mouseDClick(Flash()->focusProxy(), Qt::LeftButton);
    ASSERT_TRUE(ProcessEventsUntil([&] { return Flash()->isWindow(); }));
    ASSERT_TRUE(Activate(Flash()));
    QTest::keyClick(Flash(), Qt::Key_F11);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Flash()->isWindow(); }));
    EXPECT_TRUE(State().value(QStringLiteral("loaded")).toBool());
}

TEST_F(ParentCornerTest, GateStandsBeforeOtherHostsAndClosingWhenAParentAsks) {
    Start("gateBeforeLeaving=true\n");
    auto* web = Control<WebView>(names::kWebView);
    const QUrl home(QString::fromStdString("http://" + server_.HostPort() + "/tovel/index.html"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return web->url() == home && !web->page()->isLoading(); }));

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

    // Closing, through the gate.
    AnswerGateWhenAsked(true);
    QTimer::singleShot(0, &app_->window(), [this] { app_->window().close(); });
    ASSERT_TRUE(GatesAnswered());
    EXPECT_FALSE(app_->window().isVisible());
}

}  // namespace
}  // namespace pw

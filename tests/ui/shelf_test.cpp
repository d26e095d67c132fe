// The shelf in the real main window: a tile chooses its lesson as the menu's row does,
// the keyboard alone opens it, moves and plays; a snapshot of the lesson is never taken
// under what covers it, and taken again when the lesson's file changes.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QImageReader>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "app/parent_corner.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "lessons/lesson_pictures.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "tools/swf/sample_lessons.h"
#include "ui/parent_gate.h"
#include "ui/roll_up_menu.h"
#include "ui/shelf.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::ProcessEventsUntil;

struct RecordedEvent {
    WindowEvent event;
    int group, item;
    bool operator==(const RecordedEvent&) const = default;
};

class EventRecorder final : public WindowEventHandler {
public:
    void HandleWindowEvent(WindowEvent event, int group, int item) override { events.push_back({event, group, item}); }
    std::vector<RecordedEvent> events;
};

ShelfTileButton* TileOf(Shelf& shelf, int group, int item) {
    for (ShelfTileButton* tile : shelf.Tiles())
        if (tile->tile().group == group && tile->tile().item == item) return tile;
    return nullptr;
}

// Keys reach shortcuts and the focus only in the active window; another test program's
// window may take it, so it is asked for until it comes.
bool Activate(QWidget* window) {
    return ProcessEventsUntil(
        [window] {
            if (window->isActiveWindow()) return true;
            window->activateWindow();
            return false;
        },
        60s);
}

TEST(ShelfWindow, ATileAndItsMenuRowReportTheSameChoiceAndAreNamedAlike) {
    EventRecorder recorder;
    LoadedWindow window(MainWindowDescription(), recorder);
    auto* shelf = window.controlAs<Shelf>(names::kShelf);
    auto* menu = window.controlAs<RollUpMenu>(names::kLessonMenu);
    ASSERT_TRUE(shelf && menu);
    std::vector<ShelfRow> rows = ShelfRows(BuiltInCatalogue(), {}, {});
    rows[1].tiles[2].ready = true;
    shelf->SetRows(rows);
    shelf->show();
    window.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    ShelfTileButton* tile = TileOf(*shelf, 1, 2);
    ASSERT_NE(tile, nullptr);
    shelf->ensureWidgetVisible(tile);
    QTest::mouseClick(tile, Qt::LeftButton);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->headerRect(1).center());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->itemRect(2).center());
    const RecordedEvent chosen{WindowEvent::LessonMenuItemClicked, 1, 2};
    ASSERT_TRUE(ProcessEventsUntil([&] { return recorder.events.size() == 2; }));
    EXPECT_EQ(recorder.events, (std::vector<RecordedEvent>{chosen, chosen}));

    // A screen reader: the tile is a button named as the menu's row is, the heart a toggle
    // named by the title, the row a group named by its heading.
    menu->SetItemReady(1, 2, true);
    QAccessibleInterface* tileReader = QAccessible::queryAccessibleInterface(tile);
    EXPECT_EQ(tileReader->role(), QAccessible::Button);
    EXPECT_EQ(tileReader->text(QAccessible::Name), menu->ItemAccessibleName(1, 2));
    EXPECT_TRUE(tileReader->text(QAccessible::Name).endsWith(QStringLiteral("，已下载")));
    ShelfHeart* heart = shelf->Hearts()[shelf->Tiles().indexOf(tile)];
    QAccessibleInterface* heartReader = QAccessible::queryAccessibleInterface(heart);
    EXPECT_EQ(heartReader->text(QAccessible::Name), QStringLiteral("最喜欢") + ToQString(Lookup(1, 2)->title));
    EXPECT_TRUE(heartReader->state().checkable);
    QAccessibleInterface* rowReader = QAccessible::queryAccessibleInterface(tile->parentWidget());
    EXPECT_EQ(rowReader->role(), QAccessible::Grouping);
    EXPECT_EQ(rowReader->text(QAccessible::Name), ToQString(BuiltInCatalogue().groups[1]));
    QTest::mouseClick(heart, Qt::LeftButton);
    EXPECT_EQ(recorder.events.back(), (RecordedEvent{WindowEvent::FavouriteClicked, 1, 2}));
}

class ShelfProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/index.html", {.body = "<html><body>home</body></html>", .contentType = "text/html"});
        for (int item = 0; item < 6; ++item) {
            const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(0, item);
            server_.Serve(Lookup(0, item)->path, {.body = std::string(movie.begin(), movie.end())});
        }
    }
    void TearDown() override { app_.reset(); }

    void Start(const std::string& settings = {}) {
        const std::string settingsFile = dir_.File("pebblewick.conf");
        testing::WriteWholeFile(settingsFile, settings);
        ProgramSetup setup = testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_);
        setup.parentSettingsFile = settingsFile;
        setup.clocks = {[this] { return wall_; }, [this] { return now_; }};
        setup.snapshotDelay = 1h;  // the tests say when the time has come
        app_ = std::make_unique<testing::ProgramWindow>(std::move(setup));
        app_->Start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app_->window()));
    }
    Program& program() { return app_->program(); }
    Shelf& TheShelf() { return *app_->Control<Shelf>(names::kShelf); }
    bool Plays(int item) {
        return ProcessEventsUntil(
            [&] {
                return program().globals().CurrentFileName == Lookup(0, item)->cacheName &&
                       app_->Control<FlashView>(names::kFlashView)->isVisible();
            },
            30s);
    }
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
        program().OnSnapshotDue();
        EXPECT_TRUE(testing::ProgramSettles(program()));
        return ReadSmallFile(Snapshot(), 1 << 20) != before;
    }

    testing::FixtureServer server_;
    testing::TempDir dir_;
    testing::MessageRecorder messages_;
    MonotonicTime now_{1000h};
    WallTime wall_{1'700'000'000'000ms};
    std::unique_ptr<testing::ProgramWindow> app_;
};

TEST_F(ShelfProgramTest, TheKeyboardAloneOpensTheShelfMovesAndPlaysAndEscLeavesIt) {
    Start();
    ASSERT_TRUE(Activate(&app_->window()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    // Backwards from the menu: "家长", "全屏", "书架".
    for (int i = 0; i < 3; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), app_->Control<QWidget>(names::kShelfButton));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(TheShelf().isVisible());
    const QList<ShelfTileButton*> tiles = TheShelf().Tiles();
    EXPECT_EQ(QApplication::focusWidget(), tiles.front());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), tiles[1]);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    auto* below = qobject_cast<ShelfTileButton*>(QApplication::focusWidget());
    ASSERT_NE(below, nullptr);
    EXPECT_EQ(below->x(), tiles[1]->x());
    EXPECT_GT(below->y(), tiles[1]->y());
    const int item = below->tile().item;
    // Tab reaches the tile's heart; Space marks a favourite, which then has a row of its own.
    QTest::keyClick(below, Qt::Key_Tab);
    auto* heart = qobject_cast<ShelfHeart*>(QApplication::focusWidget());
    ASSERT_NE(heart, nullptr);
    QTest::keyClick(heart, Qt::Key_Space);
    EXPECT_TRUE(heart->isChecked());
    ASSERT_EQ(TheShelf().rows().front().heading, Gbk<"最喜欢">());
    EXPECT_EQ(TheShelf().rows().front().tiles.front().item, item);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), below);
    QTest::keyClick(below, Qt::Key_Return);
    ASSERT_TRUE(Plays(item));
    EXPECT_FALSE(TheShelf().isVisible());

    // Open again over the lesson, and Esc: back to the lesson.
    QTest::keyClick(app_->Control<QWidget>(names::kShelfButton), Qt::Key_Space);
    ASSERT_TRUE(TheShelf().isVisible());
    EXPECT_FALSE(app_->Control<FlashView>(names::kFlashView)->isVisible());
    // F6 still goes to the menu from a tile.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), app_->Control<QWidget>(names::kLessonMenu));
    QTest::keyClick(app_->Control<QWidget>(names::kShelfButton), Qt::Key_Space);  // "书架" again leaves it
    EXPECT_FALSE(TheShelf().isVisible());
    QTest::keyClick(app_->Control<QWidget>(names::kShelfButton), Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(TheShelf().isVisible());
    EXPECT_TRUE(app_->Control<FlashView>(names::kFlashView)->isVisible());
}

TEST_F(ShelfProgramTest, NoSnapshotUnderTheGateTheRestOrThePagesWindowAndANewOneWhenTheFileChanges) {
    Start("sessionMinutes=1\n");
    program().OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(Plays(0));
    const struct {
        const char* name;
        std::function<void()> cover;  // with the snapshot's time coming under it
    } rows[] = {
        {"the gate",
         [&] {
             WhileModal([&] { EXPECT_FALSE(SnapshotTaken(std::nullopt)); });
             program().parentCorner().Open();
         }},
        {"the rest picture",
         [&] {
             now_ += 61s;
             wall_ += 61s;
             program().parentCorner().CheckSession();
             ASSERT_TRUE(program().parentCorner().Resting());
             EXPECT_FALSE(SnapshotTaken(std::nullopt));
             // The shelf and its button do nothing while the child rests, as the menu does.
             EXPECT_FALSE(TheShelf().isEnabled());
             EXPECT_FALSE(app_->Control<QWidget>(names::kShelfButton)->isEnabled());
             WhileModal([] {
                 auto* gate = qobject_cast<ParentGateDialog*>(QApplication::activeModalWidget());
                 for (QChar digit : QString::number(gate->question().Answer())) gate->digitButton(digit.digitValue())->click();
                 gate->okButton()->click();
             });
             program().parentCorner().PassGate();
             ASSERT_FALSE(program().parentCorner().Resting());
         }},
        {"the pages window",
         [&] {
             WhileModal([&] { EXPECT_FALSE(SnapshotTaken(std::nullopt)); });
             app_->Control<QAbstractButton>("超级按钮2")->click();
             program().OnLessonMenuItemClicked(0, 0);
             ASSERT_TRUE(Plays(0));
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
    program().OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(testing::ProgramSettles(program()));
    EXPECT_FALSE(SnapshotTaken(first));
    const std::string cache = dir_.File(Lookup(0, 0)->cacheName);
    const auto movie = ReadSmallFile(cache, 1 << 24);
    std::filesystem::remove(cache);
    testing::WriteWholeFile(cache, *movie);
    program().OnLessonMenuItemClicked(0, 0);
    ASSERT_TRUE(testing::ProgramSettles(program()));
    EXPECT_TRUE(SnapshotTaken(first));
}

}  // namespace
}  // namespace pw

// Many lesson choices in the real menu at random moments while slow downloads run, with
// page buttons and the guestbook in between: the display ends on the last choice and no
// cache file is ever wrong.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <mutex>
#include <random>

#include "core/files.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "lessons/download_worker.h"
#include "tests/hardening/hardening_support.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "tools/swf/sample_lessons.h"
#include "ui/controls.h"
#include "ui/roll_up_menu.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::ProcessEventsUntil;

// Passes every write on to the window's display and remembers the movie last handed to
// the player (the player itself does not tell). UI thread only, like the display.
class MovieRecordingDisplay final : public Display {
public:
    explicit MovieRecordingDisplay(Display& inner) : inner_(inner) {}

    void ShowView(ContentView view) override { inner_.ShowView(view); }
    void HideDownloadDisplay() override { inner_.HideDownloadDisplay(); }
    void SetStatusCaption(const Text& t) override { inner_.SetStatusCaption(t); }
    void SetProgressPosition(std::int32_t p) override { inner_.SetProgressPosition(p); }
    void SetFlashMovie(const Text& path) override {
        movie_ = path;
        inner_.SetFlashMovie(path);
    }
    void PlayFlash() override { inner_.PlayFlash(); }
    void SetWebAddress(const Text& url) override { inner_.SetWebAddress(url); }
    void SetLessonReady(int group, int item, bool ready) override { inner_.SetLessonReady(group, item, ready); }
    void SetUpdateFigures(const Text& line) override { inner_.SetUpdateFigures(line); }

    const Text& Movie() const { return movie_; }

private:
    Display& inner_;
    Text movie_;
};

class StressTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/index.html", {.body = "<html><title>home</title></html>", .contentType = "text/html"});
        server_.Serve("/tovel/gb/", {.body = "<html><title>gb</title></html>", .contentType = "text/html"});
        for (const char* page : {"/tovel/hybb.html", "/tovel/txbb.html", "/tovel/bbgcs.html", "/tovel/mft.html"})
            server_.Serve(page, {.body = "<html><title>page</title></html>", .contentType = "text/html"});
        app_ = std::make_unique<testing::ProgramWindow>(
            testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_));
        recorder_ = std::make_unique<MovieRecordingDisplay>(app_->display());
        app_->program().AttachDisplay(*recorder_);
        app_->Start();
        window_ = &app_->window();
        menu_ = window_->controlAs<RollUpMenu>(names::kLessonMenu);
    }
    void TearDown() override { app_.reset(); }

    // Clicks (group, item) in the menu as the user does: its header, then the item.
    void ClickMenu(int group, int item) {
        QTest::mouseClick(menu_, Qt::LeftButton, {}, menu_->headerRect(group).center());
        QTest::mouseClick(menu_, Qt::LeftButton, {}, menu_->itemRect(item).center());
        ASSERT_EQ(menu_->selectedItem(), QPoint(group, item));
    }

    // A page button; the modal pages window it opens is closed after `closeAfter`.
    void ClickPageButton(int page, int closeAfter) {
        QTimer::singleShot(closeAfter, [] {
            if (QWidget* pages = testing::FindTopLevelWindow(names::kPagesWindow)) pages->close();
        });
        const QString name = QStringLiteral("超级按钮%1").arg(page);
        QTest::mouseClick(window_->control(name.toUtf8().constData()), Qt::LeftButton);
        ASSERT_EQ(testing::FindTopLevelWindow(names::kPagesWindow), nullptr);
    }

    struct Lesson {
        int group, item;
        std::string body, cacheFile;
    };

    // Serves every lesson whose menu item is on screen without scrolling, slowly.
    void ServeLessons() {
        for (const LessonRow& row : LessonCatalogue()) {
            menu_->OpenGroup(row.group);
            if (menu_->itemRect(row.item).bottom() >= menu_->headerRect(row.group + 1).top()) continue;
            const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(row.group, row.item);
            Lesson lesson{row.group, row.item, std::string(movie.begin(), movie.end()), dir_.File(row.cacheName)};
            server_.Serve(Lookup(row.group, row.item)->path,
                          {.body = lesson.body, .chunkSize = lesson.body.size() / 12 + 1, .chunkDelay = 20ms});
            lessons_.push_back(std::move(lesson));
        }
        menu_->OpenGroup(0);
    }

    // `count` lesson choices at random moments (0 to 50 ms apart), with now and then a
    // page button or the guestbook entry before one. Returns the last lesson chosen.
    const Lesson* ChooseAtRandom(int count, unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<std::size_t> pickLesson(0, lessons_.size() - 1);
        std::uniform_int_distribution<int> pause(0, 50), percent(0, 99), page(1, 4), closeAfter(20, 120);
        const Lesson* last = nullptr;
        for (int choice = 0; choice < count; ++choice) {
            const int other = percent(random);
            if (other < 6) {
                ClickPageButton(page(random), closeAfter(random));
                ++pagesOpened_;
            } else if (other < 12) {
                ClickMenu(kGuestbookGroup, kGuestbookItem);
                ++guestbooks_;
            }
            last = &lessons_[pickLesson(random)];
            ClickMenu(last->group, last->item);
            if (const int ms = pause(random)) QTest::qWait(ms);
            else QCoreApplication::processEvents();
        }
        return last;
    }

    std::vector<Lesson> lessons_;
    int pagesOpened_ = 0, guestbooks_ = 0;

    template <class T>
    T* Control(const char* name) const {
        return window_->controlAs<T>(name);
    }

    FixtureServer server_;
    testing::TempDir dir_;
    testing::MessageRecorder messages_;
    std::unique_ptr<testing::ProgramWindow> app_;
    std::unique_ptr<MovieRecordingDisplay> recorder_;
    LoadedWindow* window_ = nullptr;
    RollUpMenu* menu_ = nullptr;
};

constexpr unsigned kSeed = 20240611;
constexpr int kChoices = 200;

TEST_F(StressTest, TwoHundredChoicesWhileDownloadsRunEndOnTheLastChoice) {
    RecordProperty("seed", static_cast<int>(kSeed));
    ServeLessons();
    ASSERT_GE(lessons_.size(), 16u);
    auto* flash = Control<FlashView>(names::kFlashView);

    const Lesson* last = ChooseAtRandom(kChoices, kSeed);
    RecordProperty("pages_opened", pagesOpened_);
    RecordProperty("guestbook_entries", guestbooks_);
    EXPECT_GT(pagesOpened_, 0);
    EXPECT_GT(guestbooks_, 0);

    // The last choice downloads (or plays) and ends in the playing view with its movie.
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            return testing::ProgramSettled(app_->program()) && flash->isVisible() &&
                   recorder_->Movie() == last->cacheFile;
        },
        60s))
        << "last choice " << last->group << "," << last->item;
    EXPECT_TRUE(messages_.Texts().empty());
    // At most two size probes a choice: a superseded choice's probes stop mid-wait, and a
    // choice of the lesson that is downloading goes on with it, unprobed.
    int heads = 0;
    for (const auto& r : server_.Requests()) heads += r.method == "HEAD";
    EXPECT_LE(heads, 2 * kChoices);
    EXPECT_GE(heads, 2);
    EXPECT_FALSE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    EXPECT_FALSE(Control<StoredPositionBar>(names::kProgressBar)->isVisible());
    // Nothing changes the display after the last download has ended: no worker runs, and
    // what they posted has all been applied.
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    QCoreApplication::processEvents();
    EXPECT_TRUE(flash->isVisible());
    EXPECT_EQ(recorder_->Movie(), last->cacheFile);

    // A lesson's file is only ever the whole body (a download renames its part file over
    // it once whole); a part file stopped early holds a prefix of the body, never more.
    EXPECT_EQ(testing::ReadWholeFile(last->cacheFile), last->body);
    int complete = 0, partial = 0;
    for (const Lesson& lesson : lessons_) {
        if (LocalFileSize(lesson.cacheFile) >= 0) {
            EXPECT_TRUE(testing::ReadWholeFile(lesson.cacheFile) == lesson.body) << lesson.group << "," << lesson.item;
            ++complete;
        }
        const std::string partFile = PartFilePath(lesson.cacheFile);
        if (LocalFileSize(partFile) < 0) continue;
        const std::string stored = testing::ReadWholeFile(partFile);
        EXPECT_TRUE(testing::IsPrefixOf(stored, lesson.body))
            << lesson.group << "," << lesson.item << ": " << stored.size() << " of " << lesson.body.size();
        ++partial;
    }
    RecordProperty("complete_files", complete);
    RecordProperty("partial_files", partial);

    // Then the guestbook: the web view replaces the player.
    ClickMenu(kGuestbookGroup, kGuestbookItem);
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return Control<WebView>(names::kWebView)->isVisible() && !flash->isVisible() &&
               Control<WebView>(names::kWebView)->url().toString().endsWith(QStringLiteral("/tovel/gb/"));
    }));
    EXPECT_EQ(recorder_->Movie(), dir_.File("3.swf"));
    EXPECT_TRUE(messages_.Texts().empty());
}

// Many quick movie changes once broke the player page's Ruffle ("RuntimeError:
// unreachable") so that the movie of the last choice was never shown.
TEST_F(StressTest, PlayerShowsTheLastChoiceAfterQuickChanges) {
    ServeLessons();
    auto* flash = Control<FlashView>(names::kFlashView);
    std::vector<Text> loadedMovies;  // the movie handed over when each load was reported
    QObject::connect(flash, &FlashView::movieLoaded, [&] { loadedMovies.push_back(recorder_->Movie()); });

    const Lesson* last = ChooseAtRandom(100, kSeed);
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return testing::ProgramSettled(app_->program()) && recorder_->Movie() == last->cacheFile; },
        60s));
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return !loadedMovies.empty() && loadedMovies.back() == last->cacheFile; }, 30s))
        << loadedMovies.size() << " movies reported loaded";
}

}  // namespace
}  // namespace pw

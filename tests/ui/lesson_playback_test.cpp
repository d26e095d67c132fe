// End to end: a lesson chosen in the real menu downloads with its progress display and
// then plays in the Flash player.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "core/files.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "net/curl_handle.h"
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

class LessonPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Serve("/tovel/index.html", {.body = "<html><title>home</title></html>", .contentType = "text/html"});
        app_ = std::make_unique<testing::ProgramWindow>(
            testing::TestSetup(testing::AllHostsAt(server_.HostPort()), dir_.Path(), messages_));
        app_->Start();
        window_ = &app_->window();
    }
    void TearDown() override { app_.reset(); }

    // Serves lesson (group, item), slowly enough to watch it download; returns its bytes.
    std::string ServeLesson(int group, int item) {
        const std::vector<std::uint8_t> movie = swf::MakeSampleLesson(group, item);
        std::string body(movie.begin(), movie.end());
        const std::size_t chunk = body.size() / 20 + 1;
        server_.Serve(Lookup(group, item)->path, {.body = body, .chunkSize = chunk, .chunkDelay = 60ms});
        return body;
    }

    void ClickLesson(int group, int item) {
        auto* menu = window_->controlAs<RollUpMenu>(names::kLessonMenu);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->headerRect(group).center());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->itemRect(item).center());
    }

    FixtureServer server_;
    testing::TempDir dir_;
    testing::MessageRecorder messages_;
    std::unique_ptr<testing::ProgramWindow> app_;
    LoadedWindow* window_ = nullptr;
};

TEST_F(LessonPlaybackTest, ChosenLessonDownloadsWithItsProgressAndThenPlays) {
    const std::string body = ServeLesson(1, 8);
    auto* flash = window_->controlAs<FlashView>(names::kFlashView);
    auto* label = window_->controlAs<StatusLabel>(names::kStatusLabel);
    auto* bar = window_->controlAs<StoredPositionBar>(names::kProgressBar);
    auto* web = window_->controlAs<WebView>(names::kWebView);
    QSignalSpy loaded(flash, &FlashView::movieLoaded);

    ClickLesson(1, 8);

    // The downloading view, with a progress text and a bar part-way.
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return label->isVisible() && label->text().startsWith(QStringLiteral("正在下载网络文件")) &&
               bar->value() > 0 && bar->value() < 100;
    }));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_FALSE(flash->isVisible());
    EXPECT_FALSE(web->isVisible());
    EXPECT_TRUE(label->text().contains(QStringLiteral("文件大小:")));

    // Then the lesson, loaded into the player.
    ASSERT_TRUE(ProcessEventsUntil([&] { return flash->isVisible() && !loaded.isEmpty(); }, 30s));
    EXPECT_FALSE(label->isVisible());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(web->isVisible());
    EXPECT_EQ(testing::ReadWholeFile(dir_.File(Lookup(1, 8)->cacheName)), body);
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(LessonPlaybackTest, SecondChoiceOfACompleteLessonPlaysFromTheCache) {
    ServeLesson(2, 0);
    auto* flash = window_->controlAs<FlashView>(names::kFlashView);
    ClickLesson(2, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return flash->isVisible(); }, 30s));
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    ASSERT_EQ(testing::ReadWholeFile(dir_.File(Lookup(2, 0)->cacheName)).size(), swf::MakeSampleLesson(2, 0).size());
    // The lesson server's requests; the web view's own (the home page and what it asks
    // for, whenever it does) are not the lesson's.
    const std::string lessonPath = UrlForWire(Lookup(2, 0)->path);
    auto lessonRequests = [&] {
        std::vector<std::string> methods;
        for (const auto& r : server_.Requests())
            if (r.target == lessonPath) methods.push_back(r.method);
        return methods;
    };
    const auto before = lessonRequests();

    QSignalSpy loaded(flash, &FlashView::movieLoaded);
    ClickLesson(2, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !loaded.isEmpty(); }, 30s));
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    auto expected = before;
    expected.insert(expected.end(), {"HEAD", "HEAD"});  // the two size probes, nothing fetched
    EXPECT_EQ(lessonRequests(), expected);
    for (const auto& r : server_.Requests()) EXPECT_TRUE(r.target == lessonPath || r.method == "GET") << r.target;
    EXPECT_FALSE(app_->program().WorkersRunning());
    EXPECT_TRUE(flash->isVisible());
}

}  // namespace
}  // namespace pw

// The update check as the main window's start-up runs it.
#include <gtest/gtest.h>

#include "core/files.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/program_window.h"
#include "tests/support/temp_dir.h"
#include "ui/controls.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

using namespace std::chrono_literals;
using testing::FixtureServer;
using testing::MessageRecorder;
using testing::ProcessEventsUntil;

class UpdateAtStartTest : public ::testing::Test {
protected:
    void TearDown() override { app_.reset(); }

    void ServeAnnouncement(const std::string& way, const std::string& fileName) {
        const std::string page = "<p>////开始</p><p>最新版=2.1</p><p>下载地址=" + server_.BaseUrl() +
                                 "/tovel/new.swf</p><p>文件命名=" + fileName + "</p><p>下载方式=" + way +
                                 "</p><p>更新说明=更快</p><p>更稳</p>更新说明结束</p><p>////结束</p>";
        server_.Serve("/tovel/test.html", {.body = FromUtf8(page)});
        server_.Serve("/tovel/new.swf",
                      {.body = movie_, .chunkSize = movie_.size() / 10 + 1, .chunkDelay = 80ms});
    }

    // The program's start with its questions answered by `answers`; the update check runs
    // on a worker, so this waits until its question (if any) has been asked and answered.
    void Start(MessageRecorder& answers, std::size_t questions) {
        Start(answers, testing::AllHostsAt(server_.HostPort()));
        ASSERT_TRUE(ProcessEventsUntil([&] { return answers.Requests().size() >= questions; }));
    }
    void Start(MessageRecorder& answers, const Hosts& hosts) {
        app_ = std::make_unique<testing::ProgramWindow>(testing::TestSetup(hosts, dir_.Path(), answers));
        app_->Start();
    }

    template <class T>
    T* Control(const char* name) const {
        return app_->Control<T>(name);
    }
    ProgramState& Globals() { return app_->program().globals(); }

    FixtureServer server_;
    testing::TempDir dir_;
    std::unique_ptr<testing::ProgramWindow> app_;
    // A whole movie by its header: a downloaded update that is no movie is not played.
    std::string movie_ = testing::FixtureServer::GeneratedBody(20003);
};

TEST_F(UpdateAtStartTest, DownloadWayShowsTheProgressDisplayOverTheHomeView) {
    MessageRecorder answers(MessageAnswer::Yes);
    ServeAnnouncement("下载文件", "pebblewick21.swf");
    Start(answers, 1);

    ASSERT_EQ(answers.Requests().size(), 1u);
    EXPECT_EQ(ToUtf8(answers.Requests()[0].caption), "是否下载最新版？");
    EXPECT_EQ(ToUtf8(answers.Requests()[0].text), "当前版本：2.0\r\n最新版本：2.1\r\n更新内容：\r\n更快更稳");
    // The downloading view, not the home view, while the new version arrives.
    ASSERT_TRUE(ProcessEventsUntil([&] { return Control<StatusLabel>(names::kStatusLabel)->isVisible(); }));
    EXPECT_TRUE(Control<StoredPositionBar>(names::kProgressBar)->isVisible());
    EXPECT_FALSE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<FlashView>(names::kFlashView)->isVisible());
    // Then the file is there and shown in the player.
    ASSERT_TRUE(ProcessEventsUntil([&] { return Control<FlashView>(names::kFlashView)->isVisible(); }, 20s));
    EXPECT_EQ(testing::ReadWholeFile(dir_.File("pebblewick21.swf")), movie_);
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    EXPECT_EQ(answers.Requests().size(), 1u);
}

TEST_F(UpdateAtStartTest, NoLeavesTheHomeViewAndTheUpdateNamed) {
    MessageRecorder answers(MessageAnswer::No);
    ServeAnnouncement("下载文件", "pebblewick21.swf");
    Start(answers, 1);
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    ASSERT_EQ(answers.Requests().size(), 1u);
    EXPECT_FALSE(app_->program().WorkersRunning());
    EXPECT_EQ(LocalFileSize(dir_.File("pebblewick21.swf")), -1);
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    EXPECT_EQ(Globals().CurrentUrl, server_.BaseUrl() + "/tovel/new.swf");
    EXPECT_EQ(Globals().CurrentFileName, "pebblewick21.swf");
}

TEST_F(UpdateAtStartTest, HostileFileNameIsRefusedAndNothingIsWritten) {
    MessageRecorder answers(MessageAnswer::Yes);
    ServeAnnouncement("下载文件", "../escape.swf");
    Start(answers, 2);
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    ASSERT_EQ(answers.Requests().size(), 2u);
    EXPECT_EQ(ToUtf8(answers.Requests()[1].text), "不能打开本地的文件!");
    EXPECT_FALSE(app_->program().WorkersRunning());
    EXPECT_EQ(LocalFileSize(dir_.File("../escape.swf")), -1);
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
}

TEST_F(UpdateAtStartTest, UnreachableSiteShowsTheWindowWithNoMessage) {
    MessageRecorder answers;
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort());
    Hosts hosts = testing::AllHostsAt(server_.HostPort());
    hosts.site = closed;
    Start(answers, hosts);
    // The update check has ended (it found no page) with nothing to say.
    ASSERT_TRUE(testing::ProgramSettles(app_->program()));
    EXPECT_TRUE(answers.Requests().empty());
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<FlashView>(names::kFlashView)->isVisible());
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    EXPECT_FALSE(Control<StoredPositionBar>(names::kProgressBar)->isVisible());
}

}  // namespace
}  // namespace pw

// The update check as the main window's start-up runs it.
#include <gtest/gtest.h>

#include "core/files.h"
#include "core/program_state.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "lessons/download_worker.h"
#include "lessons/lesson_selection.h"
#include "tests/support/fixture_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/gui_test_support.h"
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
    void SetUp() override {
        for (const char* name : {"PEBBLEWICK_SITE_HOST", "PEBBLEWICK_LESSON_HOST1", "PEBBLEWICK_LESSON_HOST2"})
            setenv(name, server_.HostPort().c_str(), 1);
        SetProgramDirectory(dir_.Path());
        Globals() = ProgramState{};
    }
    void TearDown() override {
        Downloads().StopAll();
        SetMainWindowControls(nullptr);
        window_.reset();
    }

    void ServeAnnouncement(const std::string& way, const std::string& fileName) {
        const std::string page = "<p>////开始</p><p>最新版=2.1</p><p>下载地址=" + server_.BaseUrl() +
                                 "/tovel/new.swf</p><p>文件命名=" + fileName + "</p><p>下载方式=" + way +
                                 "</p><p>更新说明=更快</p><p>更稳</p>更新说明结束</p><p>////结束</p>";
        server_.Serve("/tovel/test.html", {.body = FromUtf8(page)});
        server_.Serve("/tovel/new.swf",
                      {.body = movie_, .chunkSize = movie_.size() / 10 + 1, .chunkDelay = 80ms});
    }

    void Start() {
        window_ = BuildWindow(MainWindowDescription());
        window_->FireCreated();
        window_->ShowCentred();
    }

    template <class T>
    T* Control(const char* name) const {
        return window_->controlAs<T>(name);
    }

    FixtureServer server_;
    testing::TempDir dir_;
    std::unique_ptr<LoadedWindow> window_;
    // Any bytes that begin like a movie will do for the player.
    std::string movie_ = "FWS" + std::string(20000, '\x01');
};

TEST_F(UpdateAtStartTest, DownloadWayShowsTheProgressDisplayOverTheHomeView) {
    MessageRecorder answers(MessageAnswer::Yes);
    ServeAnnouncement("下载文件", "pebblewick21.swf");
    Start();

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
}

TEST_F(UpdateAtStartTest, NoLeavesTheHomeViewAndTheUpdateNamed) {
    MessageRecorder answers(MessageAnswer::No);
    ServeAnnouncement("下载文件", "pebblewick21.swf");
    Start();
    ASSERT_EQ(answers.Requests().size(), 1u);
    EXPECT_FALSE(Downloads().Running());
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    EXPECT_EQ(Globals().CurrentUrl, server_.BaseUrl() + "/tovel/new.swf");
    EXPECT_EQ(Globals().CurrentFileName, "pebblewick21.swf");
}

TEST_F(UpdateAtStartTest, HostileFileNameIsRefusedAndNothingIsWritten) {
    MessageRecorder answers(MessageAnswer::Yes);
    ServeAnnouncement("下载文件", "../escape.swf");
    Start();
    ASSERT_EQ(answers.Requests().size(), 2u);
    EXPECT_EQ(ToUtf8(answers.Requests()[1].text), "不能打开本地的文件!");
    EXPECT_FALSE(Downloads().Running());
    EXPECT_EQ(LocalFileSize(dir_.File("../escape.swf")), -1);
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
}

TEST_F(UpdateAtStartTest, UnreachableSiteShowsTheWindowWithNoMessage) {
    MessageRecorder answers;
    const std::string closed = "127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort());
    setenv("PEBBLEWICK_SITE_HOST", closed.c_str(), 1);
    Start();
    EXPECT_TRUE(answers.Requests().empty());
    EXPECT_TRUE(Control<WebView>(names::kWebView)->isVisible());
    EXPECT_FALSE(Control<FlashView>(names::kFlashView)->isVisible());
    EXPECT_FALSE(Control<StatusLabel>(names::kStatusLabel)->isVisible());
    EXPECT_FALSE(Control<StoredPositionBar>(names::kProgressBar)->isVisible());
}

}  // namespace
}  // namespace pw

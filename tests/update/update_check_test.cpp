// UpdateCheck on a page body already fetched, with a recording platform in place of the
// message boxes, the browser and the download thread.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "lessons/program_state.h"
#include "lessons/update_check.h"
#include "tests/support/message_recorder.h"

namespace pw {
namespace {

Text Page(const char* newestUtf8, const Text& url, const Text& fileName, const char* wayUtf8,
          const char* notesUtf8 = "<p>修正错误</p>") {
    return FromUtf8("<p>////开始</p>\r\n<p>最新版=") + FromUtf8(newestUtf8) + FromUtf8("</p>\r\n<p>下载地址=") +
           url + FromUtf8("</p>\r\n<p>文件命名=") + fileName + FromUtf8("</p>\r\n<p>下载方式=") +
           FromUtf8(wayUtf8) + FromUtf8("</p>\r\n<p>更新说明=") + FromUtf8(notesUtf8) +
           FromUtf8("更新说明结束</p>\r\n<p>////结束</p>");
}

// Names the cases of a table by their `name` member.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

const Text kUrl = "http://example.test/pw21.zip";
const Text kFileName = "pw21.zip";

// Questions go into the call log in order with the browser and the download; plain
// messages are recorded by `messages_`.
class RecordingPort final : public MessagePort {
public:
    RecordingPort(std::vector<std::string>& calls, testing::MessageRecorder& messages, const bool& answer)
        : calls_(calls), messages_(messages), answer_(answer) {}

    MessageAnswer Ask(const MessageRequest& request) override {
        if (request.buttons != MessageButtons::YesNo) return messages_.Ask(request);
        calls_.push_back("ask");
        prompts.push_back(request.text);
        captions.push_back(request.caption);
        return answer_ ? MessageAnswer::Yes : MessageAnswer::No;
    }

    std::vector<Text> prompts, captions;

private:
    std::vector<std::string>& calls_;
    testing::MessageRecorder& messages_;
    const bool& answer_;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() {
        globals_.CurrentVersion = "2.0";
        globals_.CurrentUrl = "http://lesson.test/1.swf";
        globals_.CurrentFileName = "1.ylq";
    }

    void Check() { UpdateCheck(globals_, page_, platform_); }

    void ExpectGlobalsUntouched() const {
        EXPECT_EQ(globals_.CurrentUrl, "http://lesson.test/1.swf");
        EXPECT_EQ(globals_.CurrentFileName, "1.ylq");
        EXPECT_EQ(globals_.CurrentVersion, "2.0");
    }

    ProgramState globals_;
    testing::MessageRecorder messages_;
    Text page_;
    bool answer_ = true;
    std::vector<std::string> calls_;
    RecordingPort port_{calls_, messages_, answer_};
    std::vector<Text>& prompts_ = port_.prompts;
    std::vector<Text>& captions_ = port_.captions;
    UpdatePlatform platform_{
        port_, [this](const Text& url) { calls_.push_back("open " + url); },
        [this] {
            // The worker reads the globals when it starts: record what it would see.
            calls_.push_back("download " + globals_.CurrentUrl + " " + globals_.CurrentFileName);
        }};
};

TEST_F(UpdateCheckTest, FetchFailureShowsNothing) {
    page_ = "";
    Check();
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(messages_.Texts().empty());
    ExpectGlobalsUntouched();
}

// Pages that must not lead to a question.
struct QuietCase {
    const char* name;
    Text page;
};

void PrintTo(const QuietCase& c, std::ostream* os) { *os << c.name; }

class UpdateCheckQuietTest : public UpdateCheckTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(UpdateCheckQuietTest, AsksNothingAndLeavesTheGlobals) {
    page_ = GetParam().page;
    Check();
    EXPECT_EQ(calls_, std::vector<std::string>{});
    EXPECT_TRUE(messages_.Texts().empty());
    ExpectGlobalsUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Pages, UpdateCheckQuietTest,
    ::testing::Values(
        QuietCase{"SameVersion", Page("2.0", kUrl, kFileName, "下载文件")},
        QuietCase{"WithinTolerance", Page("2.0000001", kUrl, kFileName, "下载文件")},
        QuietCase{"Older", Page("1.9", kUrl, kFileName, "下载文件")},
        QuietCase{"NotANumber", Page("新版", kUrl, kFileName, "下载文件")},
        QuietCase{"ErrorPage", "<html><body>500 Internal Server Error</body></html>"},
        QuietCase{"VersionOutsideTheBlock",
                  FromUtf8("<p>最新版=3.0</p><p>////开始</p><p>下载方式=下载文件</p><p>////结束</p>")},
        QuietCase{"ZeroByteBeforeTheBlock", std::string("\0", 1) + Page("3.0", kUrl, kFileName, "下载文件")},
        QuietCase{"CutInsideTheClosingMarker",
                  Page("3.0", kUrl, kFileName, "下载文件").substr(
                      0, Page("3.0", kUrl, kFileName, "下载文件").find(FromUtf8("////结束")) + 5)},
        QuietCase{"KeyBytesInsideACharacter",
                  FromUtf8("////开始<p>白") + "\xEE\xD0\xC2\xB0\xE6=9.9</p>" + FromUtf8("////结束")}),
    CaseName<QuietCase>);

TEST_F(UpdateCheckTest, SlightlyNewerVersionIsOffered) {
    page_ = Page("2.0000002", kUrl, kFileName, "下载文件");
    Check();
    ASSERT_FALSE(calls_.empty());
    EXPECT_EQ(calls_.front(), "ask");
}

TEST_F(UpdateCheckTest, PromptShowsTheFullWidthVersionAsThePageWroteIt) {
    page_ = Page("２．１", kUrl, kFileName, "打开网页");
    answer_ = false;
    Check();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0], FromUtf8("当前版本：2.0\r\n最新版本：２．１\r\n更新内容：\r\n修正错误"));
    EXPECT_EQ(captions_[0], FromUtf8("是否下载最新版？"));
}

TEST_F(UpdateCheckTest, NotesOfTwoParagraphsRunTogether) {
    page_ = Page("2.1", kUrl, kFileName, "下载文件", "<p>一、更快</p><p>二、更稳</p>");
    answer_ = false;
    Check();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0], FromUtf8("当前版本：2.0\r\n最新版本：2.1\r\n更新内容：\r\n一、更快二、更稳"));
}

TEST_F(UpdateCheckTest, NoStartsNothingButKeepsTheUpdatesAddressAndName) {
    page_ = Page("2.1", kUrl, kFileName, "下载文件");
    answer_ = false;
    Check();
    EXPECT_EQ(calls_, std::vector<std::string>{"ask"});
    EXPECT_EQ(globals_.CurrentUrl, kUrl);
    EXPECT_EQ(globals_.CurrentFileName, kFileName);
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(UpdateCheckTest, DownloadWayStartsTheWorkerOnTheUpdatesAddressAndName) {
    page_ = Page("2.1", kUrl, kFileName, "下载文件");
    Check();
    EXPECT_EQ(calls_, (std::vector<std::string>{"ask", "download " + kUrl + " " + kFileName}));
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(UpdateCheckTest, BrowserWayOpensTheAddress) {
    page_ = Page("2.1", kUrl, kFileName, "打开网页");
    Check();
    EXPECT_EQ(calls_, (std::vector<std::string>{"ask", "open " + kUrl}));
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(UpdateCheckTest, UnknownWayDoesNothingAfterYes) {
    for (const char* way : {"下载文件 ", "打开网页\r\n", "", "安装"}) {
        calls_.clear();
        page_ = Page("2.1", kUrl, kFileName, way);
        Check();
        EXPECT_EQ(calls_, std::vector<std::string>{"ask"}) << way;
    }
    EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(UpdateCheckTest, HostileFileNameIsRefusedAndNothingStarts) {
    // Bare names too, when the program keeps a file of its own under them.
    for (const Text& name : {Text("..\\x.ylq"), Text("/etc/x"), Text("C:\\x"), Text("a/b"), Text(".."), Text("."),
                             Text(""), Text("lessons.json"), Text("lessons.json.minisig"), Text("LESSONS.JSON.signed"),
                             Text("actdlh.ylq"), Text("actdlh.ylq.part"), Text("x.part.new"), Text("x.meta"),
                             Text("pebblewick.db-wal"), Text("pictures"), Text("3.swf")}) {
        calls_.clear();
        page_ = Page("2.1", kUrl, name, "下载文件");
        const std::size_t before = messages_.Texts().size();
        Check();
        EXPECT_EQ(calls_, std::vector<std::string>{"ask"}) << name;
        ASSERT_EQ(messages_.Texts().size(), before + 1) << name;
        EXPECT_EQ(messages_.Texts().back(), msg::CannotOpenLocalFile());
        // Set before the question, as for any update.
        EXPECT_EQ(globals_.CurrentFileName, name);
        EXPECT_EQ(globals_.CurrentUrl, kUrl);
    }
}

TEST_F(UpdateCheckTest, BrowserGetsOnlyWebAddresses) {
    for (const Text& url : {Text("file:///etc/passwd"), Text("C:\\Windows\\notepad.exe"), Text("javascript:x"),
                            Text("")}) {
        calls_.clear();
        page_ = Page("2.1", url, kFileName, "打开网页");
        const std::size_t before = messages_.Texts().size();
        Check();
        EXPECT_EQ(calls_, std::vector<std::string>{"ask"}) << url;
        ASSERT_EQ(messages_.Texts().size(), before + 1) << url;
        EXPECT_EQ(messages_.Texts().back(), msg::CannotOpenUrl());
        EXPECT_EQ(globals_.CurrentUrl, url);
    }
}

TEST(UpdatePlatformDefaults, TheQuestionGoesThroughTheMessagePort) {
    ProgramState globals;
    globals.CurrentVersion = "2.0";
    testing::MessageRecorder messages(MessageAnswer::No);
    UpdatePlatform platform{messages, {}, {}};  // only the port: the rest stays as it comes
    UpdateCheck(globals, Page("2.1", kUrl, kFileName, "下载文件"), platform);
    const auto requests = messages.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(requests[0].caption, UpdatePromptCaption());
    EXPECT_EQ(requests[0].text, UpdatePrompt("2.0", "2.1", FromUtf8("修正错误")));
}

}  // namespace
}  // namespace pw

#pragma once

#include <functional>

#include "core/text.h"

namespace pw {

// Message boxes of the program. The core only asks; the UI installs the handler that
// shows a real box (on the UI thread, waiting when asked from a worker), and tests
// install one that records.

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    Text text;
    Text caption;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageHandler = std::function<MessageAnswer(const MessageRequest&)>;

// Installs the handler and returns the one it replaces. Not for use while another
// thread may be showing a message.
MessageHandler SetMessageHandler(MessageHandler handler);

// The caption of every message that brings none of its own: "信息：".
const Text& InfoCaption();

// Shows `text` with one OK button; returns when it has been answered. Callable from
// any thread.
void ShowMessage(const Text& text, const Text& caption = InfoCaption());

// Yes/No question, Yes the default; true when the user pressed Yes.
bool AskYesNo(const Text& text, const Text& caption);

// The program's messages, as GBK text.
namespace msg {
const Text& InternetError();      // "Internet连接错误!"
const Text& CannotOpenUrl();      // "不能打开该URL!"
const Text& CannotOpenLocalFile();  // "不能打开本地的文件!"
const Text& DownloadInterrupted();  // "下载中断!"
const Text& PleaseWaitForUpgrade();  // "正在整理，请等待升级"
}  // namespace msg

}  // namespace pw

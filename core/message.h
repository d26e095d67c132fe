#pragma once

#include "core/text.h"

namespace pw {

// Message boxes of the program. The core only asks, through a port: the UI's port shows a
// real box, the download worker's port hands the message to the UI thread, tests record.

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct MessageRequest {
    Text text;
    Text caption;
    MessageButtons buttons = MessageButtons::Ok;
    // A question whose Yes and No say what they do ("删除", "取消"): No is then the default,
    // as Yes does something that cannot be undone. Empty: the toolkit's 是 and 否.
    Text yesText;
    Text noText;
};

class MessagePort {
public:
    virtual ~MessagePort() = default;
    // Shows the message and returns the answer once it is given.
    virtual MessageAnswer Ask(const MessageRequest& request) = 0;
};

// The caption of every message that brings none of its own: "信息：".
inline const Text& InfoCaption() { return Gbk<"信息：">(); }

// `text` with one OK button.
void ShowMessage(MessagePort& port, const Text& text, const Text& caption = InfoCaption());

// Yes/No question, Yes the default; true when the user pressed Yes.
bool AskYesNo(MessagePort& port, const Text& text, const Text& caption);

// A question of the parent corner with its own two buttons, the safe one the default; true
// when the user pressed `yes`.
bool AskToConfirm(MessagePort& port, const Text& text, const Text& yes, const Text& no);

// The program's messages.
namespace msg {
inline const Text& InternetError() { return Gbk<"Internet连接错误!">(); }
inline const Text& CannotOpenUrl() { return Gbk<"不能打开该URL!">(); }
inline const Text& CannotOpenLocalFile() { return Gbk<"不能打开本地的文件!">(); }
inline const Text& DownloadInterrupted() { return Gbk<"下载中断!">(); }
inline const Text& DiskFull() { return Gbk<"磁盘空间不足，课程没有下载完。">(); }
inline const Text& UpdateDiskFull() { return Gbk<"磁盘空间不足，新版本没有下载完。">(); }
inline const Text& PleaseWaitForUpgrade() { return Gbk<"正在整理，请等待升级">(); }
}  // namespace msg

}  // namespace pw

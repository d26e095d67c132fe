#include "core/message.h"

#include <cstdio>
#include <mutex>

namespace pw {
namespace {

std::mutex& HandlerMutex() {
    static std::mutex m;
    return m;
}

MessageHandler& CurrentHandler() {
    static MessageHandler handler;
    return handler;
}

}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    std::lock_guard lock(HandlerMutex());
    std::swap(CurrentHandler(), handler);
    return handler;
}

const Text& InfoCaption() {
    static const Text caption = FromUtf8("信息：");
    return caption;
}

static MessageAnswer Dispatch(const MessageRequest& request) {
    MessageHandler handler;
    {
        std::lock_guard lock(HandlerMutex());
        handler = CurrentHandler();
    }
    if (handler) return handler(request);
    // No UI yet: say it on stderr rather than lose it.
    std::fprintf(stderr, "%s: %s\n", ToUtf8(request.caption).c_str(), ToUtf8(request.text).c_str());
    return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void ShowMessage(const Text& text, const Text& caption) {
    Dispatch({text, caption, MessageButtons::Ok});
}

bool AskYesNo(const Text& text, const Text& caption) {
    return Dispatch({text, caption, MessageButtons::YesNo}) == MessageAnswer::Yes;
}

namespace msg {
const Text& InternetError() {
    static const Text t = FromUtf8("Internet连接错误!");
    return t;
}
const Text& CannotOpenUrl() {
    static const Text t = FromUtf8("不能打开该URL!");
    return t;
}
const Text& CannotOpenLocalFile() {
    static const Text t = FromUtf8("不能打开本地的文件!");
    return t;
}
const Text& DownloadInterrupted() {
    static const Text t = FromUtf8("下载中断!");
    return t;
}
const Text& PleaseWaitForUpgrade() {
    static const Text t = FromUtf8("正在整理，请等待升级");
    return t;
}
}  // namespace msg

}  // namespace pw

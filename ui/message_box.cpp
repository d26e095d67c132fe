#include "ui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

namespace pw {
namespace {

std::atomic<bool> g_closing{false};

QString ToQString(const Text& text) { return QString::fromUtf8(ToUtf8(text)); }

MessageAnswer ShowOnUiThread(const MessageRequest& request) {
    QMessageBox box;
    box.setWindowTitle(ToQString(request.caption));
    box.setText(ToQString(request.text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowModality(Qt::ApplicationModal);
    if (request.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (request.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

MessageAnswer DefaultAnswer(const MessageRequest& request) {
    return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

MessageAnswer Show(const MessageRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || g_closing) return DefaultAnswer(request);
    if (QThread::currentThread() == app->thread()) return ShowOnUiThread(request);

    auto answer = std::make_shared<std::promise<MessageAnswer>>();
    std::future<MessageAnswer> result = answer->get_future();
    QMetaObject::invokeMethod(
        app, [answer, request] { answer->set_value(g_closing ? DefaultAnswer(request) : ShowOnUiThread(request)); },
        Qt::QueuedConnection);
    // Wait for the user, but never past the program's end.
    while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (g_closing) return DefaultAnswer(request);
    return result.get();
}

}  // namespace

void InstallMessageBoxHandler() {
    g_closing = false;
    SetMessageHandler(Show);
}

void ReleaseWaitingMessages() { g_closing = true; }

}  // namespace pw

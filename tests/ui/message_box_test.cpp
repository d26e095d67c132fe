#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/support/gui_test_support.h"
#include "ui/message_box.h"

namespace pw {
namespace {

using testing::ProcessEventsUntil;

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = SetMessageHandler({});
        InstallMessageBoxHandler();
    }
    void TearDown() override { SetMessageHandler(std::move(previous_)); }

    // Runs `inspect` on the message box once it is up. The box runs its own event loop,
    // so the check comes from a timer inside that loop.
    static void WhenBoxShows(std::function<void(QMessageBox*)> inspect) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                inspect(box);
            }
        });
        timer->start(10);
    }

    MessageHandler previous_;
};

TEST_F(MessageBoxTest, WorkerWaitsForTheAnswerOfAnApplicationModalBox) {
    std::atomic<bool> answered{false};
    bool waitedForTheUser = false;
    QString title, text;
    WhenBoxShows([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->parentWidget(), nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        QTest::qWait(50);
        waitedForTheUser = !answered;
        box->buttons().front()->click();
    });
    std::thread worker([&] {
        ShowMessage(FromUtf8("下载中断!"));
        answered = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return answered.load(); }));
    worker.join();
    EXPECT_TRUE(waitedForTheUser);
    EXPECT_EQ(title, QStringLiteral("信息："));
    EXPECT_EQ(text, QStringLiteral("下载中断!"));
}

TEST_F(MessageBoxTest, QuestionHasYesAsItsDefault) {
    WhenBoxShows([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("是否下载最新版？"));
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
        QTest::keyClick(box, Qt::Key_Return);  // the default answer
    });
    EXPECT_TRUE(AskYesNo(FromUtf8("当前版本：2.0"), FromUtf8("是否下载最新版？")));
}

TEST_F(MessageBoxTest, ClosingProgramReleasesAWaitingWorker) {
    std::atomic<bool> answered{false};
    WhenBoxShows([&](QMessageBox* box) {
        ReleaseWaitingMessages();  // the main window has closed
        ProcessEventsUntil([&] { return answered.load(); }, std::chrono::seconds(2));
        box->close();
    });
    std::thread worker([&] {
        ShowMessage(FromUtf8("不能打开该URL!"));
        answered = true;
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return answered.load(); }));
    worker.join();
}

}  // namespace
}  // namespace pw

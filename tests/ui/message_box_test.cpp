#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "tests/support/gui_test_support.h"
#include "ui/message_box.h"

namespace pw {
namespace {

class MessageBoxTest : public ::testing::Test {
protected:
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

    MessageBoxes boxes_;
};

TEST_F(MessageBoxTest, MessageWaitsForTheAnswerOfAnApplicationModalBox) {
    bool returned = false;
    bool waitedForTheUser = false;
    QString title, text;
    WhenBoxShows([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->parentWidget(), nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->buttons().size(), 1);
        waitedForTheUser = !returned;
        box->buttons().front()->click();
    });
    ShowMessage(boxes_, FromUtf8("下载中断!"));
    returned = true;
    EXPECT_TRUE(waitedForTheUser);
    EXPECT_EQ(title, QStringLiteral("信息："));
    EXPECT_EQ(text, QStringLiteral("下载中断!"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MessageBoxTest, QuestionHasYesAsItsDefault) {
    WhenBoxShows([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("是否下载最新版？"));
        EXPECT_EQ(box->text(), QStringLiteral("当前版本：2.0"));
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        QTest::keyClick(box, Qt::Key_Return);  // the default answer
    });
    EXPECT_TRUE(AskYesNo(boxes_, FromUtf8("当前版本：2.0"), FromUtf8("是否下载最新版？")));
}

TEST_F(MessageBoxTest, QuestionAnsweredNoIsFalse) {
    WhenBoxShows([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(AskYesNo(boxes_, FromUtf8("当前版本：2.0"), FromUtf8("是否下载最新版？")));
}

// A question whose buttons say what they do has the safe one as its default: Enter does
// not delete.
TEST_F(MessageBoxTest, NamedButtonsHaveTheSafeOneAsTheDefault) {
    QStringList texts;
    WhenBoxShows([&](QMessageBox* box) {
        texts = {box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(AskToConfirm(boxes_, FromUtf8("删除「狼来了」？"), FromUtf8("删除"), FromUtf8("取消")));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("删除"), QStringLiteral("取消")}));
}

}  // namespace
}  // namespace pw

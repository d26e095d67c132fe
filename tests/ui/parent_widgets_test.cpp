// The parent corner's gate without the web engine. Run offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "lessons/parent_corner_state.h"
#include "ui/parent_gate.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

class ParentGateTest : public ::testing::Test {
protected:
    ParentGateDialog::Setup GateSetup(std::string codeHash = {}) { return {&keeper_, [this] { return random_++; }, codeHash}; }
    // Types `answer` on the pad and presses OK.
    static void Answer(ParentGateDialog& gate, int answer) {
        for (QChar digit : QString::number(answer)) QTest::mouseClick(gate.digitButton(digit.digitValue()), Qt::LeftButton);
        QTest::mouseClick(gate.okButton(), Qt::LeftButton);
    }
    // What a screen reader says for the widget that has the keyboard.
    static QString SpokenName(QWidget* widget) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(widget);
        return spoken ? spoken->text(QAccessible::Name) : QString();
    }

    MonotonicTime now_{5000h};
    Store store_{""};
    CornerKeeper keeper_{store_, {[] { return WallTime{1'700'000'000'000ms}; }, [this] { return now_; }}, ParentSettings{}};
    std::uint32_t random_ = 3;
};

TEST_F(ParentGateTest, WrongAnswersAreRefusedWithANewQuestionAndTheRightOnePasses) {
    ParentGateDialog gate(GateSetup());
    gate.show();
    const GateQuestion first = gate.question();
    Answer(gate, first.Answer() + 1);
    EXPECT_EQ(gate.result(), QDialog::Rejected);
    EXPECT_TRUE(gate.isVisible());
    EXPECT_NE(gate.question().Text(), first.Text());  // a new question

    Answer(gate, gate.question().Answer());
    EXPECT_EQ(gate.result(), QDialog::Accepted);
    EXPECT_FALSE(gate.isVisible());
}

TEST_F(ParentGateTest, AKeyboardAloneAnswersWithTheQuestionReadAndNoOtherKeyPasses) {
    ParentGateDialog gate(GateSetup());
    gate.show();
    QWidget* keys = gate.answerField();
    ASSERT_EQ(gate.focusWidget(), keys);
    // The field that has the keyboard is read as the question.
    EXPECT_EQ(SpokenName(keys), QString::fromStdString(gate.question().Text()));
    // Every key a child might hammer on, then Enter: nothing typed, nothing passed.
    for (Qt::Key key : {Qt::Key_Y, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Plus, Qt::Key_Period, Qt::Key_Return})
        QTest::keyClick(keys, key);
    QTest::keyClick(keys, Qt::Key_Return, Qt::AltModifier);
    EXPECT_TRUE(gate.isVisible());
    EXPECT_EQ(gate.answerField()->text(), QString());

    // A wrong answer brings a new question, which the field is read as.
    const GateQuestion first = gate.question();
    QTest::keyClicks(keys, QString::number(first.Answer() + 1));
    QTest::keyClick(keys, Qt::Key_Enter);
    ASSERT_NE(gate.question().Text(), first.Text());
    EXPECT_EQ(SpokenName(keys), QString::fromStdString(gate.question().Text()));
    // Digits, Backspace and Enter answer it; a third digit does not fit.
    const QString answer = QString::number(gate.question().Answer());
    QTest::keyClick(keys, Qt::Key_9);
    QTest::keyClick(keys, Qt::Key_Backspace);
    QTest::keyClicks(keys, answer + QStringLiteral("7"));
    EXPECT_EQ(gate.answerField()->text(), answer);
    QTest::keyClick(keys, Qt::Key_Return);
    EXPECT_EQ(gate.result(), QDialog::Accepted);
}

TEST_F(ParentGateTest, EscapeClosesItUnpassed) {
    ParentGateDialog gate(GateSetup());
    gate.show();
    QTest::keyClicks(gate.answerField(), QString::number(gate.question().Answer()));
    QTest::keyClick(gate.answerField(), Qt::Key_Escape);
    EXPECT_FALSE(gate.isVisible());
    EXPECT_EQ(gate.result(), QDialog::Rejected);
}

TEST_F(ParentGateTest, ThirdWrongAnswerLocksThePadWithACountdownThatOutlivesTheDialog) {
    {
        ParentGateDialog gate(GateSetup());
        for (int i = 0; i < 3; ++i) Answer(gate, gate.question().Answer() + 1);
        EXPECT_FALSE(gate.okButton()->isEnabled());
        EXPECT_FALSE(gate.digitButton(5)->isEnabled());
        EXPECT_EQ(SpokenName(gate.answerField()), QStringLiteral("答错了几次，请 30 秒后再试"));
    }
    ParentGateDialog reopened(GateSetup());  // closing and opening again does not help
    EXPECT_FALSE(reopened.okButton()->isEnabled());
    QTest::keyClicks(reopened.answerField(), QString::number(reopened.question().Answer()));
    QTest::keyClick(reopened.answerField(), Qt::Key_Return);
    EXPECT_NE(reopened.result(), QDialog::Accepted);
    now_ += 30s;
    ParentGateDialog later(GateSetup());
    Answer(later, later.question().Answer());
    EXPECT_EQ(later.result(), QDialog::Accepted);
}

TEST_F(ParentGateTest, AParentsCodeTakesThePlaceOfTheMultiplication) {
    const std::string code = HashGateCode("2468");
    {
        ParentGateDialog gate(GateSetup(code));
        gate.show();
        QLineEdit* keys = gate.answerField();
        EXPECT_EQ(SpokenName(keys), QStringLiteral("请输入家长的四位数密码"));
        EXPECT_EQ(keys->echoMode(), QLineEdit::Password);
        // Three digits are no answer yet: nothing is counted.
        QTest::keyClicks(keys, QStringLiteral("246"));
        QTest::keyClick(keys, Qt::Key_Return);
        EXPECT_EQ(keys->text(), QStringLiteral("246"));
        keys->clear();
        for (int i = 0; i < 3; ++i) Answer(gate, 2469);
        EXPECT_TRUE(gate.isVisible());
        EXPECT_EQ(keeper_.GatePauseLeft(), 30s);
    }
    now_ += 30s;
    ParentGateDialog later(GateSetup(code));
    Answer(later, 2468);
    EXPECT_EQ(later.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace pw

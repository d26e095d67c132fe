// The parent corner's own windows without the web engine: the gate and the settings file.
// Run offscreen.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "tests/support/temp_dir.h"
#include "ui/parent_gate.h"
#include "ui/parent_settings.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

class ParentGateTest : public ::testing::Test {
protected:
    ParentGateDialog::Setup GateSetup() {
        return {&lock_, [this] { return now_; }, [this] { return random_++; }};
    }
    // Types `answer` on the pad and presses OK.
    static void Answer(ParentGateDialog& gate, int answer) {
        for (QChar digit : QString::number(answer)) QTest::mouseClick(gate.digitButton(digit.digitValue()), Qt::LeftButton);
        QTest::mouseClick(gate.okButton(), Qt::LeftButton);
    }

    GateLock lock_;
    MonotonicTime now_{5000h};
    std::uint32_t random_ = 3;
};

TEST_F(ParentGateTest, WrongAnswersAreRefusedWithANewQuestionAndTheRightOnePasses) {
    ParentGateDialog gate(GateSetup());
    gate.show();
    const GateQuestion first = gate.question();
    EXPECT_EQ(gate.questionText(), QString::fromStdString(first.Text()));
    Answer(gate, first.Answer() + 1);
    EXPECT_EQ(gate.result(), QDialog::Rejected);
    EXPECT_TRUE(gate.isVisible());
    EXPECT_NE(gate.question().Text(), first.Text());  // a new question

    Answer(gate, gate.question().Answer());
    EXPECT_EQ(gate.result(), QDialog::Accepted);
    EXPECT_FALSE(gate.isVisible());
}

TEST_F(ParentGateTest, KeysDoNotPassIt) {
    ParentGateDialog gate(GateSetup());
    gate.show();
    const QString answer = QString::number(gate.question().Answer());
    // The answer typed, then every key a child might hammer on.
    QTest::keyClicks(&gate, answer);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Y, Qt::Key_1})
        QTest::keyClick(&gate, key);
    QTest::keyClick(&gate, Qt::Key_Return, Qt::AltModifier);
    EXPECT_TRUE(gate.isVisible());
    EXPECT_NE(gate.result(), QDialog::Accepted);
    // Escape closes it unpassed.
    QTest::keyClick(&gate, Qt::Key_Escape);
    EXPECT_FALSE(gate.isVisible());
    EXPECT_EQ(gate.result(), QDialog::Rejected);
}

TEST_F(ParentGateTest, ThirdWrongAnswerLocksThePadAndTheLockOutlivesTheDialog) {
    {
        ParentGateDialog gate(GateSetup());
        for (int i = 0; i < 3; ++i) Answer(gate, gate.question().Answer() + 1);
        EXPECT_FALSE(gate.okButton()->isEnabled());
        EXPECT_FALSE(gate.digitButton(5)->isEnabled());
    }
    ParentGateDialog reopened(GateSetup());  // closing and opening again does not help
    EXPECT_FALSE(reopened.okButton()->isEnabled());
    now_ += 30s;
    ParentGateDialog later(GateSetup());
    Answer(later, later.question().Answer());
    EXPECT_EQ(later.result(), QDialog::Accepted);
}

TEST(ParentSettingsFile, SettingsSurviveARestartAndABrokenFileGivesDefaultsInRange) {
    testing::TempDir dir;
    const QString file = QString::fromStdString(dir.File("pebblewick/pebblewick.conf"));
    EXPECT_EQ(LoadParentSettings(file), ParentSettings{});  // missing: the defaults
    const ParentSettings chosen{.volumePercent = 30, .muted = true, .sessionMinutes = 45, .gateBeforeLeaving = true};
    ASSERT_TRUE(SaveParentSettings(file, chosen));
    EXPECT_EQ(LoadParentSettings(file), chosen);

    const struct {
        const char* contents;
        ParentSettings expected;
    } cases[] = {
        {"volume=250\nsessionMinutes=9999\nmuted=true\n", {.volumePercent = 100, .muted = true, .sessionMinutes = 600}},
        {"volume=-4\nsessionMinutes=-1\ngateBeforeLeaving=1\n", {.volumePercent = 0, .gateBeforeLeaving = true}},
        {"sessionMinutes=1\nvolume=abc\nmuted=perhaps\n", {.sessionMinutes = 1}},
        {"\x01\x02\xff\xfe binary [[[ = = \n\x00\x00", {}},
        {"[General]\nvolume=99999999999999999999999\n", {}},
    };
    for (const auto& c : cases) {
        testing::WriteWholeFile(file.toStdString(), c.contents);
        EXPECT_EQ(LoadParentSettings(file), c.expected) << c.contents;
    }
}

}  // namespace
}  // namespace pw

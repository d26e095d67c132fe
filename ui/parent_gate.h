#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "lessons/parent_corner_rules.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace pw {

class CornerKeeper;

// The grown-up's gate: a multiplication written in Chinese characters, or the parent's own
// four-digit code, answered on a pad of large number buttons or by typing the digits,
// Backspace and Enter. Typing is answering: no other key does anything but Esc, which
// closes it unpassed. Wrong answers bring the growing pause, which counts down on screen.
// A screen reader reads the question (the answer field is named by it), the typed answer
// and the countdown. Accepted once it is passed.
class ParentGateDialog : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        CornerKeeper* keeper = nullptr;          // the wrong answers and the pause; outlives the dialog
        std::function<std::uint32_t()> random;   // for the questions
        std::string codeHash;                    // the parent's code; empty: the multiplication
    };
    explicit ParentGateDialog(Setup setup, QWidget* parent = nullptr);

    const GateQuestion& question() const { return question_; }
    // The pad's button for `digit` and the OK button (for tests and readers).
    QPushButton* digitButton(int digit) const { return digits_[digit]; }
    QPushButton* okButton() const { return ok_; }
    QLineEdit* answerField() const { return answer_; }

private:
    void NewQuestion();
    void Type(int digit);
    void Submit();
    void ShowPauseOrQuestion();
    void SetPrompt(const QString& text);

    Setup setup_;
    GateQuestion question_;
    QLabel* prompt_ = nullptr;
    QLineEdit* answer_ = nullptr;
    QPushButton* digits_[10] = {};
    QPushButton* clear_ = nullptr;
    QPushButton* ok_ = nullptr;
    QTimer* pauseTick_ = nullptr;
};

}  // namespace pw

#pragma once

#include <QDialog>

#include <functional>

#include "lessons/parent_corner_rules.h"

class QLabel;
class QPushButton;
class QTimer;

namespace pw {

// The grown-up's gate: a multiplication written in Chinese characters, answered on a
// pad of large number buttons. Keys do nothing here but Esc, which closes it unpassed:
// a child's hammering on the keyboard cannot pass it. Accepted once it is passed.
class ParentGateDialog : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        GateLock* lock = nullptr;                // the wrong answers and the pause; outlives the dialog
        std::function<MonotonicTime()> clock;    // monotonic
        std::function<std::uint32_t()> random;   // for the questions
    };
    ParentGateDialog(Setup setup, QWidget* parent = nullptr);

    const GateQuestion& question() const { return question_; }
    QString questionText() const;
    // The pad's button for `digit`, the clear and the OK button (for tests and readers).
    QPushButton* digitButton(int digit) const { return digits_[digit]; }
    QPushButton* okButton() const { return ok_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void NewQuestion();
    void Type(int digit);
    void Submit();
    void ShowPauseOrQuestion();

    Setup setup_;
    GateQuestion question_;
    QString typed_;
    QLabel* questionLabel_ = nullptr;
    QLabel* answerLabel_ = nullptr;
    QPushButton* digits_[10] = {};
    QPushButton* clear_ = nullptr;
    QPushButton* ok_ = nullptr;
    QTimer* pauseTick_ = nullptr;
};

}  // namespace pw

#include "ui/parent_gate.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pw {
namespace {

QPushButton* PadButton(const QString& text, const QString& spoken, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // No button is the default and none takes the focus: Enter and Space press nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumSize(64, 56);
    QFont big = button->font();
    big.setPixelSize(26);
    button->setFont(big);
    button->setAccessibleName(spoken);
    return button;
}

}  // namespace

ParentGateDialog::ParentGateDialog(Setup setup, QWidget* parent) : QDialog(parent), setup_(std::move(setup)) {
    setWindowTitle(QStringLiteral("请家长回答"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    questionLabel_ = new QLabel(this);
    QFont large = questionLabel_->font();
    large.setPixelSize(24);
    questionLabel_->setFont(large);
    questionLabel_->setAlignment(Qt::AlignCenter);
    questionLabel_->setAccessibleName(QStringLiteral("问题"));
    layout->addWidget(questionLabel_);
    answerLabel_ = new QLabel(this);
    answerLabel_->setFont(large);
    answerLabel_->setAlignment(Qt::AlignCenter);
    answerLabel_->setMinimumHeight(40);
    answerLabel_->setFrameShape(QFrame::StyledPanel);
    answerLabel_->setAccessibleName(QStringLiteral("答案"));
    layout->addWidget(answerLabel_);

    auto* pad = new QGridLayout;
    for (int d = 0; d <= 9; ++d) {
        digits_[d] = PadButton(QString::number(d), QString::number(d), this);
        digits_[d]->setObjectName(QStringLiteral("digit%1").arg(d));
        connect(digits_[d], &QPushButton::clicked, this, [this, d] { Type(d); });
        if (d > 0) pad->addWidget(digits_[d], (d - 1) / 3, (d - 1) % 3);
    }
    clear_ = PadButton(QStringLiteral("清除"), QStringLiteral("清除"), this);
    ok_ = PadButton(QStringLiteral("确定"), QStringLiteral("确定"), this);
    pad->addWidget(clear_, 3, 0);
    pad->addWidget(digits_[0], 3, 1);
    pad->addWidget(ok_, 3, 2);
    layout->addLayout(pad);
    connect(clear_, &QPushButton::clicked, this, [this] {
        typed_.clear();
        answerLabel_->clear();
    });
    connect(ok_, &QPushButton::clicked, this, &ParentGateDialog::Submit);

    pauseTick_ = new QTimer(this);
    pauseTick_->setInterval(1000);
    connect(pauseTick_, &QTimer::timeout, this, &ParentGateDialog::ShowPauseOrQuestion);
    NewQuestion();
    ShowPauseOrQuestion();
}

QString ParentGateDialog::questionText() const { return QString::fromStdString(question_.Text()); }

void ParentGateDialog::NewQuestion() {
    question_ = MakeGateQuestion(setup_.random(), setup_.random());
    typed_.clear();
    answerLabel_->clear();
}

void ParentGateDialog::ShowPauseOrQuestion() {
    const MonotonicTime left = setup_.lock->PauseLeft(setup_.clock());
    const bool paused = left > MonotonicTime{0};
    for (QPushButton* b : digits_) b->setEnabled(!paused);
    clear_->setEnabled(!paused);
    ok_->setEnabled(!paused);
    if (paused) {
        const auto seconds = (left.count() + 999) / 1000;
        questionLabel_->setText(QStringLiteral("请 %1 秒后再试").arg(seconds));
        pauseTick_->start();
    } else {
        pauseTick_->stop();
        questionLabel_->setText(questionText());
    }
}

void ParentGateDialog::Type(int digit) {
    if (typed_.size() >= 2) return;  // no product here has more than two digits
    typed_ += QString::number(digit);
    answerLabel_->setText(typed_);
}

void ParentGateDialog::Submit() {
    if (typed_.isEmpty()) return;
    switch (setup_.lock->Check(question_, typed_.toInt(), setup_.clock())) {
    case GateLock::Result::Right:
        accept();
        return;
    case GateLock::Result::Wrong:
    case GateLock::Result::Paused:
        NewQuestion();
        ShowPauseOrQuestion();
        return;
    }
}

void ParentGateDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    event->accept();  // every other key stops here
}

}  // namespace pw

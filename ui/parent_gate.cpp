#include "ui/parent_gate.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include "lessons/parent_corner_state.h"

namespace pw {
namespace {

// No product here has more than two digits.
constexpr int kAnswerDigits = 2;

QPushButton* PadButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // No button is the default and none takes the focus: the keyboard types into the
    // answer field, and Enter answers from there.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumSize(64, 56);
    QFont big = button->font();
    big.setPixelSize(26);
    button->setFont(big);
    return button;
}

QString PauseText(Milliseconds left) {
    const long long seconds = (left.count() + 999) / 1000;
    if (seconds < 60) return QStringLiteral("答错了几次，请 %1 秒后再试").arg(seconds);
    return QStringLiteral("答错了几次，请 %1 分 %2 秒后再试").arg(seconds / 60).arg(seconds % 60);
}

}  // namespace

ParentGateDialog::ParentGateDialog(Setup setup, QWidget* parent) : QDialog(parent), setup_(std::move(setup)) {
    setWindowTitle(QStringLiteral("请家长回答"));
    setWindowModality(Qt::WindowModal);
    const bool code = !setup_.codeHash.empty();
    auto* layout = new QVBoxLayout(this);
    prompt_ = new QLabel(this);
    QFont large = prompt_->font();
    large.setPixelSize(24);
    prompt_->setFont(large);
    prompt_->setAlignment(Qt::AlignCenter);
    // As wide as the longest countdown, so that the window keeps its size as it counts.
    prompt_->setMinimumWidth(QFontMetrics(large).horizontalAdvance(PauseText(kLongestGatePause - Milliseconds(1))) + 8);
    layout->addWidget(prompt_);
    answer_ = new QLineEdit(this);
    answer_->setFont(large);
    answer_->setAlignment(Qt::AlignCenter);
    answer_->setMinimumHeight(44);
    const int digits = code ? kGateCodeDigits : kAnswerDigits;
    answer_->setMaxLength(digits);
    answer_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(digits)), answer_));
    answer_->setContextMenuPolicy(Qt::NoContextMenu);
    if (code) answer_->setEchoMode(QLineEdit::Password);
    prompt_->setBuddy(answer_);
    layout->addWidget(answer_);
    connect(answer_, &QLineEdit::returnPressed, this, &ParentGateDialog::Submit);

    auto* pad = new QGridLayout;
    for (int d = 0; d <= 9; ++d) {
        digits_[d] = PadButton(QString::number(d), this);
        digits_[d]->setObjectName(QStringLiteral("digit%1").arg(d));
        connect(digits_[d], &QPushButton::clicked, this, [this, d] { Type(d); });
        if (d > 0) pad->addWidget(digits_[d], (d - 1) / 3, (d - 1) % 3);
    }
    clear_ = PadButton(QStringLiteral("清除"), this);
    ok_ = PadButton(QStringLiteral("确定"), this);
    pad->addWidget(clear_, 3, 0);
    pad->addWidget(digits_[0], 3, 1);
    pad->addWidget(ok_, 3, 2);
    layout->addLayout(pad);
    connect(clear_, &QPushButton::clicked, answer_, &QLineEdit::clear);
    connect(ok_, &QPushButton::clicked, this, &ParentGateDialog::Submit);

    pauseTick_ = new QTimer(this);
    pauseTick_->setInterval(1000);
    connect(pauseTick_, &QTimer::timeout, this, &ParentGateDialog::ShowPauseOrQuestion);
    NewQuestion();
    ShowPauseOrQuestion();
    answer_->setFocus(Qt::OtherFocusReason);
}

void ParentGateDialog::NewQuestion() {
    question_ = MakeGateQuestion(setup_.random(), setup_.random());
    answer_->clear();
}

void ParentGateDialog::SetPrompt(const QString& text) {
    if (prompt_->text() == text) return;
    prompt_->setText(text);
    // The field takes the question as its name, so that a reader says it with the field
    // and announces every change.
    answer_->setAccessibleName(text);
}

void ParentGateDialog::ShowPauseOrQuestion() {
    const Milliseconds left = setup_.keeper->GatePauseLeft();
    const bool paused = left > Milliseconds{0};
    for (QPushButton* b : digits_) b->setEnabled(!paused);
    clear_->setEnabled(!paused);
    ok_->setEnabled(!paused);
    answer_->setReadOnly(paused);
    if (paused) {
        SetPrompt(PauseText(left));
        pauseTick_->start();
    } else {
        pauseTick_->stop();
        SetPrompt(setup_.codeHash.empty() ? QString::fromStdString(question_.Text())
                                          : QStringLiteral("请输入家长的四位数密码"));
    }
}

void ParentGateDialog::Type(int digit) {
    answer_->insert(QString::number(digit));
    answer_->setFocus(Qt::OtherFocusReason);
}

void ParentGateDialog::Submit() {
    const std::string typed = answer_->text().toStdString();
    const bool code = !setup_.codeHash.empty();
    if (typed.empty() || answer_->isReadOnly() || (code && !IsGateCode(typed))) return;
    const bool right = code ? GateCodeMatches(setup_.codeHash, typed) : answer_->text().toInt() == question_.Answer();
    switch (setup_.keeper->AnswerGate(right)) {
    case GateResult::Right:
        accept();
        return;
    case GateResult::Wrong:
    case GateResult::Paused:
        NewQuestion();
        ShowPauseOrQuestion();
        return;
    }
}

}  // namespace pw

#include "ui/parent_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QVBoxLayout>

#include <span>

namespace pw {
namespace {

QString SessionChoiceText(int minutes) {
    return minutes == 0 ? QStringLiteral("不限时") : QStringLiteral("%1 分钟").arg(minutes);
}

QString RestChoiceText(int minutes) {
    return minutes == 0 ? QStringLiteral("等家长来开") : QStringLiteral("%1 分钟").arg(minutes);
}

// A list of minutes to choose from, `current` chosen. A value the file holds but the list
// does not offer stays as it is.
QComboBox* MinutesChoice(std::span<const int> choices, int current, QString (*text)(int), const QString& name,
                         QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setAccessibleName(name);  // the name of its label
    for (int minutes : choices) box->addItem(text(minutes), minutes);
    if (box->findData(current) < 0) box->addItem(text(current), current);
    box->setCurrentIndex(box->findData(current));
    return box;
}

QLineEdit* CodeField(const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(kGateCodeDigits);
    field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), field));
    field->setAccessibleName(name);
    return field;
}

}  // namespace

std::string AskForGateCode(QWidget* parent) {
    QDialog ask(parent);
    ask.setWindowTitle(QStringLiteral("家长密码"));
    ask.setWindowModality(Qt::WindowModal);
    auto* form = new QFormLayout(&ask);
    QLineEdit* code = CodeField(QStringLiteral("新密码，四位数字"), &ask);
    QLineEdit* again = CodeField(QStringLiteral("再输一次"), &ask);
    form->addRow(QStringLiteral("新密码（四位数字）："), code);
    form->addRow(QStringLiteral("再输一次："), again);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    form->addRow(buttons);
    const auto agree = [code, again] { return IsGateCode(code->text().toStdString()) && code->text() == again->text(); };
    buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    for (QLineEdit* field : {code, again})
        QObject::connect(field, &QLineEdit::textChanged, &ask,
                         [buttons, agree] { buttons->button(QDialogButtonBox::Ok)->setEnabled(agree()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    if (ask.exec() != QDialog::Accepted || !agree()) return {};
    return HashGateCode(code->text().toStdString());
}

ParentSettingsDialog::ParentSettingsDialog(const ParentSettings& settings, DownloadAllActions downloadAll,
                                           std::function<QString(const ParentSettings&)> changed, QWidget* parent)
    : QDialog(parent), settings_(settings), downloadAll_(std::move(downloadAll)), changed_(std::move(changed)) {
    setWindowTitle(QStringLiteral("家长设置"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* volumeRow = new QHBoxLayout;
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 100);
    volume_->setValue(settings_.volumePercent);
    volume_->setAccessibleName(QStringLiteral("音量"));
    volumeText_ = new QLabel(this);
    volumeText_->setMinimumWidth(40);
    mute_ = new QCheckBox(QStringLiteral("静音"), this);
    mute_->setChecked(settings_.muted);
    volume_->setEnabled(!settings_.muted);
    volumeRow->addWidget(volume_, 1);
    volumeRow->addWidget(volumeText_);
    volumeRow->addWidget(mute_);
    form->addRow(QStringLiteral("音量："), volumeRow);

    session_ = MinutesChoice(kSessionChoices, settings_.sessionMinutes, SessionChoiceText, QStringLiteral("玩多久休息"),
                             this);
    form->addRow(QStringLiteral("玩多久休息："), session_);
    rest_ = MinutesChoice(kRestChoices, settings_.restMinutes, RestChoiceText, QStringLiteral("休息多久"), this);
    form->addRow(QStringLiteral("休息多久："), rest_);

    gateBeforeLeaving_ = new QCheckBox(QStringLiteral("离开程序前先请家长回答（外部链接、浏览器、打开文件夹、关闭窗口）"), this);
    gateBeforeLeaving_->setChecked(settings_.gateBeforeLeaving);
    gateBeforeLeaving_->setAccessibleName(QStringLiteral("离开程序前先请家长回答"));
    layout->addWidget(gateBeforeLeaving_);
    gateCode_ = new QCheckBox(QStringLiteral("用家长自己的四位数密码代替算术题"), this);
    gateCode_->setChecked(!settings_.gateCode.empty());
    layout->addWidget(gateCode_);

    downloadAllButton_ = new QPushButton(this);
    downloadAllButton_->setAutoDefault(false);
    downloadAllButton_->setVisible(static_cast<bool>(downloadAll_.downloadAll));
    layout->addWidget(downloadAllButton_);
    connect(downloadAllButton_, &QPushButton::clicked, this, [this] {
        const bool running = downloadAll_.downloadAllRunning && downloadAll_.downloadAllRunning();
        if (running && downloadAll_.cancelDownloadAll)
            downloadAll_.cancelDownloadAll();
        else if (!running)
            downloadAll_.downloadAll();
        ShowDownloadAllState();
    });
    ShowDownloadAllState();

    // Shown while the settings could not be saved: they hold until the program ends.
    saveFailure_ = new QLabel(this);
    saveFailure_->setWordWrap(true);
    QPalette red = saveFailure_->palette();
    red.setColor(QPalette::WindowText, QColor(190, 20, 20));
    saveFailure_->setPalette(red);
    saveFailure_->hide();
    layout->addWidget(saveFailure_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);

    volumeText_->setText(QStringLiteral("%1%").arg(settings_.volumePercent));
    connect(volume_, &QSlider::valueChanged, this, &ParentSettingsDialog::Changed);
    connect(mute_, &QCheckBox::toggled, this, &ParentSettingsDialog::Changed);
    connect(session_, &QComboBox::currentIndexChanged, this, &ParentSettingsDialog::Changed);
    connect(rest_, &QComboBox::currentIndexChanged, this, &ParentSettingsDialog::Changed);
    connect(gateBeforeLeaving_, &QCheckBox::toggled, this, &ParentSettingsDialog::Changed);
    connect(gateCode_, &QCheckBox::clicked, this, &ParentSettingsDialog::ChooseGateCode);
}

void ParentSettingsDialog::ChooseGateCode(bool useCode) {
    settings_.gateCode = useCode ? AskForGateCode(this) : std::string();
    gateCode_->setChecked(!settings_.gateCode.empty());  // a code not given leaves the multiplication
    Changed();
}

void ParentSettingsDialog::Changed() {
    settings_.volumePercent = volume_->value();
    settings_.muted = mute_->isChecked();
    settings_.sessionMinutes = session_->currentData().toInt();
    settings_.restMinutes = rest_->currentData().toInt();
    settings_.gateBeforeLeaving = gateBeforeLeaving_->isChecked();
    volumeText_->setText(QStringLiteral("%1%").arg(settings_.volumePercent));
    volume_->setEnabled(!settings_.muted);
    ShowSaveFailure(changed_ ? changed_(settings_) : QString());
}

void ParentSettingsDialog::ShowSaveFailure(const QString& failure) {
    if (saveFailure_->text() != failure) saveFailure_->setText(failure);
    saveFailure_->setVisible(!failure.isEmpty());
}

void ParentSettingsDialog::ShowDownloadAllState() {
    const bool running = downloadAll_.downloadAllRunning && downloadAll_.downloadAllRunning();
    downloadAllButton_->setText(running ? QStringLiteral("停止下载全部课程") : QStringLiteral("下载全部课程"));
    downloadAllButton_->setAccessibleName(downloadAllButton_->text());
}

}  // namespace pw

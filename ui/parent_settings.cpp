#include "ui/parent_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace pw {
namespace {

const QString kVolume = QStringLiteral("volume");
const QString kMuted = QStringLiteral("muted");
const QString kSessionMinutes = QStringLiteral("sessionMinutes");
const QString kGateBeforeLeaving = QStringLiteral("gateBeforeLeaving");

// A whole number read from the file, or nothing when the text is none.
std::optional<long long> WholeNumber(const QSettings& file, const QString& key) {
    bool ok = false;
    const long long value = file.value(key).toString().trimmed().toLongLong(&ok);
    return ok ? std::optional<long long>(value) : std::nullopt;
}

std::optional<bool> Flag(const QSettings& file, const QString& key) {
    const QString text = file.value(key).toString().trimmed().toLower();
    if (text == QStringLiteral("true") || text == QStringLiteral("1")) return true;
    if (text == QStringLiteral("false") || text == QStringLiteral("0")) return false;
    return std::nullopt;
}

QString SessionChoiceText(int minutes) {
    return minutes == 0 ? QStringLiteral("不限时") : QStringLiteral("%1 分钟").arg(minutes);
}

}  // namespace

QString ParentSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pebblewick/pebblewick.conf");
}

ParentSettings LoadParentSettings(const QString& path) {
    ParentSettings settings;
    if (path.isEmpty()) return settings;
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) return settings;
    if (auto v = WholeNumber(file, kVolume)) settings.volumePercent = ClampVolumePercent(*v);
    if (auto v = Flag(file, kMuted)) settings.muted = *v;
    if (auto v = WholeNumber(file, kSessionMinutes)) settings.sessionMinutes = ClampSessionMinutes(*v);
    if (auto v = Flag(file, kGateBeforeLeaving)) settings.gateBeforeLeaving = *v;
    return settings;
}

bool SaveParentSettings(const QString& path, const ParentSettings& settings) {
    if (path.isEmpty()) return false;
    QSettings file(path, QSettings::IniFormat);
    file.setValue(kVolume, settings.volumePercent);
    file.setValue(kMuted, settings.muted);
    file.setValue(kSessionMinutes, settings.sessionMinutes);
    file.setValue(kGateBeforeLeaving, settings.gateBeforeLeaving);
    file.sync();
    return file.status() == QSettings::NoError;
}

ParentSettingsDialog::ParentSettingsDialog(const ParentSettings& settings, DownloadAllActions downloadAll,
                                           std::function<void(const ParentSettings&)> changed, QWidget* parent)
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
    mute_->setAccessibleName(QStringLiteral("静音"));
    volume_->setEnabled(!settings_.muted);
    volumeRow->addWidget(volume_, 1);
    volumeRow->addWidget(volumeText_);
    volumeRow->addWidget(mute_);
    form->addRow(QStringLiteral("音量："), volumeRow);

    session_ = new QComboBox(this);
    session_->setAccessibleName(QStringLiteral("休息提醒"));
    session_->addItem(SessionChoiceText(0), 0);
    for (int minutes : kSessionChoices) session_->addItem(SessionChoiceText(minutes), minutes);
    // A value the file holds but the list does not offer stays as it is.
    if (session_->findData(settings_.sessionMinutes) < 0)
        session_->addItem(SessionChoiceText(settings_.sessionMinutes), settings_.sessionMinutes);
    session_->setCurrentIndex(session_->findData(settings_.sessionMinutes));
    form->addRow(QStringLiteral("玩多久休息："), session_);

    gateBeforeLeaving_ = new QCheckBox(QStringLiteral("离开程序前先请家长回答（外部链接、浏览器、关闭窗口）"), this);
    gateBeforeLeaving_->setChecked(settings_.gateBeforeLeaving);
    gateBeforeLeaving_->setAccessibleName(QStringLiteral("离开程序前先请家长回答"));
    layout->addWidget(gateBeforeLeaving_);

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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);

    volumeText_->setText(QStringLiteral("%1%").arg(settings_.volumePercent));
    connect(volume_, &QSlider::valueChanged, this, &ParentSettingsDialog::Changed);
    connect(mute_, &QCheckBox::toggled, this, &ParentSettingsDialog::Changed);
    connect(session_, &QComboBox::currentIndexChanged, this, &ParentSettingsDialog::Changed);
    connect(gateBeforeLeaving_, &QCheckBox::toggled, this, &ParentSettingsDialog::Changed);
}

void ParentSettingsDialog::Changed() {
    settings_.volumePercent = volume_->value();
    settings_.muted = mute_->isChecked();
    settings_.sessionMinutes = session_->currentData().toInt();
    settings_.gateBeforeLeaving = gateBeforeLeaving_->isChecked();
    volumeText_->setText(QStringLiteral("%1%").arg(settings_.volumePercent));
    volume_->setEnabled(!settings_.muted);
    if (changed_) changed_(settings_);
}

void ParentSettingsDialog::ShowDownloadAllState() {
    const bool running = downloadAll_.downloadAllRunning && downloadAll_.downloadAllRunning();
    downloadAllButton_->setText(running ? QStringLiteral("停止下载全部课程") : QStringLiteral("下载全部课程"));
    downloadAllButton_->setAccessibleName(downloadAllButton_->text());
}

}  // namespace pw

#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "lessons/parent_corner_rules.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace pw {

// Where the parent's settings are kept: $XDG_CONFIG_HOME/pebblewick/pebblewick.conf.
QString ParentSettingsFile();
// A missing, unreadable or broken file gives the defaults; a value out of range is
// brought into it, and one that is no number keeps its default.
ParentSettings LoadParentSettings(const QString& file);
// False when the file could not be written.
bool SaveParentSettings(const QString& file, const ParentSettings& settings);

// The "download all lessons" command, for the button of that name; the button is
// hidden while `downloadAll` is empty.
struct DownloadAllActions {
    std::function<void()> downloadAll;
    std::function<void()> cancelDownloadAll;
    std::function<bool()> downloadAllRunning;
};

// The parent's settings window. Every change takes effect at once through `changed`.
class ParentSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ParentSettingsDialog(const ParentSettings& settings, DownloadAllActions downloadAll,
                         std::function<void(const ParentSettings&)> changed, QWidget* parent = nullptr);

    const ParentSettings& settings() const { return settings_; }
    // The download-all button's text: what pressing it does now.
    void ShowDownloadAllState();

private:
    void Changed();

    ParentSettings settings_;
    DownloadAllActions downloadAll_;
    std::function<void(const ParentSettings&)> changed_;
    QSlider* volume_ = nullptr;
    QLabel* volumeText_ = nullptr;
    QCheckBox* mute_ = nullptr;
    QComboBox* session_ = nullptr;
    QCheckBox* gateBeforeLeaving_ = nullptr;
    QPushButton* downloadAllButton_ = nullptr;
};

}  // namespace pw

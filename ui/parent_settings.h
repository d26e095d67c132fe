#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <string>

#include "lessons/parent_corner_rules.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace pw {

// The "download all lessons" command, for the button of that name; the button is
// hidden while `downloadAll` is empty.
struct DownloadAllActions {
    std::function<void()> downloadAll;
    std::function<void()> cancelDownloadAll;
    std::function<bool()> downloadAllRunning;
};

// The parent's settings window. Every change takes effect at once through `changed`,
// which answers why the settings could not be saved (empty when they were); the window
// shows that reason until a save succeeds.
class ParentSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ParentSettingsDialog(const ParentSettings& settings, DownloadAllActions downloadAll,
                         std::function<QString(const ParentSettings&)> changed, QWidget* parent = nullptr);

    // The download-all button's text: what pressing it does now.
    void ShowDownloadAllState();
    // Why something could not be saved, shown until it is empty again.
    void ShowSaveFailure(const QString& failure);

private:
    void Changed();
    void ChooseGateCode(bool useCode);

    ParentSettings settings_;
    DownloadAllActions downloadAll_;
    std::function<QString(const ParentSettings&)> changed_;
    QSlider* volume_ = nullptr;
    QLabel* volumeText_ = nullptr;
    QCheckBox* mute_ = nullptr;
    QComboBox* session_ = nullptr;
    QComboBox* rest_ = nullptr;
    QCheckBox* gateBeforeLeaving_ = nullptr;
    QCheckBox* gateCode_ = nullptr;
    QPushButton* downloadAllButton_ = nullptr;
    QLabel* saveFailure_ = nullptr;
};

// Asks for a new four-digit code twice; its hash once both agree, else empty.
std::string AskForGateCode(QWidget* parent);

}  // namespace pw

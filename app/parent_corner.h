#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <random>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"
#include "ui/parent_settings.h"

class QLabel;
class QShortcut;
class QTimer;
class QWebEngineView;

namespace pw {

class FlashView;
class LoadedWindow;
class PictureBox;

// What the parent corner is made with.
struct ParentCornerSetup {
    QString settingsFile;                    // empty: the defaults, kept nowhere
    std::function<MonotonicTime()> clock;    // monotonic; empty: the steady clock
    Text siteHost;                           // links to other hosts leave the program
    std::function<void(const Text& url)> openInBrowser;
    DownloadAllActions downloadAll;          // empty: no such button
};

// The parent corner of the main window: the gate and the settings behind it, the volume,
// the session timer with its rest picture, the full-screen lesson, the keyboard's order.
// Part of the program's state; UI thread only.
class ParentCorner : public QObject {
public:
    explicit ParentCorner(ParentCornerSetup setup);
    ~ParentCorner() override;

    // Takes over the main window's parent corner; the settings take effect.
    void Attach(LoadedWindow& mainWindow);

    const ParentSettings& settings() const { return settings_; }
    // The session has ended: the rest picture shows and the menu and buttons do nothing
    // until the gate is passed.
    bool Resting() const { return resting_; }
    bool FullScreen() const { return fullScreen_; }

    // The "家长" button and Ctrl+Alt+P: the gate, then the settings.
    void Open();
    // Download-all began or ended: the settings window, if open, says so on its button.
    void ShowDownloadAllState();
    // Shows the gate over the main window; true once it is passed (the session then
    // starts anew).
    bool PassGate();
    // True when the program may be left: at once, or through the gate when a parent asked
    // for it before every way out.
    bool MayLeave();
    // F11 and a double click on the lesson: full screen and back.
    void ToggleFullScreen();
    // A web view of the program, made now: it follows the mute setting.
    void PrepareWebView(QWebEngineView& view);
    // Looks at the session timer (the poll does it every second).
    void CheckSessionTimer();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void ChangeSettings(const ParentSettings& settings);
    void ApplySettings();
    void ApplyVolume();
    void SetLeavingGuardFromSettings();
    void RestartSession();
    void StartRest();
    void EndRest();
    void ShowNote(bool shown);
    // The lesson menu and the picture buttons take no input while the child rests.
    void SetChildControlsEnabled(bool enabled);
    void EnterFullScreen();
    void LeaveFullScreen();
    void WatchForDoubleClicks(QObject* object);
    MonotonicTime Now() const { return clock_(); }

    ParentCornerSetup setup_;
    std::function<MonotonicTime()> clock_;
    ParentSettings settings_;
    GateLock gateLock_;
    SessionTimer session_;
    std::mt19937 random_;
    bool resting_ = false;
    bool fullScreen_ = false;
    bool leaving_ = false;  // the gate before closing has been passed

    QPointer<LoadedWindow> window_;
    QPointer<FlashView> flash_;
    // The same two, for telling whose event the filter sees: a widget may still send
    // events while it is being destroyed, when it is no longer of its own type.
    const QObject* windowIdentity_ = nullptr;
    const QObject* flashIdentity_ = nullptr;
    QPointer<PictureBox> restPicture_;
    QPointer<QLabel> note_;
    QPointer<ParentSettingsDialog> settingsDialog_;  // while it is open
    QTimer* sessionPoll_ = nullptr;
    QShortcut* leaveFullScreenKey_ = nullptr;
    QShortcut* toggleFullScreenKey_ = nullptr;
    // Where the lesson sits in the main window while it is full screen.
    QPointer<QWidget> flashHome_;
    QPointer<QWidget> flashAbove_;
    QRect flashGeometry_;
    // Tab goes round these and no further: the lesson menu, the picture buttons, "家长".
    QList<QPointer<QWidget>> tabRing_;
};

}  // namespace pw

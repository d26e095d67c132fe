#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <random>

#include "core/text.h"
#include "lessons/parent_corner_rules.h"
#include "lessons/parent_corner_state.h"
#include "ui/parent_settings.h"

class QLabel;
class QTimer;

namespace pw {

class FlashView;
class FullScreenLesson;
class LoadedWindow;
class RestPicture;
class WebView;

// What the parent corner is made with.
struct ParentCornerSetup {
    Text settingsFile;   // empty: the defaults, kept nowhere
    // The corner's record and the history of use (the week's figures read it); never
    // null, outlives the corner.
    Store* store = nullptr;
    CornerClocks clocks; // a clock left empty: the system's
    Text siteHost;       // links to other hosts leave the program
    std::function<void(const Text& url)> openInBrowser;
    DownloadAllActions downloadAll;  // empty: no such button
    std::function<void()> restEnded;  // the child's rest is over (by the gate or by its time)
    LibraryActions library;           // the lessons on this computer, for "课程库"
    std::function<Text(const Text& cacheName)> lessonTitle;  // for "这一周"
    MessagePort* messages = nullptr;  // the questions before clearing and deleting
};

// The parent corner of the main window: the gate and the settings behind it, the volume,
// the session with its note and rest picture (kept through restarts), the full-screen
// lesson, the keyboard's shortcuts. Part of the program's state; UI thread only.
class ParentCorner : public QObject {
public:
    explicit ParentCorner(ParentCornerSetup setup);
    ~ParentCorner() override;

    // Takes over the main window's parent corner; the settings take effect.
    void Attach(LoadedWindow& mainWindow);

    const ParentSettings& settings() const { return settings_; }
    // The session has ended: the rest picture shows and the menu and buttons do nothing
    // until the gate is passed or the rest's time has passed.
    bool Resting() const { return resting_; }

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
    // F11 and the "全屏" button: the lesson full screen, and back.
    void ToggleFullScreen();
    // The window that shows the lesson full screen, while it does.
    QWidget* FullScreenWindow() const;
    // A web view of the program, made now: it follows the mute setting.
    void PrepareWebView(WebView& view);
    // Looks at the session and writes what is due (the poll does it every second).
    void CheckSession();
    // A lesson (its cache file) now has the content area; empty: something else has it.
    void LessonShown(const Text& cacheName);
    // Why the settings or the record could not be saved, as the parent reads it; empty
    // when nothing failed.
    QString SaveFailure() const;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QString ChangeSettings(const ParentSettings& settings);
    void ApplySettings();
    void ApplyVolume();
    void SetLeavingGuardFromSettings();
    void StartRest();
    void EndRest();
    void ShowNote(bool shown);
    // The lesson menu and the picture buttons take no input while the child rests.
    void SetChildControlsEnabled(bool enabled);
    bool InFullScreen() const;
    void EnterFullScreen();
    void LeaveFullScreen();
    // F6: from a page or the lesson back to the lesson menu.
    void FocusLessonMenu();

    ParentCornerSetup setup_;
    ParentSettings settings_;
    CornerKeeper keeper_;
    std::mt19937 random_;
    bool resting_ = false;
    bool leaving_ = false;  // the gate before closing has been passed
    int settingsError_ = 0;  // of the last save of the settings

    QPointer<LoadedWindow> window_;
    QPointer<FlashView> flash_;
    // The same two, for telling whose event the filter sees: a widget may still send
    // events while it is being destroyed, when it is no longer of its own type.
    const QObject* windowIdentity_ = nullptr;
    const QObject* flashIdentity_ = nullptr;
    QPointer<RestPicture> restPicture_;
    QPointer<QLabel> note_;
    QPointer<ParentSettingsDialog> settingsDialog_;  // while it is open
    QTimer* sessionPoll_ = nullptr;
    std::unique_ptr<FullScreenLesson> fullScreen_;
};

}  // namespace pw

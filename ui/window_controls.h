#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>

#include "core/main_window_controls.h"

namespace pw {

class FlashView;
class WebView;
class StatusLabel;
class StoredPositionBar;
class LoadedWindow;

// The main window's controls as the program's routines see them. Writes from any thread
// are stored at once (a read right after sees them) and reach the widgets on the UI
// thread: visibility, caption and position as their latest state, painted once however
// many writes came in between (at most every 40 ms from a worker); movie, play and
// address as commands, in order.
class WindowControls final : public QObject, public MainWindowControls {
    Q_OBJECT
public:
    explicit WindowControls(LoadedWindow& mainWindow);

    void SetVisible(Control control, bool visible) override;
    bool IsVisible(Control control) const override;
    void SetStatusCaption(const Text& caption) override;
    Text StatusCaption() const override;
    void SetProgressPosition(std::int32_t position) override;
    std::int32_t ProgressPosition() const override;
    void SetFlashMovie(const Text& path) override;
    void PlayFlash() override;
    void SetWebAddress(const Text& url) override;

private:
    void ScheduleStateUpdate();
    void ApplyState();
    template <class F>
    void RunOnUiThread(F&& command);

    QPointer<FlashView> flash_;
    QPointer<WebView> web_;
    QPointer<StatusLabel> label_;
    QPointer<StoredPositionBar> bar_;

    mutable std::mutex mutex_;
    std::array<bool, 4> visible_{};
    Text caption_;
    std::int32_t position_ = 0;
    std::atomic<bool> updatePending_{false};
    std::chrono::steady_clock::time_point lastApplied_;  // UI thread only
    static constexpr std::chrono::milliseconds kRepaintInterval{40};
};

}  // namespace pw

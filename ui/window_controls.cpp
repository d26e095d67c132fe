#include "ui/window_controls.h"

#include <QThread>
#include <QTimer>

#include "host/flash_view.h"
#include "host/web_view.h"
#include "ui/controls.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

std::size_t Index(Control control) { return static_cast<std::size_t>(control); }

QString ToQString(const Text& text) { return QString::fromUtf8(ToUtf8(text)); }

}  // namespace

WindowControls::WindowControls(LoadedWindow& mainWindow)
    : QObject(&mainWindow),
      flash_(mainWindow.controlAs<FlashView>(names::kFlashView)),
      web_(mainWindow.controlAs<WebView>(names::kWebView)),
      label_(mainWindow.controlAs<StatusLabel>(names::kStatusLabel)),
      bar_(mainWindow.controlAs<StoredPositionBar>(names::kProgressBar)) {
    visible_[Index(Control::FlashView)] = flash_ && !flash_->isHidden();
    visible_[Index(Control::WebView)] = web_ && !web_->isHidden();
    visible_[Index(Control::StatusLabel)] = label_ && !label_->isHidden();
    visible_[Index(Control::ProgressBar)] = bar_ && !bar_->isHidden();
    if (label_) caption_ = FromUtf8(label_->text().replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString());
    if (bar_) position_ = bar_->Position();
}

template <class F>
void WindowControls::RunOnUiThread(F&& command) {
    if (QThread::currentThread() == thread())
        command();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(command), Qt::QueuedConnection);
}

void WindowControls::ScheduleStateUpdate() {
    if (QThread::currentThread() == thread()) {
        ApplyState();
        return;
    }
    // One pending update carries every write made before it runs, and updates from a
    // download come at most every kRepaintInterval: painting a caption per chunk would
    // take a core from the download itself.
    if (updatePending_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const auto sinceLast = std::chrono::steady_clock::now() - lastApplied_;
            if (sinceLast >= kRepaintInterval)
                ApplyState();
            else
                QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(kRepaintInterval - sinceLast),
                                   this, [this] { ApplyState(); });
        },
        Qt::QueuedConnection);
}

void WindowControls::ApplyState() {
    updatePending_ = false;
    lastApplied_ = std::chrono::steady_clock::now();
    std::array<bool, 4> visible;
    Text caption;
    std::int32_t position;
    {
        std::lock_guard lock(mutex_);
        visible = visible_;
        caption = caption_;
        position = position_;
    }
    if (flash_) flash_->setVisible(visible[Index(Control::FlashView)]);
    if (web_) web_->setVisible(visible[Index(Control::WebView)]);
    if (label_) {
        label_->SetCaption(caption);
        label_->setVisible(visible[Index(Control::StatusLabel)]);
    }
    if (bar_) {
        bar_->SetPosition(position);
        bar_->setVisible(visible[Index(Control::ProgressBar)]);
    }
}

void WindowControls::SetVisible(Control control, bool visible) {
    {
        std::lock_guard lock(mutex_);
        visible_[Index(control)] = visible;
    }
    ScheduleStateUpdate();
}

bool WindowControls::IsVisible(Control control) const {
    std::lock_guard lock(mutex_);
    return visible_[Index(control)];
}

void WindowControls::SetStatusCaption(const Text& caption) {
    {
        std::lock_guard lock(mutex_);
        caption_ = caption;
    }
    ScheduleStateUpdate();
}

Text WindowControls::StatusCaption() const {
    std::lock_guard lock(mutex_);
    return caption_;
}

void WindowControls::SetProgressPosition(std::int32_t position) {
    {
        std::lock_guard lock(mutex_);
        position_ = StoredProgressPosition(position);
    }
    ScheduleStateUpdate();
}

std::int32_t WindowControls::ProgressPosition() const {
    std::lock_guard lock(mutex_);
    return position_;
}

void WindowControls::SetFlashMovie(const Text& path) {
    RunOnUiThread([this, path = ToQString(path)] {
        if (flash_) flash_->SetMovie(path);
    });
}

void WindowControls::PlayFlash() {
    RunOnUiThread([this] {
        if (flash_) flash_->Play();
    });
}

void WindowControls::SetWebAddress(const Text& url) {
    RunOnUiThread([this, url = ToQString(url)] {
        if (web_) web_->Navigate(url);
    });
}

}  // namespace pw

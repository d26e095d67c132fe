#include "app/parent_corner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWebEnginePage>

#include "host/flash_view.h"
#include "host/guarded_page.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "ui/controls.h"
#include "ui/parent_gate.h"
#include "ui/roll_up_menu.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

MonotonicTime SteadyNow() {
    return std::chrono::duration_cast<MonotonicTime>(std::chrono::steady_clock::now().time_since_epoch());
}

// The main window's eight picture buttons, left to right.
QList<QWidget*> PictureButtons(const LoadedWindow& window) {
    QList<QWidget*> buttons;
    for (int i = 1; i <= 8; ++i)
        if (QWidget* button = window.control(QStringLiteral("超级按钮%1").arg(i).toUtf8().constData()))
            buttons.append(button);
    return buttons;
}

// The content area of the main window, where the rest picture shows.
constexpr QRect kContentArea(90, 68, 600, 500);

}  // namespace

ParentCorner::ParentCorner(ParentCornerSetup setup)
    : setup_(std::move(setup)),
      clock_(setup_.clock ? setup_.clock : SteadyNow),
      settings_(LoadParentSettings(setup_.settingsFile)),
      random_(std::random_device{}()) {
    session_.Start(settings_.sessionMinutes, Now());
}

ParentCorner::~ParentCorner() {
    SetLeavingGuard({});
    // A lesson still full screen is a window of its own: it goes back to be deleted with
    // the main window.
    if (fullScreen_) LeaveFullScreen();
}

void ParentCorner::Attach(LoadedWindow& mainWindow) {
    window_ = &mainWindow;
    flash_ = mainWindow.controlAs<FlashView>(names::kFlashView);
    windowIdentity_ = window_.data();
    flashIdentity_ = flash_.data();
    mainWindow.installEventFilter(this);  // closing, with the gate before leaving

    auto* openKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P), &mainWindow);
    openKey->setContext(Qt::ApplicationShortcut);
    connect(openKey, &QShortcut::activated, this, &ParentCorner::Open);
    auto* fullScreenKey = new QShortcut(QKeySequence(Qt::Key_F11), &mainWindow);
    connect(fullScreenKey, &QShortcut::activated, this, &ParentCorner::ToggleFullScreen);
    if (flash_) {
        // Active only while the lesson is a full-screen window of its own.
        toggleFullScreenKey_ = new QShortcut(QKeySequence(Qt::Key_F11), flash_);
        leaveFullScreenKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), flash_);
        for (QShortcut* key : {toggleFullScreenKey_, leaveFullScreenKey_}) {
            key->setEnabled(false);
            connect(key, &QShortcut::activated, this, &ParentCorner::ToggleFullScreen);
        }
        // A double click reaches the web engine's widget inside the view, not the view.
        WatchForDoubleClicks(flash_);
    }

    // The keyboard's order: the lesson menu, the eight picture buttons, the parent corner,
    // round again. Tab never wanders into a web page from them (a page keeps Tab for its
    // links); a click puts the focus into a page.
    QList<QWidget*> ring{mainWindow.control(names::kLessonMenu)};
    ring += PictureButtons(mainWindow);
    ring.append(mainWindow.control(names::kParentCornerButton));
    for (QWidget* w : ring) {
        if (!w) continue;
        if (!tabRing_.isEmpty()) QWidget::setTabOrder(tabRing_.back(), w);
        tabRing_.append(w);
        w->installEventFilter(this);
    }
    // The menu has the focus from the start, without a frame until a key is pressed.
    if (!tabRing_.isEmpty()) tabRing_.front()->setFocus(Qt::OtherFocusReason);

    sessionPoll_ = new QTimer(this);
    sessionPoll_->setInterval(1000);
    connect(sessionPoll_, &QTimer::timeout, this, &ParentCorner::CheckSessionTimer);
    ApplySettings();
}

void ParentCorner::WatchForDoubleClicks(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children())
        if (child->isWidgetType()) WatchForDoubleClicks(child);
}

bool ParentCorner::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowIdentity_ && event->type() == QEvent::Close) {
        if (settings_.gateBeforeLeaving && !leaving_) {
            if (!PassGate()) {
                event->ignore();
                return true;
            }
            leaving_ = true;
        }
        LeaveFullScreen();  // the lesson's window goes with the main window
        return false;
    }
    if (watched == windowIdentity_) return false;
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & ~Qt::KeypadModifier);
        const bool back = key->key() == Qt::Key_Backtab;
        qsizetype at = -1;
        for (qsizetype i = 0; i < tabRing_.size(); ++i)
            if (static_cast<const QObject*>(tabRing_[i].get()) == watched) at = i;
        if (at >= 0 && (forward || back)) {
            const qsizetype size = tabRing_.size();
            for (qsizetype step = 1; step < size; ++step) {
                QWidget* next = tabRing_[(at + (forward ? step : size - step)) % size];
                if (next && next->isEnabled() && next->isVisible()) {
                    next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                    break;
                }
            }
            return true;
        }
    }
    for (const QPointer<QWidget>& w : tabRing_)
        if (static_cast<const QObject*>(w.get()) == watched) return false;
    // From here on: the lesson's view and the widgets inside it.
    if (watched == flashIdentity_ && event->type() == QEvent::Hide && fullScreen_ && !event->spontaneous()) {
        // The program hid the lesson (a download began): the full-screen window goes too.
        QTimer::singleShot(0, this, [this] {
            if (fullScreen_ && flash_ && flash_->isHidden()) LeaveFullScreen();
        });
    } else if (event->type() == QEvent::ChildAdded) {
        // The web engine makes its widget when the page first shows.
        if (QObject* child = static_cast<QChildEvent*>(event)->child(); child && child->isWidgetType())
            WatchForDoubleClicks(child);
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        // Not while the widget is busy with its own event: toggling moves the view
        // between windows.
        QTimer::singleShot(0, this, &ParentCorner::ToggleFullScreen);
    }
    return false;
}

void ParentCorner::Open() {
    if (!window_ || !PassGate()) return;
    ParentSettingsDialog dialog(settings_, setup_.downloadAll,
                                [this](const ParentSettings& changed) { ChangeSettings(changed); }, window_);
    settingsDialog_ = &dialog;
    dialog.exec();
    settingsDialog_ = nullptr;
    // The session counts from the gate, with the minutes as they are now.
    RestartSession();
}

void ParentCorner::ShowDownloadAllState() {
    if (settingsDialog_) settingsDialog_->ShowDownloadAllState();
}

bool ParentCorner::PassGate() {
    if (fullScreen_) LeaveFullScreen();
    ParentGateDialog gate({&gateLock_, clock_, [this] { return static_cast<std::uint32_t>(random_()); }}, window_);
    if (gate.exec() != QDialog::Accepted) return false;
    if (resting_) EndRest();
    RestartSession();
    return true;
}

bool ParentCorner::MayLeave() { return !settings_.gateBeforeLeaving || PassGate(); }

void ParentCorner::ChangeSettings(const ParentSettings& settings) {
    settings_ = settings;
    SaveParentSettings(setup_.settingsFile, settings_);
    ApplySettings();
}

void ParentCorner::ApplySettings() {
    ApplyVolume();
    SetLeavingGuardFromSettings();
    if (sessionPoll_) {
        if (settings_.sessionMinutes > 0)
            sessionPoll_->start();
        else
            sessionPoll_->stop();
    }
    CheckSessionTimer();
}

void ParentCorner::ApplyVolume() {
    const bool silent = settings_.muted || resting_;
    if (flash_) flash_->SetVolume(silent ? 0.0 : settings_.volumePercent / 100.0);
    for (QWidget* top : QApplication::topLevelWidgets())
        for (WebView* view : top->findChildren<WebView*>()) PrepareWebView(*view);
}

void ParentCorner::PrepareWebView(QWebEngineView& view) { view.page()->setAudioMuted(settings_.muted || resting_); }

void ParentCorner::SetLeavingGuardFromSettings() {
    if (!settings_.gateBeforeLeaving) {
        SetLeavingGuard({});
        return;
    }
    SetLeavingGuard({ToQString(setup_.siteHost), [this](const QUrl& url) {
                         // Never inside the program: through the gate to the desktop's browser.
                         if (PassGate() && setup_.openInBrowser) setup_.openInBrowser(FromQString(url.toString()));
                     }});
}

void ParentCorner::RestartSession() {
    session_.Start(settings_.sessionMinutes, Now());
    ApplySettings();
}

void ParentCorner::CheckSessionTimer() {
    if (resting_) return;
    const MonotonicTime now = Now();
    switch (session_.PhaseAt(now)) {
    case SessionTimer::Phase::Off:
    case SessionTimer::Phase::Running:
        ShowNote(false);
        break;
    case SessionTimer::Phase::Note:
        ShowNote(true);
        if (note_) note_->setText(QStringLiteral("还有 %1 分钟就要休息啦").arg(session_.MinutesLeft(now)));
        break;
    case SessionTimer::Phase::Ended:
        StartRest();
        break;
    }
}

void ParentCorner::ShowNote(bool shown) {
    if (!window_ || (!shown && !note_)) return;
    if (!note_) {
        // Small and grey, in the strip below the content area, left of the "家长" button.
        note_ = new QLabel(window_);
        note_->setAccessibleName(QStringLiteral("休息提醒"));
        QFont small = note_->font();
        small.setPixelSize(12);
        note_->setFont(small);
        QPalette pal = note_->palette();
        pal.setColor(QPalette::WindowText, QColor(90, 90, 90));
        note_->setPalette(pal);
        note_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (QWidget* corner = window_->control(names::kParentCornerButton))
        note_->setGeometry(kContentArea.left(), corner->y(), corner->x() - kContentArea.left() - 6, corner->height());
    note_->setVisible(shown);
    if (shown) note_->raise();
}

void ParentCorner::StartRest() {
    if (resting_ || !window_) return;
    resting_ = true;
    if (fullScreen_) LeaveFullScreen();
    ShowNote(false);
    // The pages window closes; the main window is all that shows.
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* other = qobject_cast<LoadedWindow*>(top); other && other != window_ && other->isVisible()) other->close();
    // The lesson is silenced and paused, the web pages muted.
    ApplyVolume();
    if (flash_) flash_->Pause();
    SetChildControlsEnabled(false);
    if (!restPicture_) {
        restPicture_ = new PictureBox(window_);
        restPicture_->setObjectName(QStringLiteral("休息图片"));
        restPicture_->setAccessibleName(QStringLiteral("休息一下"));
        restPicture_->SetPicture(QPixmap(QStringLiteral(":/assets/rest.png")));
        restPicture_->setGeometry(kContentArea);
    }
    // Over everything in the content area, the download display too; the "家长" button
    // stays above it.
    restPicture_->show();
    restPicture_->raise();
    if (QWidget* corner = window_->control(names::kParentCornerButton)) corner->raise();
}

void ParentCorner::EndRest() {
    resting_ = false;
    SetChildControlsEnabled(true);
    if (restPicture_) restPicture_->hide();
    ApplyVolume();
    if (flash_ && flash_->isVisible()) flash_->Play();
}

void ParentCorner::SetChildControlsEnabled(bool enabled) {
    if (!window_) return;
    if (QWidget* menu = window_->control(names::kLessonMenu)) menu->setEnabled(enabled);
    for (QWidget* button : PictureButtons(*window_)) button->setEnabled(enabled);
}

void ParentCorner::ToggleFullScreen() {
    if (fullScreen_)
        LeaveFullScreen();
    else
        EnterFullScreen();
}

void ParentCorner::EnterFullScreen() {
    // Only a lesson that shows, and not while the child rests or a dialog is open.
    if (!flash_ || resting_ || !flash_->isVisible() || QApplication::activeModalWidget()) return;
    flashHome_ = flash_->parentWidget();
    flashGeometry_ = flash_->geometry();
    // The sibling just above it, to go back under it.
    flashAbove_ = nullptr;
    const QObjectList& stack = flashHome_->children();
    for (qsizetype i = stack.indexOf(flash_) + 1; i < stack.size(); ++i)
        if (stack[i]->isWidgetType()) {
            flashAbove_ = static_cast<QWidget*>(stack[i]);
            break;
        }
    fullScreen_ = true;
    QScreen* screen = window_ && window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    flash_->setParent(nullptr, Qt::Window | Qt::FramelessWindowHint);
    // The whole screen also where no window manager makes a full-screen window so.
    if (screen) flash_->setGeometry(screen->geometry());
    flash_->showFullScreen();
    flash_->activateWindow();
    flash_->setFocus(Qt::OtherFocusReason);
    toggleFullScreenKey_->setEnabled(true);
    leaveFullScreenKey_->setEnabled(true);
}

void ParentCorner::LeaveFullScreen() {
    if (!fullScreen_ || !flash_) return;
    fullScreen_ = false;
    toggleFullScreenKey_->setEnabled(false);
    leaveFullScreenKey_->setEnabled(false);
    if (!flashHome_) {
        delete flash_;  // its window has gone
        return;
    }
    const bool shown = !flash_->isHidden();
    flash_->setParent(flashHome_, Qt::Widget);
    flash_->setGeometry(flashGeometry_);
    if (flashAbove_) flash_->stackUnder(flashAbove_);
    flash_->setVisible(shown);
    if (window_) window_->activateWindow();
}

}  // namespace pw

#include "app/parent_corner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWebEnginePage>

#include <string_view>

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

// The main window's eight picture buttons, left to right.
QList<QWidget*> PictureButtons(const LoadedWindow& window) {
    QList<QWidget*> buttons;
    for (int i = 1; i <= 8; ++i)
        if (QWidget* button = window.control(QStringLiteral("超级按钮%1").arg(i).toUtf8().constData()))
            buttons.append(button);
    return buttons;
}

// The content area of the main window, where the lesson, the pages and the rest picture show.
QRect ContentArea() {
    const ControlDescription* flash = FindControl(MainWindowDescription(), names::kFlashView);
    return flash ? QRect(flash->left, flash->top, flash->width, flash->height) : QRect();
}

// The control that lies just above the lesson in the main window: among the lesson's
// siblings, an earlier control of the description lies above a later one.
const char* ControlAboveLesson() {
    const char* above = nullptr;
    const ControlDescription* flash = FindControl(MainWindowDescription(), names::kFlashView);
    for (const ControlDescription& c : MainWindowDescription().controls) {
        if (&c == flash) break;
        if (flash && std::string_view(c.parent ? c.parent : "") == (flash->parent ? flash->parent : "")) above = c.name;
    }
    return above;
}

CornerClocks WithSystemClocks(CornerClocks clocks) {
    const CornerClocks system = SystemClocks();
    if (!clocks.wall) clocks.wall = system.wall;
    if (!clocks.monotonic) clocks.monotonic = system.monotonic;
    return clocks;
}

// The note five minutes before the session's end, in a strip of its window.
QLabel* NewNote(QWidget* parent, const QColor& colour, int pixelSize) {
    auto* note = new QLabel(parent);
    QFont font = note->font();
    font.setPixelSize(pixelSize);
    note->setFont(font);
    QPalette pal = note->palette();
    pal.setColor(QPalette::WindowText, colour);
    note->setPalette(pal);
    note->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    note->hide();
    return note;
}

QString NoteText(int minutesLeft) { return QStringLiteral("还有 %1 分钟就要休息啦").arg(minutesLeft); }

}  // namespace

// The lesson full screen: a window of its own that the lesson moves into and, however the
// window is closed (Esc, F11, the window manager's close, Alt+F4), out of again. It has
// its own rest picture and note, so that a rest and its note cover the full screen too.
class FullScreenLesson : public QWidget {
public:
    explicit FullScreenLesson(std::function<void()> closing)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), closing_(std::move(closing)) {
        setWindowTitle(QStringLiteral("Pebblewick2.0"));
        QPalette black = palette();
        black.setColor(QPalette::Window, Qt::black);
        setPalette(black);
        setAutoFillBackground(true);
        rest_ = new RestPicture(this);
        rest_->hide();
        // White on a dark band: readable over any lesson.
        note_ = NewNote(this, Qt::white, 20);
        note_->setAutoFillBackground(true);
        QPalette band = note_->palette();
        band.setColor(QPalette::Window, QColor(0, 0, 0, 170));
        note_->setPalette(band);
        note_->setAlignment(Qt::AlignCenter);
    }

    RestPicture* rest() const { return rest_; }
    QLabel* note() const { return note_; }
    // The lesson lies beneath the rest picture and the note.
    void Hold(QWidget* lesson) {
        lesson->setParent(this, Qt::Widget);
        lesson->setGeometry(rect());
        lesson->lower();
        lesson->show();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        closing_();
        QWidget::closeEvent(event);
    }
    void resizeEvent(QResizeEvent*) override {
        for (QObject* child : children())
            if (auto* w = qobject_cast<QWidget*>(child); w && w != note_) w->setGeometry(rect());
        constexpr int kNoteWidth = 320;
        note_->setGeometry(width() - kNoteWidth - 24, height() - 64, kNoteWidth, 40);
    }

private:
    std::function<void()> closing_;
    RestPicture* rest_ = nullptr;
    QLabel* note_ = nullptr;
};

ParentCorner::ParentCorner(ParentCornerSetup setup)
    : setup_(std::move(setup)),
      settings_(LoadParentSettings(setup_.settingsFile)),
      keeper_(*setup_.store, WithSystemClocks(setup_.clocks), settings_),
      random_(std::random_device{}()) {}

ParentCorner::~ParentCorner() {
    SetLeavingGuard({});
    LeaveFullScreen();
    keeper_.Save();  // what the session and the gate's pause have come to
}

void ParentCorner::Attach(LoadedWindow& mainWindow) {
    window_ = &mainWindow;
    flash_ = mainWindow.controlAs<FlashView>(names::kFlashView);
    windowIdentity_ = window_.data();
    flashIdentity_ = flash_.data();
    mainWindow.installEventFilter(this);  // closing, with the gate before leaving
    if (flash_) flash_->installEventFilter(this);  // hidden while full screen

    auto* openKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_P), &mainWindow);
    openKey->setContext(Qt::ApplicationShortcut);
    connect(openKey, &QShortcut::activated, this, &ParentCorner::Open);
    connect(new QShortcut(QKeySequence(Qt::Key_F11), &mainWindow), &QShortcut::activated, this,
            &ParentCorner::ToggleFullScreen);
    connect(new QShortcut(QKeySequence(Qt::Key_F6), &mainWindow), &QShortcut::activated, this,
            &ParentCorner::FocusLessonMenu);

    // The keyboard's order: the lesson menu, the eight picture buttons, the page or the
    // lesson or the shelf, "书架", "全屏", "家长". A page keeps Tab for its links and the lesson for its own
    // buttons; F6 comes back to the menu from either.
    QList<QWidget*> order{mainWindow.control(names::kLessonMenu)};
    order += PictureButtons(mainWindow);
    for (const char* name : {names::kWebView, names::kFlashView, names::kShelf, names::kShelfButton,
                             names::kFullScreenButton, names::kParentCornerButton})
        order.append(mainWindow.control(name));
    order.removeAll(nullptr);
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    // The menu has the focus from the start, without a frame until a key is pressed.
    if (!order.isEmpty()) order.front()->setFocus(Qt::OtherFocusReason);

    sessionPoll_ = new QTimer(this);
    sessionPoll_->setInterval(1000);
    connect(sessionPoll_, &QTimer::timeout, this, &ParentCorner::CheckSession);
    ApplySettings();
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
        LeaveFullScreen();  // the lesson goes back to go with the main window
        return false;
    }
    if (watched == flashIdentity_ && event->type() == QEvent::Hide && InFullScreen() && !event->spontaneous()) {
        // The program hid the lesson (a download began, a page was chosen): the full-screen
        // window goes too.
        QTimer::singleShot(0, this, [this] {
            if (InFullScreen() && flash_->isHidden()) fullScreen_->close();
        });
    }
    return false;
}

void ParentCorner::Open() {
    if (!window_ || !PassGate()) return;
    const ParentCornerPages pages{{setup_.store, WithSystemClocks(setup_.clocks).wall, setup_.lessonTitle},
                                  setup_.library, setup_.messages};
    ParentSettingsDialog dialog(settings_, setup_.downloadAll, pages,
                                [this](const ParentSettings& changed) { return ChangeSettings(changed); }, window_);
    settingsDialog_ = &dialog;
    dialog.ShowSaveFailure(SaveFailure());
    dialog.exec();
    settingsDialog_ = nullptr;
    // The session counts from the gate, with the minutes as they are now.
    keeper_.StartNewSession();
    CheckSession();
}

void ParentCorner::ShowDownloadAllState() {
    if (settingsDialog_) settingsDialog_->ShowDownloadAllState();
}

bool ParentCorner::PassGate() {
    LeaveFullScreen();
    ParentGateDialog gate({&keeper_, [this] { return static_cast<std::uint32_t>(random_()); }, settings_.gateCode},
                          window_);
    if (gate.exec() != QDialog::Accepted) return false;
    keeper_.StartNewSession();
    if (resting_) EndRest();
    CheckSession();
    return true;
}

bool ParentCorner::MayLeave() { return !settings_.gateBeforeLeaving || PassGate(); }

QString ParentCorner::ChangeSettings(const ParentSettings& settings) {
    settings_ = settings;
    keeper_.SetSettings(settings_);
    settingsError_ = SaveParentSettings(setup_.settingsFile, settings_);
    ApplySettings();
    return SaveFailure();
}

QString ParentCorner::SaveFailure() const {
    if (settingsError_ != 0)
        return QStringLiteral("设置没有保存：%1。在程序关闭以前，这些设置仍然有效。")
            .arg(QString::fromStdString(SaveFailureReason(settingsError_)));
    // The program goes on whatever the store's disk says; the parent is told.
    if (const int error = setup_.store->LastWriteError())
        return QStringLiteral("记录没有保存：%1").arg(QString::fromStdString(SaveFailureReason(error)));
    return {};
}

void ParentCorner::LessonShown(const Text& cacheName) { keeper_.LessonShown(cacheName); }

void ParentCorner::ApplySettings() {
    ApplyVolume();
    SetLeavingGuardFromSettings();
    // Also without a session limit: the history of use is written from it.
    if (sessionPoll_ && !sessionPoll_->isActive()) sessionPoll_->start();
    CheckSession();
}

void ParentCorner::ApplyVolume() {
    const bool silent = settings_.muted || resting_;
    if (flash_) flash_->SetVolume(silent ? 0.0 : settings_.volumePercent / 100.0);
    for (QWidget* top : QApplication::topLevelWidgets())
        for (WebView* view : top->findChildren<WebView*>()) PrepareWebView(*view);
}

void ParentCorner::PrepareWebView(WebView& view) { view.SetMuted(settings_.muted || resting_); }

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

void ParentCorner::CheckSession() {
    if (!window_) return;
    keeper_.SaveIfDue();
    if (settingsDialog_) settingsDialog_->ShowSaveFailure(SaveFailure());
    const SessionPhase phase = keeper_.Phase();
    if (phase == SessionPhase::Resting) {
        StartRest();
        return;
    }
    if (resting_) EndRest();  // its time has passed
    ShowNote(phase == SessionPhase::Note);
}

void ParentCorner::ShowNote(bool shown) {
    if (!window_ || (!shown && !note_)) return;
    if (!note_) {
        // Small and grey, in the strip below the content area, left of the corner's buttons.
        note_ = NewNote(window_, QColor(90, 90, 90), 12);
        QWidget* leftmost = window_->control(names::kShelfButton);
        if (!leftmost) leftmost = window_->control(names::kFullScreenButton);
        if (leftmost) {
            const int left = ContentArea().left();
            note_->setGeometry(left, leftmost->y(), leftmost->x() - left - 6, leftmost->height());
        }
    }
    // Read with its minutes: a label's accessible name is its text.
    const QString text = NoteText(keeper_.MinutesLeft());
    for (QLabel* note : {note_.data(), fullScreen_ ? fullScreen_->note() : nullptr}) {
        if (!note) continue;
        if (note->text() != text) note->setText(text);
        note->setVisible(shown && (note == note_ || InFullScreen()));
        if (shown) note->raise();
    }
}

void ParentCorner::StartRest() {
    if (resting_ || !window_) return;
    resting_ = true;
    ShowNote(false);
    // The pages window closes; the main window and the full-screen lesson are all that show.
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* other = qobject_cast<LoadedWindow*>(top); other && other != window_ && other->isVisible()) other->close();
    // The lesson is silenced and paused, the web pages muted.
    ApplyVolume();
    if (flash_) flash_->Pause();
    SetChildControlsEnabled(false);
    if (!restPicture_) {
        restPicture_ = new RestPicture(window_);
        restPicture_->setObjectName(QStringLiteral("休息图片"));
        restPicture_->setGeometry(ContentArea());
    }
    // Over everything in the content area, the download display too; the corner's
    // buttons stay above it.
    restPicture_->show();
    restPicture_->raise();
    for (const char* name : {names::kParentCornerButton, names::kFullScreenButton})
        if (QWidget* button = window_->control(name)) button->raise();
    // It takes the focus, so that a screen reader announces it.
    RestPicture* shown = restPicture_;
    if (InFullScreen()) {
        shown = fullScreen_->rest();
        shown->show();
        shown->raise();
    }
    shown->setFocus(Qt::OtherFocusReason);
}

void ParentCorner::EndRest() {
    resting_ = false;
    SetChildControlsEnabled(true);
    for (RestPicture* rest : {restPicture_.data(), fullScreen_ ? fullScreen_->rest() : nullptr})
        if (rest) rest->hide();
    ApplyVolume();
    if (flash_ && flash_->isVisible()) flash_->Play();
    if (!InFullScreen()) FocusLessonMenu();
    // Not within the gate's handling: what waited for the rest may show a window.
    if (setup_.restEnded) QTimer::singleShot(0, this, [this] { setup_.restEnded(); });
}

void ParentCorner::SetChildControlsEnabled(bool enabled) {
    if (!window_) return;
    if (QWidget* menu = window_->control(names::kLessonMenu)) menu->setEnabled(enabled);
    for (QWidget* button : PictureButtons(*window_)) button->setEnabled(enabled);
    // The views under the rest picture: Tab must not reach them while the child rests.
    if (QWidget* web = window_->control(names::kWebView)) web->setEnabled(enabled);
    if (flash_) flash_->setEnabled(enabled);
    // The shelf too: covered by the rest picture, its tiles and its button do nothing.
    for (const char* name : {names::kShelf, names::kShelfButton})
        if (QWidget* shelf = window_->control(name)) shelf->setEnabled(enabled);
}

QWidget* ParentCorner::FullScreenWindow() const { return InFullScreen() ? fullScreen_.get() : nullptr; }

bool ParentCorner::InFullScreen() const {
    return fullScreen_ && flash_ && flash_->parentWidget() == fullScreen_.get();
}

void ParentCorner::ToggleFullScreen() {
    if (InFullScreen())
        fullScreen_->close();
    else
        EnterFullScreen();
}

void ParentCorner::EnterFullScreen() {
    // Only a lesson that shows, and not while the child rests or a dialog is open.
    if (!flash_ || !window_ || resting_ || !flash_->isVisible() || QApplication::activeModalWidget()) return;
    if (!fullScreen_) {
        fullScreen_ = std::make_unique<FullScreenLesson>([this] { LeaveFullScreen(); });
        for (QKeySequence key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F11)})
            connect(new QShortcut(key, fullScreen_.get()), &QShortcut::activated, fullScreen_.get(), &QWidget::close);
        connect(new QShortcut(QKeySequence(Qt::Key_F6), fullScreen_.get()), &QShortcut::activated, this,
                &ParentCorner::FocusLessonMenu);
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    fullScreen_->Hold(flash_);
    // The whole screen also where no window manager makes a full-screen window so.
    if (screen) fullScreen_->setGeometry(screen->geometry());
    fullScreen_->showFullScreen();
    fullScreen_->activateWindow();
    flash_->setFocus(Qt::OtherFocusReason);
    ShowNote(note_ && note_->isVisible());
}

void ParentCorner::LeaveFullScreen() {
    if (!InFullScreen()) return;
    if (!window_) {
        fullScreen_->hide();
        return;  // the lesson goes with the full-screen window
    }
    // Back to its place in the content area, under the same controls as before, and shown
    // and playing on unless the program hid it meanwhile.
    const bool shown = !flash_->isHidden();
    const ControlDescription* place = FindControl(MainWindowDescription(), names::kFlashView);
    QWidget* home = place && place->parent ? window_->control(place->parent) : nullptr;
    flash_->setParent(home ? home : window_.data(), Qt::Widget);
    flash_->setGeometry(ContentArea());
    if (const char* above = ControlAboveLesson(); above && window_->control(above))
        flash_->stackUnder(window_->control(above));
    flash_->setVisible(shown);
    fullScreen_->rest()->hide();
    fullScreen_->note()->hide();
    fullScreen_->hide();
    window_->activateWindow();
}

void ParentCorner::FocusLessonMenu() {
    LeaveFullScreen();
    if (!window_) return;
    window_->activateWindow();
    if (QWidget* menu = window_->control(names::kLessonMenu)) menu->setFocus(Qt::ShortcutFocusReason);
}

}  // namespace pw

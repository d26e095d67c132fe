#include "ui/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

#include "host/qt_text.h"
#include "lessons/display.h"

namespace pw {
namespace {

// A container as a screen reader sees it: the frames that only decorate are left out.
class ContainerAccessible final : public QAccessibleWidget {
public:
    ContainerAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return static_cast<int>(Children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QWidgetList children = Children();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? static_cast<int>(Children().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QWidgetList Children() const {
        QWidgetList children;
        for (QObject* o : widget()->children())
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !qobject_cast<FrameBox*>(w))
                children.append(w);
        return children;
    }
};

// Qt asks about every object, the web engine's too, whose classes are built without RTTI:
// only the class name is looked at until the object is known to be one of ours.
QAccessibleInterface* ControlAccessibleFactory(const QString& className, QObject* object) {
    if (className == QStringLiteral("pw::RestPicture"))
        return new QAccessibleWidget(qobject_cast<QWidget*>(object), QAccessible::AlertMessage);
    if (className == QStringLiteral("pw::WeekChart"))
        return new QAccessibleWidget(qobject_cast<QWidget*>(object), QAccessible::Chart);
    // The background has no name: a plain container (a filler), which screen readers pass over.
    if (className == QStringLiteral("pw::PictureBox"))
        return new ContainerAccessible(qobject_cast<QWidget*>(object), QAccessible::Client);
    if (className == QStringLiteral("pw::LoadedWindow"))
        return new ContainerAccessible(qobject_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

}  // namespace

void InstallControlAccessibility() {
    static const bool installed = (QAccessible::installFactory(ControlAccessibleFactory), true);
    (void)installed;
}

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::SetPicture(const QString& file) {
    picture_.SetFile(file);
    update();
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const QPalette& pal = palette();
    p.fillRect(r, pal.button());

    const QPixmap& picture = this->picture();
    const QPoint at(kPictureLeft, (height() - picture.height()) / 2);
    p.save();
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    p.drawPixmap(at, picture);
    if (!text().isEmpty()) {
        p.setPen(pal.buttonText().color());
        p.drawText(QRect(at.x() + picture.width() + 2, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft,
                   text());
    }
    p.restore();

    if (isDown()) {
        // Pressed: a one-pixel frame in the shadow colour.
        p.setPen(pal.dark().color());
        p.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
        qDrawWinButton(&p, r, pal, false, nullptr);
    }
    if (hasFocus()) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat()) click();
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        focusNextChild();
        return;
    case Qt::Key_Left:
    case Qt::Key_Up:
        focusPreviousChild();
        return;
    default:
        QAbstractButton::keyPressEvent(event);
    }
}

CornerButton::CornerButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);
    if (parent) parent->installEventFilter(this);
}

bool CornerButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) KeepToCorner();
    return QPushButton::eventFilter(watched, event);
}

void CornerButton::KeepFromCorner(int right, int bottom) {
    fromRight_ = right;
    fromBottom_ = bottom;
    if (parentWidget()) KeepToCorner();
}

void CornerButton::KeepToCorner() {
    const QSize room = parentWidget()->size();
    move(room.width() - width() - fromRight_, room.height() - height() - fromBottom_);
}

FrameBox::FrameBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

int FrameBox::frameTop() const { return fontMetrics().height() / 2; }

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect().adjusted(0, frameTop(), 0, 0);
    qDrawShadeRect(&p, r, palette(), true, 1);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::SetPicture(const QString& file) {
    picture_.SetFile(file);
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_.Get());
}

RestPicture::RestPicture(QWidget* parent) : QWidget(parent), picture_(QStringLiteral(":/assets/rest.png")) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("休息一下"));
    setAccessibleDescription(QStringLiteral("玩了好一会儿啦，休息一下吧。休息时间过了，或者家长按“家长”按钮回答问题，就可以接着玩。"));
}

void RestPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // It fills its place, cut at two edges where the proportions differ (the full screen).
    const QSize filled = picture_.size().scaled(size(), Qt::KeepAspectRatioByExpanding);
    const QRect at(QPoint((width() - filled.width()) / 2, (height() - filled.height()) / 2), filled);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(at, picture_);
}

QString CaptionToDisplay(const Text& caption) {
    QString text = ToQString(caption);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
}

void StatusLabel::SetCaption(const Text& caption) { setText(CaptionToDisplay(caption)); }

StripLabel::StripLabel(QWidget* parent, Qt::Alignment alignment) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(alignment);
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(90, 90, 90));
    setPalette(pal);
}

StoredPositionBar::StoredPositionBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
}

void StoredPositionBar::SetPosition(std::int32_t position) {
    stored_ = StoredProgressPosition(position);
    // QProgressBar repaints at once for a new value, and in a window with web views that
    // composes the whole window on the UI thread: some 5 ms a step, while a download
    // runs and again before its lesson plays. The bar is drawn with the next frame.
    setUpdatesEnabled(false);
    setValue(DrawnProgressPosition(stored_));
    setUpdatesEnabled(true);  // asks for that frame
}

void StoredPositionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.base());
    qDrawShadePanel(&p, rect(), pal, true, 1);
    constexpr int kInset = 2;  // the frame and one pixel of ground around the chunks
    constexpr int kGap = 2;
    const QRect track = rect().adjusted(kInset, kInset, -kInset, -kInset);
    if (track.isEmpty() || maximum() <= minimum()) return;
    // Chunks are two thirds as wide as they are high; the filled length is rounded up to
    // whole chunks, which never reach past the track's end.
    const int chunk = std::max(2, track.height() * 2 / 3);
    const int filled = static_cast<int>(static_cast<long long>(track.width()) * (value() - minimum()) /
                                        (maximum() - minimum()));
    p.setClipRect(track);
    for (int x = 0; x < filled; x += chunk + kGap) {
        p.fillRect(QRect(track.left() + x, track.top(), chunk, track.height()), pal.highlight());
    }
}

}  // namespace pw

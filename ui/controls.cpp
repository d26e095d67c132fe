#include "ui/controls.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

#include "host/qt_text.h"
#include "lessons/display.h"

namespace pw {

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    const QPalette& pal = palette();
    p.fillRect(r, pal.button());

    const QPoint at(kPictureLeft, (height() - picture_.height()) / 2);
    p.save();
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    p.drawPixmap(at, picture_);
    if (!text().isEmpty()) {
        p.setPen(pal.buttonText().color());
        p.drawText(QRect(at.x() + picture_.width() + 2, 0, width(), height()), Qt::AlignVCenter | Qt::AlignLeft,
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

void CornerButton::KeepToCorner() {
    constexpr int kMargin = 2;
    const QSize room = parentWidget()->size();
    move(room.width() - width() - 2 * kMargin, room.height() - height() - kMargin);
}

FrameBox::FrameBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

int FrameBox::frameTop() const { return fontMetrics().height() / 2; }

void FrameBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect().adjusted(0, frameTop(), 0, 0);
    qDrawShadeRect(&p, r, palette(), true, 1);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
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
    setValue(DrawnProgressPosition(stored_));
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

#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <cstdint>

#include "core/text.h"

namespace pw {

// A raised 3-D push button whose face is a picture, drawn 3 pixels from the left edge and
// centred vertically; whatever passes the right edge is cut off.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);
    void SetPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }
    static constexpr int kPictureLeft = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter presses it too; the arrow keys go on to the neighbouring controls.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap picture_;
};

// A small, quiet text button that keeps to the bottom right corner of its parent, in
// whatever room the window's frame leaves there.
class CornerButton : public QPushButton {
    Q_OBJECT
public:
    explicit CornerButton(QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void KeepToCorner();
};

// A plain etched frame with an empty caption. Like the system's group box, its top
// line runs half a text line below the control's top edge.
class FrameBox : public QWidget {
    Q_OBJECT
public:
    explicit FrameBox(QWidget* parent = nullptr);
    int frameTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A container that paints one picture at its top-left corner, with no border.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void SetPicture(const QPixmap& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

// Static text: left-aligned, wrapped at word boundaries, ampersands literal.
class StatusLabel : public QLabel {
    Q_OBJECT
public:
    explicit StatusLabel(QWidget* parent = nullptr);
    // GBK caption; CR LF line breaks become lines.
    void SetCaption(const Text& caption);
};

// A small grey line in the strip below the content area.
class StripLabel : public QLabel {
    Q_OBJECT
public:
    StripLabel(QWidget* parent, Qt::Alignment alignment);
};

// The label's caption as the toolkit shows it.
QString CaptionToDisplay(const Text& caption);

// The system progress bar in blocks, range 0..100. A written position is clamped to
// 0..32767 and stored; reading returns the stored value; the bar draws it clamped to 0..100.
class StoredPositionBar : public QProgressBar {
    Q_OBJECT
public:
    explicit StoredPositionBar(QWidget* parent = nullptr);
    void SetPosition(std::int32_t position);
    std::int32_t Position() const { return stored_; }

protected:
    // Separate chunks with gaps between them, as the system bar draws in block mode.
    void paintEvent(QPaintEvent* event) override;

private:
    std::int32_t stored_ = 0;
};

}  // namespace pw

#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <cstdint>
#include <utility>

#include "core/text.h"

namespace pw {

// A picture read from its file when it is first drawn, so that a window shows without
// waiting for its pictures to be decoded.
class PictureFile {
public:
    void SetFile(const QString& file) {
        file_ = file;
        picture_ = QPixmap();
    }
    const QPixmap& Get() const {
        if (!file_.isEmpty()) picture_.load(std::exchange(file_, QString()));
        return picture_;
    }

private:
    mutable QString file_;  // until read
    mutable QPixmap picture_;
};

// A raised 3-D push button whose face is a picture, drawn 3 pixels from the left edge and
// centred vertically; whatever passes the right edge is cut off.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(QWidget* parent = nullptr);
    void SetPicture(const QString& file);
    const QPixmap& picture() const { return picture_.Get(); }
    static constexpr int kPictureLeft = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Enter presses it too; the arrow keys go on to the neighbouring controls.
    void keyPressEvent(QKeyEvent* event) override;

private:
    PictureFile picture_;
};

// A small, quiet text button that keeps to the bottom right corner of its parent, in
// whatever room the window's frame leaves there.
class CornerButton : public QPushButton {
    Q_OBJECT
public:
    explicit CornerButton(QWidget* parent = nullptr);
    // How far its right and bottom edges keep from the parent's.
    void KeepFromCorner(int right, int bottom);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void KeepToCorner();

    int fromRight_ = 4;
    int fromBottom_ = 2;
};

// A plain etched frame with an empty caption. Like the system's group box, its top
// line runs half a text line below the control's top edge. It only decorates: a screen
// reader does not see it among its parent's children.
class FrameBox : public QWidget {
    Q_OBJECT
public:
    explicit FrameBox(QWidget* parent = nullptr);
    int frameTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A container that paints one picture at its top-left corner, with no border. A screen
// reader sees its controls, not the picture.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void SetPicture(const QString& file);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureFile picture_;
};

// The calm picture shown while the child rests, scaled to fill its place. It takes the
// focus, and a screen reader meets it as an alert that reads its name and description.
class RestPicture : public QWidget {
    Q_OBJECT
public:
    explicit RestPicture(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};

// How screen readers see the window's containers and the rest picture; run before the
// first window is made.
void InstallControlAccessibility();

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

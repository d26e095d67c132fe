#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QPixmap>
#include <QScrollArea>

#include <vector>

#include "lessons/shelf.h"

namespace pw {

// A lesson's picture at `size` for its tile: read bounded (at most 256 KiB, PNG or JPEG by
// its first bytes, at most 1024 x 1024), decoded at that size and kept in a cache of about
// 4 MiB by file and modification time; null when there is none to show.
QPixmap TilePicture(const QString& path, QSize size);
// Empties that cache (benchmarks start from nothing).
void ClearTilePictures();
// The picture of a lesson that has none: the first character of its title on its
// group's colour.
QPixmap DrawnTilePicture(const QString& title, int group, QSize size);

// A lesson's tile: its picture, its title and the green dot when it is on this computer.
// A button named by the title, as the menu's row is.
class ShelfTileButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr QSize kPictureSize{160, 120};

    ShelfTileButton(const ShelfTile& tile, QWidget* parent);
    const ShelfTile& tile() const { return tile_; }
    void SetTile(const ShelfTile& tile);
    QSize sizeHint() const override;

signals:
    // An arrow key: the shelf moves the focus to the neighbouring tile.
    void moveRequested(ShelfTileButton* from, int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ShelfTile tile_;
};

// The heart on a tile: a toggle named "最喜欢" and the title.
class ShelfHeart : public QAbstractButton {
    Q_OBJECT
public:
    ShelfHeart(const ShelfTile& tile, QWidget* parent);
    void SetTile(const ShelfTile& tile);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The shelf in the content area: a group per row (named by its heading), its tiles in
// lines that wrap, scrolled up and down. Arrows move between tiles, Enter or Space
// chooses one, Tab reaches the hearts as well, Esc leaves.
class Shelf : public QScrollArea {
    Q_OBJECT
public:
    explicit Shelf(QWidget* parent = nullptr);

    // Rows whose tiles are the same lessons as before are kept and brought up to date;
    // only rows that changed are made anew.
    void SetRows(const std::vector<ShelfRow>& rows);
    const std::vector<ShelfRow>& rows() const { return rows_; }
    void SetLessonReady(int group, int item, bool ready);
    // The tiles top to bottom, for the keyboard and for tests.
    QList<ShelfTileButton*> Tiles() const;
    QList<ShelfHeart*> Hearts() const;
    void FocusFirstTile();

signals:
    void tileClicked(int group, int item);
    void favouriteClicked(int group, int item);
    void leaveRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QGroupBox* MakeRow(const ShelfRow& row);
    void LayOut();
    void MoveFocus(ShelfTileButton* from, int key);

    std::vector<ShelfRow> rows_;
    std::vector<QGroupBox*> rowBoxes_;
    QWidget* content_ = nullptr;
};

}  // namespace pw

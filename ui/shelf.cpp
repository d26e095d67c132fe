#include "ui/shelf.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QCache>
#include <QScrollBar>

#include <algorithm>
#include <limits>

#include "core/files.h"
#include "host/qt_text.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_pictures.h"
#include "ui/roll_up_menu.h"

namespace pw {
namespace {

constexpr int kTileWidth = 168;
constexpr int kTileHeight = 150;
constexpr int kGap = 8;
constexpr int kRowTop = 26;  // below the row's heading
constexpr int kHeartSize = 30;
constexpr int kMaxPictureSide = 1024;

// The tiles' pictures as painted, the most recently used kept: about 50 tiles' worth, more
// than two screens of the shelf. Cost in KiB.
constexpr int kPictureCacheKiB = 4 * 1024;

QCache<QString, QPixmap>& PictureCache() {
    static QCache<QString, QPixmap> cache(kPictureCacheKiB);
    return cache;
}

int CostKiB(const QPixmap& picture) {
    return std::max(1, picture.width() * picture.height() * picture.depth() / 8 / 1024);
}

// Soft colours, one per menu group, for the pictures drawn from a title.
constexpr QRgb kGroupColours[] = {0xF4A261, 0x7FB3D5, 0xB39DDB, 0x81C784, 0xF48FB1, 0xFFD54F, 0x4DB6AC, 0xBCAAA4};

QString TileName(const ShelfTile& tile) { return LessonAccessibleName(ToQString(tile.title), tile.ready); }

// The image at `path` scaled to cover `size`, its middle kept; null when it is not a
// picture we read.
QImage DecodeCovering(const QString& path, QSize size) {
    const auto bytes = ReadSmallFile(FromQString(path), kPictureFileLimit);
    if (!bytes || !IsPictureFile(*bytes)) return {};
    QByteArray data = QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, bytes->starts_with("\x89PNG") ? "png" : "jpeg");
    const QSize full = reader.size();
    if (!full.isValid() || full.isEmpty() || full.width() > kMaxPictureSide || full.height() > kMaxPictureSide) return {};
    const qreal scale = std::max(qreal(size.width()) / full.width(), qreal(size.height()) / full.height());
    const QSize scaled(std::max(size.width(), qRound(full.width() * scale)), std::max(size.height(), qRound(full.height() * scale)));
    reader.setScaledSize(scaled);
    const QImage image = reader.read();
    if (image.isNull()) return {};
    return image.copy(QRect(QPoint((image.width() - size.width()) / 2, (image.height() - size.height()) / 2), size));
}

}  // namespace

QPixmap TilePicture(const QString& path, QSize size) {
    if (path.isEmpty()) return {};
    const QFileInfo file(path);
    if (!file.exists()) return {};
    const QString key = QStringLiteral("shelf:%1:%2:%3x%4")
                            .arg(path)
                            .arg(file.lastModified().toMSecsSinceEpoch())
                            .arg(size.width())
                            .arg(size.height());
    static QHash<QString, bool> unreadable;  // not read again on every paint
    if (const QPixmap* cached = PictureCache().object(key)) return *cached;
    if (unreadable.contains(key)) return {};
    QPixmap picture = QPixmap::fromImage(DecodeCovering(path, size));
    if (picture.isNull())
        unreadable.insert(key, true);
    else
        PictureCache().insert(key, new QPixmap(picture), CostKiB(picture));
    return picture;
}

void ClearTilePictures() { PictureCache().clear(); }

QPixmap DrawnTilePicture(const QString& title, int group, QSize size) {
    const QString key = QStringLiteral("shelf-drawn:%1:%2:%3x%4").arg(title.left(1)).arg(group).arg(size.width()).arg(size.height());
    if (const QPixmap* cached = PictureCache().object(key)) return *cached;
    QPixmap picture(size);
    picture.fill(QColor::fromRgb(kGroupColours[static_cast<std::size_t>(std::max(group, 0)) % std::size(kGroupColours)]));
    QPainter p(&picture);
    QFont font = SongTiFont();
    font.setPixelSize(size.height() * 2 / 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(picture.rect(), Qt::AlignCenter, title.left(1));
    p.end();
    PictureCache().insert(key, new QPixmap(picture), CostKiB(picture));
    return picture;
}

ShelfTileButton::ShelfTileButton(const ShelfTile& tile, QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(kTileWidth, kTileHeight);
    SetTile(tile);
}

void ShelfTileButton::SetTile(const ShelfTile& tile) {
    if (tile == tile_ && !accessibleName().isEmpty()) return;
    tile_ = tile;
    setAccessibleName(TileName(tile_));
    update();
}

QSize ShelfTileButton::sizeHint() const { return {kTileWidth, kTileHeight}; }

void ShelfTileButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect pictureRect(QPoint((width() - kPictureSize.width()) / 2, 4), kPictureSize);
    QPixmap picture = TilePicture(ToQString(tile_.picture), kPictureSize);
    if (picture.isNull()) picture = DrawnTilePicture(ToQString(tile_.title), tile_.group, kPictureSize);
    p.drawPixmap(pictureRect, picture);

    QRect titleRect(pictureRect.left(), pictureRect.bottom() + 4, pictureRect.width(), height() - pictureRect.bottom() - 6);
    if (tile_.ready) {
        const int dot = RollUpMenu::kReadyDotSize;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(RollUpMenu::kReadyDotColour);
        p.drawEllipse(QRect(titleRect.left(), titleRect.center().y() - dot / 2, dot, dot));
        titleRect.setLeft(titleRect.left() + dot + 4);
    }
    p.setFont(SongTiFont());
    p.setPen(palette().windowText().color());
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(ToQString(tile_.title), Qt::ElideRight, titleRect.width()));
    if (hasFocus() || isDown()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 140, 0), 3));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void ShelfTileButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        click();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        emit moveRequested(this, event->key());
        return;
    default:
        QAbstractButton::keyPressEvent(event);
    }
}

ShelfHeart::ShelfHeart(const ShelfTile& tile, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(kHeartSize, kHeartSize);
    SetTile(tile);
}

void ShelfHeart::SetTile(const ShelfTile& tile) {
    setAccessibleName(QStringLiteral("最喜欢") + ToQString(tile.title));
    setChecked(tile.favourite);
}

void ShelfHeart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width(), h = height();
    QPainterPath heart;
    heart.moveTo(w / 2, h * 0.85);
    heart.cubicTo(w * 0.05, h * 0.55, w * 0.1, h * 0.1, w / 2, h * 0.3);
    heart.cubicTo(w * 0.9, h * 0.1, w * 0.95, h * 0.55, w / 2, h * 0.85);
    p.setPen(QPen(isChecked() ? QColor(200, 30, 60) : QColor(255, 255, 255), 2));
    p.setBrush(isChecked() ? QColor(235, 50, 80) : QColor(0, 0, 0, 70));
    p.drawPath(heart);
    if (hasFocus()) {
        p.setPen(QPen(QColor(255, 140, 0), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

Shelf::Shelf(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setFocusPolicy(Qt::NoFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 250, 240));
    setPalette(pal);
    setAutoFillBackground(true);
    content_ = new QWidget;
    content_->setAutoFillBackground(true);
    content_->setPalette(pal);
    setWidget(content_);
}

QGroupBox* Shelf::MakeRow(const ShelfRow& row) {
    auto* box = new QGroupBox(ToQString(row.heading), content_);
    box->setFlat(true);
    QFont heading = SongTiFont();
    heading.setPixelSize(16);
    heading.setBold(true);
    box->setFont(heading);
    for (const ShelfTile& tile : row.tiles) {
        auto* button = new ShelfTileButton(tile, box);
        auto* heart = new ShelfHeart(tile, box);
        connect(button, &QAbstractButton::clicked, this, [this, button] {
            emit tileClicked(button->tile().group, button->tile().item);
        });
        connect(button, &ShelfTileButton::moveRequested, this, &Shelf::MoveFocus);
        connect(heart, &QAbstractButton::clicked, this, [this, button, heart] {
            heart->setChecked(button->tile().favourite);  // the program's answer decides it
            emit favouriteClicked(button->tile().group, button->tile().item);
        });
    }
    box->show();
    return box;
}

void Shelf::SetRows(const std::vector<ShelfRow>& rows) {
    const auto sameLessons = [](const ShelfRow& a, const ShelfRow& b) {
        return a.heading == b.heading && a.tiles.size() == b.tiles.size() &&
               std::equal(a.tiles.begin(), a.tiles.end(), b.tiles.begin(),
                          [](const ShelfTile& x, const ShelfTile& y) { return x.cacheName == y.cacheName; });
    };
    std::vector<QGroupBox*> boxes;
    std::vector<bool> reused(rowBoxes_.size(), false);
    for (const ShelfRow& row : rows) {
        QGroupBox* box = nullptr;
        for (std::size_t old = 0; old < rows_.size() && !box; ++old) {
            if (reused[old] || !sameLessons(rows_[old], row)) continue;
            reused[old] = true;
            box = rowBoxes_[old];
            const auto tiles = box->findChildren<ShelfTileButton*>(Qt::FindDirectChildrenOnly);
            const auto hearts = box->findChildren<ShelfHeart*>(Qt::FindDirectChildrenOnly);
            for (std::size_t i = 0; i < row.tiles.size(); ++i) {
                tiles[static_cast<qsizetype>(i)]->SetTile(row.tiles[i]);
                hearts[static_cast<qsizetype>(i)]->SetTile(row.tiles[i]);
            }
        }
        boxes.push_back(box ? box : MakeRow(row));
    }
    // A row may go while one of its hearts is still being clicked.
    for (std::size_t old = 0; old < rowBoxes_.size(); ++old) {
        if (reused[old]) continue;
        rowBoxes_[old]->hide();
        rowBoxes_[old]->deleteLater();
    }
    rows_ = rows;
    rowBoxes_ = std::move(boxes);
    LayOut();
}

void Shelf::LayOut() {
    const int width = viewport()->width();
    const int columns = std::max(1, (width - kGap) / (kTileWidth + kGap));
    const int left = (width - columns * (kTileWidth + kGap) + kGap) / 2;
    int y = kGap;
    for (QGroupBox* box : rowBoxes_) {
        const auto tiles = box->findChildren<ShelfTileButton*>(Qt::FindDirectChildrenOnly);
        const auto hearts = box->findChildren<ShelfHeart*>(Qt::FindDirectChildrenOnly);
        for (qsizetype i = 0; i < tiles.size(); ++i) {
            const QPoint at(left + static_cast<int>(i % columns) * (kTileWidth + kGap),
                            kRowTop + static_cast<int>(i / columns) * (kTileHeight + kGap));
            tiles[i]->move(at);
            hearts[i]->move(at + QPoint(kTileWidth - kHeartSize - 8, 8));
            hearts[i]->raise();
        }
        const int lines = static_cast<int>((tiles.size() + columns - 1) / columns);
        const int height = kRowTop + lines * (kTileHeight + kGap);
        box->setGeometry(0, y, width, height);
        y += height + kGap;
    }
    content_->resize(width, y);
}

void Shelf::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    LayOut();
}

QList<ShelfTileButton*> Shelf::Tiles() const {
    QList<ShelfTileButton*> tiles;
    for (QGroupBox* box : rowBoxes_) tiles += box->findChildren<ShelfTileButton*>(Qt::FindDirectChildrenOnly);
    return tiles;
}

QList<ShelfHeart*> Shelf::Hearts() const {
    QList<ShelfHeart*> hearts;
    for (QGroupBox* box : rowBoxes_) hearts += box->findChildren<ShelfHeart*>(Qt::FindDirectChildrenOnly);
    return hearts;
}

void Shelf::SetLessonReady(int group, int item, bool ready) {
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        for (std::size_t i = 0; i < rows_[r].tiles.size(); ++i) {
            ShelfTile& tile = rows_[r].tiles[i];
            if (tile.group != group || tile.item != item || tile.ready == ready) continue;
            tile.ready = ready;
            rowBoxes_[r]->findChildren<ShelfTileButton*>(Qt::FindDirectChildrenOnly)[static_cast<qsizetype>(i)]->SetTile(tile);
        }
    }
}

void Shelf::FocusFirstTile() {
    verticalScrollBar()->setValue(0);
    if (const auto tiles = Tiles(); !tiles.isEmpty()) tiles.front()->setFocus(Qt::OtherFocusReason);
}

void Shelf::MoveFocus(ShelfTileButton* from, int key) {
    const QList<ShelfTileButton*> tiles = Tiles();
    ShelfTileButton* best = nullptr;
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        // The previous or next tile in reading order, on to the next line and row.
        const qsizetype at = tiles.indexOf(from) + (key == Qt::Key_Right ? 1 : -1);
        if (at >= 0 && at < tiles.size()) best = tiles[at];
    } else {
        // The nearest tile of the nearest line above or below.
        const QPoint here = from->mapTo(content_, from->rect().center());
        long long bestScore = std::numeric_limits<long long>::max();
        for (ShelfTileButton* tile : tiles) {
            const QPoint there = tile->mapTo(content_, tile->rect().center());
            const int dx = there.x() - here.x(), dy = there.y() - here.y();
            if (key == Qt::Key_Up ? dy >= 0 : dy <= 0) continue;
            const long long score = 100000LL * std::abs(dy) + std::abs(dx);
            if (score < bestScore) {
                bestScore = score;
                best = tile;
            }
        }
    }
    if (!best) return;
    best->setFocus(Qt::TabFocusReason);
    ensureWidgetVisible(best, 0, kRowTop + kGap);
}

bool Shelf::focusNextPrevChild(bool next) {
    // Tab goes through the rows in order, each tile and then its heart; past the first or
    // the last, on to the window's other controls.
    QList<QWidget*> order;
    const QList<ShelfTileButton*> tiles = Tiles();
    const QList<ShelfHeart*> hearts = Hearts();
    for (qsizetype i = 0; i < tiles.size(); ++i) order << tiles[i] << hearts[i];
    const qsizetype to = order.indexOf(QApplication::focusWidget()) + (next ? 1 : -1);
    if (!order.contains(QApplication::focusWidget()) || to < 0 || to >= order.size())
        return QScrollArea::focusNextPrevChild(next);
    order[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    ensureWidgetVisible(order[to], 0, kRowTop + kGap);
    return true;
}

void Shelf::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit leaveRequested();
        return;
    }
    QScrollArea::keyPressEvent(event);
}

}  // namespace pw

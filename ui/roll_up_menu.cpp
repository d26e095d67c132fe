#include "ui/roll_up_menu.h"

#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace pw {

QFont SongTiFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

RollUpMenu::RollUpMenu(QWidget* parent) : QWidget(parent), font_(SongTiFont()) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RollUpMenu::SetGroups(QList<Group> groups) {
    groups_ = std::move(groups);
    openGroup_ = groups_.isEmpty() ? -1 : 0;
    selectedGroup_ = selectedItem_ = -1;
    scroll_ = 0;
    update();
}

void RollUpMenu::SetItemReady(int group, int item, bool ready) {
    const bool changed = ready ? ready_.insert({group, item}).second : ready_.erase({group, item}) > 0;
    if (changed && group == openGroup_) update();
}

void RollUpMenu::OpenGroup(int group) {
    if (group < 0 || group >= groups_.size() || group == openGroup_) return;
    openGroup_ = group;
    scroll_ = 0;
    hoverItem_ = -1;
    update();
}

QRect RollUpMenu::headerRect(int group) const {
    const int count = static_cast<int>(groups_.size());
    if (group < 0 || group >= count) return {};
    // Headers up to the open group stack at the top, the rest at the bottom.
    const int top = group <= openGroup_ ? group * kHeaderHeight : height() - (count - group) * kHeaderHeight;
    return {0, top, width(), kHeaderHeight};
}

QRect RollUpMenu::ItemArea() const {
    const int count = static_cast<int>(groups_.size());
    const int top = (openGroup_ + 1) * kHeaderHeight;
    const int bottom = height() - (count - openGroup_ - 1) * kHeaderHeight;
    return {0, top, width(), std::max(0, bottom - top)};
}

QRect RollUpMenu::itemRect(int item) const {
    const QRect area = ItemArea();
    return {0, area.top() + 4 + item * kItemHeight - scroll_, width(), kItemHeight};
}

int RollUpMenu::MaxScroll() const {
    if (openGroup_ < 0) return 0;
    const int content = 8 + static_cast<int>(groups_[openGroup_].items.size()) * kItemHeight;
    return std::max(0, content - ItemArea().height());
}

RollUpMenu::Hit RollUpMenu::HitTest(QPoint pos) const {
    Hit hit;
    for (int g = 0; g < groups_.size(); ++g)
        if (headerRect(g).contains(pos)) hit.header = g;
    if (hit.header >= 0 || openGroup_ < 0 || !ItemArea().contains(pos)) return hit;
    for (int i = 0; i < groups_[openGroup_].items.size(); ++i)
        if (itemRect(i).contains(pos)) hit.item = i;
    return hit;
}

void RollUpMenu::PaintReadyItem(QPainter& p, const QRect& item, const QString& name) const {
    // The dot goes before the centred name; a name too wide to leave room for it moves
    // right, and one that would then run into the frame is narrowed to fit.
    constexpr int kGap = 2;
    const int nameWidth = p.fontMetrics().horizontalAdvance(name);
    const int centredLeft = item.left() + (item.width() - nameWidth) / 2;
    const int dotLeft = std::max(item.left() + 1, centredLeft - kGap - kReadyDotSize);
    const int nameLeft = std::max(centredLeft, dotLeft + kReadyDotSize + kGap);
    const int room = item.right() - 1 - nameLeft;  // the frame's line is the last column

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1));  // a light ring keeps the dot clear of the grey
    p.setBrush(kReadyDotColour);
    p.drawEllipse(QRectF(dotLeft, item.center().y() - kReadyDotSize / 2.0 + 0.5, kReadyDotSize, kReadyDotSize));
    p.restore();

    p.save();
    p.translate(nameLeft, item.top());
    if (nameWidth > room) p.scale(static_cast<qreal>(room) / nameWidth, 1.0);
    p.drawText(QRect(0, 0, nameWidth, item.height()), Qt::AlignCenter, name);
    p.restore();
}

void RollUpMenu::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font_);
    p.fillRect(rect(), colours_.background);

    if (openGroup_ >= 0) {
        const QRect area = ItemArea();
        p.save();
        p.setClipRect(area);
        const QStringList& items = groups_[openGroup_].items;
        for (int i = 0; i < items.size(); ++i) {
            const QRect r = itemRect(i);
            if (!r.intersects(area)) continue;
            QColor colour = colours_.itemText;
            if (openGroup_ == selectedGroup_ && i == selectedItem_)
                colour = colours_.itemSelectedText;
            else if (i == hoverItem_)
                colour = colours_.itemHoverText;
            p.setPen(colour);
            if (itemReady(openGroup_, i))
                PaintReadyItem(p, r, items[i]);
            else
                p.drawText(r, Qt::AlignCenter, items[i]);
        }
        p.restore();
    }

    for (int g = 0; g < groups_.size(); ++g) {
        const QRect r = headerRect(g);
        p.fillRect(r, palette().button());
        const bool down = g == pressedHeader_;
        // A raised header: light upper and left edges, dark lower and right edges.
        const QColor light = down ? colours_.darkShadowBorder : colours_.highlightBorder;
        const QColor dark = down ? colours_.highlightBorder : colours_.darkShadowBorder;
        p.setPen(light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(colours_.folderText);
        p.drawText(r.adjusted(2, 0, -2, 0), Qt::AlignCenter, groups_[g].header);
    }
    // The frame around the whole menu.
    p.setPen(colours_.face);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void RollUpMenu::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Hit hit = HitTest(event->position().toPoint());
    pressedHeader_ = hit.header;
    pressedItem_ = hit.item;
    update();
}

void RollUpMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Hit hit = HitTest(event->position().toPoint());
    const int pressedHeader = std::exchange(pressedHeader_, -1);
    const int pressedItem = std::exchange(pressedItem_, -1);
    if (hit.header >= 0 && hit.header == pressedHeader) {
        OpenGroup(hit.header);
    } else if (hit.item >= 0 && hit.item == pressedItem) {
        selectedGroup_ = openGroup_;
        selectedItem_ = hit.item;
        repaint();
        // Reported once the menu has finished with the click.
        const int group = openGroup_, item = hit.item;
        QMetaObject::invokeMethod(this, [this, group, item] { emit itemClicked(group, item); },
                                  Qt::QueuedConnection);
    }
    update();
}

void RollUpMenu::mouseMoveEvent(QMouseEvent* event) {
    const Hit hit = HitTest(event->position().toPoint());
    if (hit.item != hoverItem_ || hit.header != hoverHeader_) {
        hoverItem_ = hit.item;
        hoverHeader_ = hit.header;
        update();
    }
}

void RollUpMenu::leaveEvent(QEvent*) {
    hoverItem_ = hoverHeader_ = -1;
    update();
}

void RollUpMenu::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    scroll_ = std::clamp(scroll_ - steps * kItemHeight, 0, MaxScroll());
    update();
}

}  // namespace pw

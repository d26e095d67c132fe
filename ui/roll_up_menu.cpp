#include "ui/roll_up_menu.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPointer>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace pw {
namespace {

// One row of the menu as a screen reader sees it: a header (a tab that opens its group)
// or an item (a lesson).
class MenuRowAccessible final : public QAccessibleInterface {
public:
    MenuRowAccessible(RollUpMenu* menu, RollUpMenu::Row row) : menu_(menu), row_(row) {}

    bool isValid() const override { return menu_ != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return menu_ ? menu_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(menu_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && menu_ ? menu_->ItemAccessibleName(row_.group, row_.item) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!menu_) return {};
        const QRect r = menu_->rowRect(row_);
        return {menu_->mapToGlobal(r.topLeft()), r.size()};
    }
    QAccessible::Role role() const override { return row_.item < 0 ? QAccessible::PageTab : QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = row_.item >= 0;
        s.focused = menu_ && menu_->hasFocus() && menu_->currentRow() == row_;
        s.selected = menu_ && row_.item >= 0 && menu_->selectedItem() == QPoint(row_.group, row_.item);
        s.expanded = menu_ && row_.item < 0 && menu_->openGroup() == row_.group;
        return s;
    }

    const RollUpMenu::Row& row() const { return row_; }

private:
    QPointer<RollUpMenu> menu_;
    RollUpMenu::Row row_;
};

// The menu as a screen reader sees it: a list of its rows. Row interfaces are kept for
// the menu's life, so that a reader may hold on to them.
class RollUpMenuAccessible final : public QAccessibleWidget {
public:
    explicit RollUpMenuAccessible(RollUpMenu* menu) : QAccessibleWidget(menu, QAccessible::List) {}
    ~RollUpMenuAccessible() override {
        for (MenuRowAccessible* row : std::as_const(rows_))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(row));
    }

    int childCount() const override { return static_cast<int>(menu()->Rows().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<RollUpMenu::Row> rows = menu()->Rows();
        return index >= 0 && index < rows.size() ? Row(rows[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (MenuRowAccessible* row : rows_)
            if (row == child) return static_cast<int>(menu()->Rows().indexOf(row->row()));
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        return menu()->hasFocus() ? Row(menu()->currentRow()) : nullptr;
    }

    MenuRowAccessible* Row(const RollUpMenu::Row& row) const {
        for (MenuRowAccessible* known : rows_)
            if (known->row() == row) return known;
        auto* made = new MenuRowAccessible(menu(), row);
        QAccessible::registerAccessibleInterface(made);
        rows_.append(made);
        return made;
    }

private:
    RollUpMenu* menu() const { return static_cast<RollUpMenu*>(object()); }
    mutable QList<MenuRowAccessible*> rows_;
};

QAccessibleInterface* RollUpMenuAccessibleFactory(const QString& className, QObject* object) {
    if (className == QStringLiteral("pw::RollUpMenu") && object && object->isWidgetType())
        return new RollUpMenuAccessible(static_cast<RollUpMenu*>(object));
    return nullptr;
}

}  // namespace

QFont SongTiFont() {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

RollUpMenu::RollUpMenu(QWidget* parent) : QWidget(parent), font_(SongTiFont()) {
    static const bool factoryInstalled = (QAccessible::installFactory(RollUpMenuAccessibleFactory), true);
    (void)factoryInstalled;
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The keyboard reaches it with Tab; a click leaves the focus where it was, so the
    // mouse sees the menu as it always was.
    setFocusPolicy(Qt::TabFocus);
}

RollUpMenu::Texts RollUpMenu::TextsOf(const Row& row) const {
    if (row.group < 0 || row.group >= groups_.size()) return {};
    const QStringList& items = groups_[row.group].items;
    return {groups_[row.group].header, row.item >= 0 && row.item < items.size() ? items[row.item] : QString(),
            row.item >= 0};
}

RollUpMenu::Row RollUpMenu::RowOf(const Texts& texts) const {
    for (int g = 0; g < groups_.size(); ++g) {
        if (groups_[g].header != texts.header) continue;
        if (!texts.isItem) return {g, -1};
        if (const int i = static_cast<int>(groups_[g].items.indexOf(texts.item)); i >= 0) return {g, i};
    }
    return {-1, -1};
}

void RollUpMenu::SetGroups(QList<Group> groups) {
    // Whatever the child is on is found again by its texts: the open group, the selected
    // item, the keyboard's row, a press not yet released, and the item under the pointer,
    // which stays where it is on the screen.
    const Hit under = pointer_ ? HitTest(*pointer_) : Hit{};
    const Texts underPointer = TextsOf({openGroup_, under.item});
    const int underTop = under.item >= 0 ? itemRect(under.item).top() : 0;
    const Texts open = TextsOf({openGroup_, -1});
    const Texts selected = TextsOf({selectedGroup_, selectedItem_});
    const Texts current = TextsOf(current_);
    const Texts pressed = TextsOf({openGroup_, pressedItem_});
    const Texts pressedHeader = TextsOf({pressedHeader_, -1});

    groups_ = std::move(groups);
    ready_.clear();
    const Row anchor = under.item >= 0 ? RowOf(underPointer) : Row{-1, -1};
    const int openAgain = anchor.group >= 0 ? anchor.group : RowOf(open).group;
    openGroup_ = openAgain >= 0 ? openAgain : (groups_.isEmpty() ? -1 : 0);
    if (anchor.group >= 0)
        scroll_ += itemRect(anchor.item).top() - underTop;
    else if (openAgain < 0)
        scroll_ = 0;
    scroll_ = std::clamp(scroll_, 0, MaxScroll());

    const Row selectedRow = RowOf(selected);
    selectedGroup_ = selectedRow.item >= 0 ? selectedRow.group : -1;
    selectedItem_ = selectedRow.item >= 0 ? selectedRow.item : -1;
    const Row currentRow = RowOf(current);
    current_ = Rows().contains(currentRow) ? currentRow : Row{openGroup_, -1};
    const Row pressedRow = RowOf(pressed);
    pressedItem_ = pressedRow.group == openGroup_ ? pressedRow.item : -1;
    pressedHeader_ = RowOf(pressedHeader).group;
    const Hit hover = pointer_ ? HitTest(*pointer_) : Hit{};
    hoverItem_ = hover.item;
    hoverHeader_ = hover.header;
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

QList<RollUpMenu::Row> RollUpMenu::Rows() const {
    QList<Row> rows;
    for (int g = 0; g < groups_.size(); ++g) {
        rows.append({g, -1});
        if (g == openGroup_)
            for (int i = 0; i < groups_[g].items.size(); ++i) rows.append({g, i});
    }
    return rows;
}

QRect RollUpMenu::rowRect(const Row& row) const {
    if (row.item < 0) return headerRect(row.group);
    return row.group == openGroup_ ? itemRect(row.item) : QRect();
}

QString RollUpMenu::ItemAccessibleName(int group, int item) const {
    if (group < 0 || group >= groups_.size()) return {};
    if (item < 0) return groups_[group].header;
    if (item >= groups_[group].items.size()) return {};
    return LessonAccessibleName(groups_[group].items[item], itemReady(group, item));
}

// The green dot, said: the lesson plays without a network.
QString LessonAccessibleName(const QString& title, bool ready) {
    return ready ? title + QStringLiteral("，已下载") : title;
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

    if (hasFocus() && keyboardInUse_) {
        // The keyboard's row, in the style's dotted focus frame over a solid one that
        // shows on the grey behind the items too.
        const QRect r = rowRect(current_).adjusted(1, 1, -2, -2);
        p.setClipRect(current_.item < 0 ? rect() : ItemArea());
        p.setPen(QPen(colours_.itemSelectedText, 1));
        p.drawRect(r);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(1, 1, 0, 0);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void RollUpMenu::SetCurrentRow(const Row& row) {
    current_ = row;
    if (row.item >= 0) ScrollToItem(row.item);
    update();
    if (hasFocus() && QAccessible::isActive()) {
        const int index = static_cast<int>(Rows().indexOf(row));
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(index);
        QAccessible::updateAccessibility(&focus);
    }
}

void RollUpMenu::ScrollToItem(int item) {
    const QRect area = ItemArea();
    const QRect r = itemRect(item);
    if (r.top() < area.top())
        scroll_ -= area.top() - r.top();
    else if (r.bottom() > area.bottom())
        scroll_ += r.bottom() - area.bottom();
    scroll_ = std::clamp(scroll_, 0, MaxScroll());
}

void RollUpMenu::ChooseItem(int item) {
    selectedGroup_ = openGroup_;
    selectedItem_ = item;
    repaint();
    // Reported once the menu has finished with the click or the key.
    const int group = openGroup_;
    QMetaObject::invokeMethod(this, [this, group, item] { emit itemClicked(group, item); }, Qt::QueuedConnection);
}

void RollUpMenu::keyPressEvent(QKeyEvent* event) {
    keyboardInUse_ = true;
    const QList<Row> rows = Rows();
    const int at = std::max<int>(0, static_cast<int>(rows.indexOf(current_)));
    switch (event->key()) {
    case Qt::Key_Up:
        SetCurrentRow(rows[std::max(0, at - 1)]);
        return;
    case Qt::Key_Down:
        SetCurrentRow(rows[std::min<int>(static_cast<int>(rows.size()) - 1, at + 1)]);
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // A long group a page at a time: as many rows as its area shows, less one.
        const int page = std::max(1, ItemArea().height() / kItemHeight - 1);
        const int to = at + (event->key() == Qt::Key_PageDown ? page : -page);
        SetCurrentRow(rows[std::clamp(to, 0, static_cast<int>(rows.size()) - 1)]);
        return;
    }
    case Qt::Key_Home:
        SetCurrentRow(rows.front());
        return;
    case Qt::Key_End:
        SetCurrentRow(rows.back());
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (event->isAutoRepeat()) return;
        if (current_.item < 0) {
            OpenGroup(current_.group);
            SetCurrentRow(current_);
        } else {
            ChooseItem(current_.item);
        }
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void RollUpMenu::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // The focus given at start shows nothing until a key is pressed; Tab shows it at once.
    keyboardInUse_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (!Rows().contains(current_)) current_ = {openGroup_, -1};
    SetCurrentRow(current_);
}

void RollUpMenu::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
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
        current_ = {hit.header, -1};
    } else if (hit.item >= 0 && hit.item == pressedItem) {
        current_ = {openGroup_, hit.item};
        ChooseItem(hit.item);
    }
    update();
}

void RollUpMenu::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    const Hit hit = HitTest(*pointer_);
    if (hit.item != hoverItem_ || hit.header != hoverHeader_) {
        hoverItem_ = hit.item;
        hoverHeader_ = hit.header;
        update();
    }
}

void RollUpMenu::leaveEvent(QEvent*) {
    pointer_.reset();
    hoverItem_ = hoverHeader_ = -1;
    update();
}

void RollUpMenu::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    scroll_ = std::clamp(scroll_ - steps * kItemHeight, 0, MaxScroll());
    update();
}

}  // namespace pw

#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QWidget>

#include <set>
#include <utility>

class QPainter;

namespace pw {

// A column of groups: clicking a header opens that group and shows its items. A click
// on an item selects it and then reports it, after the menu has finished with the click.
class RollUpMenu : public QWidget {
    Q_OBJECT
public:
    struct Group {
        QString header;
        QStringList items;
    };

    struct Colours {
        QColor background{128, 128, 128};       // crBackGroundColor
        QColor folderText{0, 0, 0};             // crFolderTextColor and its down/hover/selected forms
        QColor itemText{255, 255, 255};         // crItemTextColor
        QColor itemHoverText{0, 0, 255};        // crItemTextHoverColor
        QColor itemSelectedText{255, 255, 0};   // crItemSelTextColor
        QColor highlightBorder{255, 255, 255};  // crHilightBorder
        QColor darkShadowBorder{0, 60, 115};    // crDkShadowBorder
        QColor face{0, 0, 0};                   // cr3dFace
    };

    static constexpr int kHeaderHeight = 30;
    static constexpr int kItemHeight = 22;
    static constexpr int kReadyDotSize = 7;
    static constexpr QColor kReadyDotColour{40, 200, 70};

    explicit RollUpMenu(QWidget* parent = nullptr);

    void SetGroups(QList<Group> groups);
    const Colours& colours() const { return colours_; }

    int openGroup() const { return openGroup_; }
    // The selected item as (group, item), or (-1, -1) when none is.
    QPoint selectedItem() const { return {selectedGroup_, selectedItem_}; }
    // Geometry, for painting, hit tests and tests that click.
    QRect headerRect(int group) const;
    QRect itemRect(int item) const;  // of the open group, before scrolling is applied

    void OpenGroup(int group);

    // A ready item (its lesson is whole on disk) carries a green dot before its name.
    void SetItemReady(int group, int item, bool ready);
    bool itemReady(int group, int item) const { return ready_.contains({group, item}); }

signals:
    void itemClicked(int group, int item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Hit {
        int header = -1;
        int item = -1;
    };
    Hit HitTest(QPoint pos) const;
    QRect ItemArea() const;
    // Paints a ready item: its mark and its name, in the painter's pen.
    void PaintReadyItem(QPainter& p, const QRect& item, const QString& name) const;
    int MaxScroll() const;

    QList<Group> groups_;
    Colours colours_;
    QFont font_;
    int openGroup_ = 0;
    int selectedGroup_ = -1;
    int selectedItem_ = -1;
    int hoverItem_ = -1;
    int hoverHeader_ = -1;
    int pressedHeader_ = -1;
    int pressedItem_ = -1;
    int scroll_ = 0;
    std::set<std::pair<int, int>> ready_;
};

// "宋体" at 12 pixels, with a CJK font standing in where it is missing.
QFont SongTiFont();

}  // namespace pw

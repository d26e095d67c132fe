#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QWidget>

#include <optional>
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

    // A menu in use keeps what the child is on (found by its texts): the open group, the
    // selected item, the keyboard's row, and the item under the pointer where it is.
    // The ready marks go.
    void SetGroups(QList<Group> groups);
    const Colours& colours() const { return colours_; }

    int openGroup() const { return openGroup_; }
    // The selected item as (group, item), or (-1, -1) when none is.
    QPoint selectedItem() const { return {selectedGroup_, selectedItem_}; }
    // Geometry, for painting, hit tests and tests that click.
    QRect headerRect(int group) const;
    QRect itemRect(int item) const;  // of the open group, before scrolling is applied

    void OpenGroup(int group);

    // The rows a keyboard or a screen reader goes through, top to bottom: the headers up
    // to the open group, its items, the headers after it.
    struct Row {
        int group = -1;
        int item = -1;  // -1: the group's header
        bool operator==(const Row&) const = default;
    };
    QList<Row> Rows() const;
    // The row the keyboard is on (drawn with a focus frame while the menu has the focus).
    Row currentRow() const { return current_; }
    QRect rowRect(const Row& row) const;
    // What a screen reader says for a header (item -1) or an item: its text.
    QString ItemAccessibleName(int group, int item) const;
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
    // Up and Down go through the rows, Page Up and Page Down a page of them, Home and End
    // to the first and last, Enter or Space opens a header's group or chooses an item.
    // The keyboard's row is scrolled into view.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // A row by its texts, to be found again in new groups.
    struct Texts {
        QString header;
        QString item;
        bool isItem = false;
    };
    Texts TextsOf(const Row& row) const;
    Row RowOf(const Texts& texts) const;  // (-1, -1) when it is gone

    void ChooseItem(int item);
    void SetCurrentRow(const Row& row);
    void ScrollToItem(int item);

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
    Row current_{0, -1};
    bool keyboardInUse_ = false;  // the focus frame shows once the keyboard is used here
    std::set<std::pair<int, int>> ready_;
    std::optional<QPoint> pointer_;  // where the pointer is while it is over the menu
};

// What a screen reader says for a lesson: its title, and "，已下载" when it is whole on disk.
QString LessonAccessibleName(const QString& title, bool ready);

// "宋体" at 12 pixels, with a CJK font standing in where it is missing.
QFont SongTiFont();

}  // namespace pw

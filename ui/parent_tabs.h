#pragma once

#include <QWidget>

#include <functional>
#include <vector>

#include "core/message.h"
#include "lessons/lesson_folder.h"
#include "lessons/lesson_library.h"
#include "lessons/store.h"

class QGridLayout;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace pw {

// Where "这一周" reads the history of use; read each time the tab is shown.
struct WeekSource {
    Store* store = nullptr;  // nothing: no history, and nothing to clear
    std::function<WallTime()> now;
    std::function<Text(const Text& cacheName)> title;  // the lesson's title in the catalogue
};

// The lessons on this computer, for "课程库"; the tab is empty while `list` is.
struct LibraryActions {
    std::function<LibraryListing()> list;
    std::function<bool(const Text& cacheName)> deleteLesson;  // false: refused, or the file stayed
    std::function<void()> deleteAll;                          // all but the one in use
    std::function<bool(const Text& cacheName)> inUse;         // playing now: it cannot be deleted
    // The lessons carried in a folder the parent chooses: a line for each file as it goes
    // with how many of how many are done, the summary at the end. Without it the two
    // buttons do not show.
    std::function<void(bool importing, const Text& folder, FolderProgress progress,
                       std::function<void(const Text& summary)> done)>
        carry;
};

// A week of use as seven bars, today last, each with its minutes above and its weekday
// below. A screen reader reads each day and its minutes from its description.
class WeekChart : public QWidget {
    Q_OBJECT
public:
    explicit WeekChart(QWidget* parent = nullptr);
    void SetDays(std::vector<DayUse> days);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<DayUse> days_;
};

// "这一周": today's minutes in words, the chart, the lessons used most, "清除记录".
class WeekPage : public QWidget {
    Q_OBJECT
public:
    WeekPage(WeekSource source, MessagePort* messages, QWidget* parent = nullptr);
    // Reads the history again.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    WeekSource source_;
    MessagePort* messages_;
    QLabel* today_ = nullptr;
    WeekChart* chart_ = nullptr;
    QListWidget* lessons_ = nullptr;
    QPushButton* clear_ = nullptr;
};

// "课程库": a row per lesson on this computer (title, size, last use, a delete button),
// the totals, "全部删除".
class LibraryPage : public QWidget {
    Q_OBJECT
public:
    LibraryPage(LibraryActions actions, MessagePort* messages, std::function<WallTime()> now,
                QWidget* parent = nullptr);
    // Lists the lessons again.
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void AskToDelete(const Text& cacheName, const Text& title);
    void AskToDeleteAll();
    void Carry(bool importing);

    LibraryActions actions_;
    MessagePort* messages_;
    std::function<WallTime()> now_;
    QLabel* totals_ = nullptr;
    QWidget* rows_ = nullptr;
    QGridLayout* grid_ = nullptr;
    QPushButton* deleteAll_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QLabel* carried_ = nullptr;  // the file in hand, then the summary
    QProgressBar* carrying_ = nullptr;  // files looked at, of all, while the work goes on
};

}  // namespace pw

#include "ui/parent_tabs.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

#include "host/qt_text.h"
#include "lessons/week_of_use.h"

namespace pw {
namespace {

// The lessons used most that the week shows.
constexpr std::size_t kLessonsShown = 5;

QLabel* NewHeading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A parent's question whose Yes does `yes` and whose No is "取消", the default; false with
// no port to ask through.
bool Confirmed(MessagePort* messages, const Text& question, const Text& yes) {
    return messages && AskToConfirm(*messages, question, yes, Gbk<"取消">());
}

}  // namespace

WeekChart::WeekChart(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("这一周每天用的时间"));
    setMinimumHeight(160);
}

void WeekChart::SetDays(std::vector<DayUse> days) {
    days_ = std::move(days);
    setAccessibleDescription(ToQString(WeekDescription(days_)));
    update();
}

QSize WeekChart::sizeHint() const { return {420, 200}; }

void WeekChart::paintEvent(QPaintEvent*) {
    if (days_.empty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    // Minutes above each bar, the weekday below; the bars share what is left.
    const QRect area = rect().adjusted(8, line + 6, -8, -(line + 6));
    int most = 10;  // a day of a few minutes does not fill the chart
    for (const DayUse& day : days_) most = std::max(most, WholeMinutes(day.used));
    const int slot = area.width() / static_cast<int>(days_.size());
    const int barWidth = std::max(slot * 3 / 5, 4);
    for (std::size_t i = 0; i < days_.size(); ++i) {
        const int minutes = WholeMinutes(days_[i].used);
        const int height = area.height() * minutes / most;
        const int left = area.left() + static_cast<int>(i) * slot + (slot - barWidth) / 2;
        const QRect bar(left, area.bottom() - height, barWidth, height);
        const bool today = i + 1 == days_.size();
        p.fillRect(bar, today ? QColor(46, 134, 193) : QColor(133, 193, 233));
        p.setPen(palette().color(QPalette::WindowText));
        const QRect column(area.left() + static_cast<int>(i) * slot, 0, slot, height);
        p.drawText(QRect(column.left(), bar.top() - line - 2, slot, line), Qt::AlignCenter, QString::number(minutes));
        p.drawText(QRect(column.left(), area.bottom() + 4, slot, line), Qt::AlignCenter,
                   ToQString(WeekdayName(days_[i].day)));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(area.bottomLeft(), area.bottomRight());
}

WeekPage::WeekPage(WeekSource source, MessagePort* messages, QWidget* parent)
    : QWidget(parent), source_(std::move(source)), messages_(messages) {
    auto* layout = new QVBoxLayout(this);
    today_ = new QLabel(this);
    QFont big = today_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    today_->setFont(big);
    layout->addWidget(today_);
    chart_ = new WeekChart(this);
    layout->addWidget(chart_, 1);
    layout->addWidget(NewHeading(QStringLiteral("这一周用得最多的课程："), this));
    lessons_ = new QListWidget(this);
    lessons_->setAccessibleName(QStringLiteral("这一周用得最多的课程"));
    lessons_->setSelectionMode(QAbstractItemView::NoSelection);
    lessons_->setMaximumHeight(lessons_->fontMetrics().height() * static_cast<int>(kLessonsShown + 1) + 8);
    layout->addWidget(lessons_);
    auto* note = new QLabel(QStringLiteral("这些记录只留在这台电脑上。"), this);
    note->setEnabled(false);
    layout->addWidget(note);
    clear_ = new QPushButton(QStringLiteral("清除记录"), this);
    clear_->setAccessibleName(QStringLiteral("清除使用记录"));
    clear_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(clear_);
    layout->addLayout(buttons);
    connect(clear_, &QPushButton::clicked, this, [this] {
        if (!source_.store || !Confirmed(messages_, Gbk<"清除全部使用记录？">(), Gbk<"清除">())) return;
        source_.store->ClearHistory();
        Refresh();
    });
}

void WeekPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void WeekPage::Refresh() {
    const WeekDays week = LastSevenDays(source_.now ? source_.now() : WallTime{0});
    std::vector<DayUse> days;
    std::vector<LessonUse> used;
    if (source_.store) {
        days = source_.store->UseByDay(week.first, week.last);
        used = source_.store->LessonsUsed(week.first, week.last);
    } else {
        for (LocalDay day = week.first; day <= week.last; ++day) days.push_back({day, Milliseconds{0}});
    }
    today_->setText(ToQString(TodayText(days.empty() ? Milliseconds{0} : days.back().used)));
    chart_->SetDays(std::move(days));
    lessons_->clear();
    for (std::size_t i = 0; i < used.size() && i < kLessonsShown; ++i) {
        const Text title = source_.title ? source_.title(used[i].cacheName) : used[i].cacheName;
        lessons_->addItem(ToQString(title + Gbk<"：">() + MinutesText(used[i].shown) + Gbk<"，选了 ">() +
                                    TextFromInteger(used[i].timesChosen) + Gbk<" 次">()));
    }
    if (used.empty()) lessons_->addItem(QStringLiteral("这一周还没有看过课程"));
    clear_->setEnabled(source_.store != nullptr);
}

LibraryPage::LibraryPage(LibraryActions actions, MessagePort* messages, std::function<WallTime()> now,
                         QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)), messages_(messages), now_(std::move(now)) {
    auto* layout = new QVBoxLayout(this);
    totals_ = new QLabel(this);
    totals_->setWordWrap(true);
    layout->addWidget(totals_);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setAccessibleName(QStringLiteral("这台电脑上的课程"));
    rows_ = new QWidget(scroll);
    grid_ = new QGridLayout(rows_);
    grid_->setColumnStretch(0, 1);
    grid_->setAlignment(Qt::AlignTop);
    scroll->setWidget(rows_);
    layout->addWidget(scroll, 1);
    deleteAll_ = new QPushButton(QStringLiteral("全部删除"), this);
    deleteAll_->setAccessibleName(QStringLiteral("删除全部课程"));
    deleteAll_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    if (actions_.carry) {
        exportButton_ = new QPushButton(QStringLiteral("导出到文件夹…"), this);
        importButton_ = new QPushButton(QStringLiteral("从文件夹导入…"), this);
        for (QPushButton* button : {exportButton_, importButton_}) {
            button->setAutoDefault(false);
            buttons->addWidget(button);
        }
        carried_ = new QLabel(this);
        carried_->setWordWrap(true);
        layout->addWidget(carried_);
        carrying_ = new QProgressBar(this);
        carrying_->setAccessibleName(QStringLiteral("已经看过的课程文件"));
        carrying_->setFormat(QStringLiteral("%v / %m"));
        carrying_->hide();
        layout->addWidget(carrying_);
        connect(exportButton_, &QPushButton::clicked, this, [this] { Carry(false); });
        connect(importButton_, &QPushButton::clicked, this, [this] { Carry(true); });
    }
    buttons->addStretch(1);
    buttons->addWidget(deleteAll_);
    layout->addLayout(buttons);
    connect(deleteAll_, &QPushButton::clicked, this, &LibraryPage::AskToDeleteAll);
}

void LibraryPage::Carry(bool importing) {
    const QString folder = QFileDialog::getExistingDirectory(
        this, importing ? QStringLiteral("从文件夹导入") : QStringLiteral("导出到文件夹"));
    if (folder.isEmpty()) return;
    exportButton_->setEnabled(false);
    importButton_->setEnabled(false);
    carried_->setText(importing ? QStringLiteral("正在导入…") : QStringLiteral("正在导出…"));
    carrying_->setRange(0, 0);  // busy until the files are counted
    carrying_->show();
    // The page may be gone by the time the work ends.
    const QPointer<LibraryPage> page(this);
    actions_.carry(
        importing, QFile::encodeName(folder).toStdString(),
        [page](const FolderStep& step) {
            if (!page) return;
            page->carried_->setText(QString::fromStdString(step.line));
            page->carrying_->setRange(0, step.total);
            page->carrying_->setValue(step.done);
        },
        [page](const Text& summary) {
            if (!page) return;
            page->carrying_->hide();
            page->carried_->setText(ToQString(summary));
            page->exportButton_->setEnabled(true);
            page->importButton_->setEnabled(true);
            page->Refresh();
        });
}

void LibraryPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void LibraryPage::Refresh() {
    const LibraryListing listing = actions_.list ? actions_.list() : LibraryListing{};
    totals_->setText(ToQString(LibraryTotalsText(listing)));
    // Later: the row's button whose click deleted its lesson is still in its clicked signal.
    while (QLayoutItem* item = grid_->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    const WallTime now = now_ ? now_() : WallTime{0};
    const QString headings[] = {QStringLiteral("课程"), QStringLiteral("大小"), QStringLiteral("上次看")};
    for (int column = 0; column < 3; ++column) grid_->addWidget(NewHeading(headings[column], rows_), 0, column);
    int row = 1;
    for (const LibraryRow& lesson : listing.rows) {
        const QString title = ToQString(lesson.title);
        const QString size = ToQString(SizeText(lesson.bytes));
        const QString lastUse = ToQString(LastUseText(lesson.lastUse, now));
        grid_->addWidget(new QLabel(title, rows_), row, 0);
        grid_->addWidget(new QLabel(size, rows_), row, 1);
        grid_->addWidget(new QLabel(lastUse, rows_), row, 2);
        auto* remove = new QPushButton(QStringLiteral("删除"), rows_);
        remove->setAutoDefault(false);
        remove->setAccessibleName(QStringLiteral("删除 ") + title);
        // Read with the button, for a screen reader that goes from button to button.
        remove->setAccessibleDescription(size + QStringLiteral("，") + lastUse);
        if (actions_.inUse && actions_.inUse(lesson.cacheName)) {
            remove->setEnabled(false);
            remove->setToolTip(QStringLiteral("正在播放，不能删除"));
            remove->setAccessibleDescription(remove->accessibleDescription() + QStringLiteral("，正在播放，不能删除"));
        }
        connect(remove, &QPushButton::clicked, this,
                [this, cacheName = lesson.cacheName, titleText = lesson.title] { AskToDelete(cacheName, titleText); });
        grid_->addWidget(remove, row, 3);
        ++row;
    }
    deleteAll_->setEnabled(!listing.rows.empty() && static_cast<bool>(actions_.deleteAll));
}

void LibraryPage::AskToDelete(const Text& cacheName, const Text& title) {
    if (!actions_.deleteLesson || !Confirmed(messages_, Gbk<"删除「">() + title + Gbk<"」？">(), Gbk<"删除">())) return;
    if (!actions_.deleteLesson(cacheName)) ShowMessage(*messages_, Gbk<"「">() + title + Gbk<"」没有删除。">());
    Refresh();
}

void LibraryPage::AskToDeleteAll() {
    if (!actions_.deleteAll || !Confirmed(messages_, Gbk<"删除全部课程？">(), Gbk<"删除">())) return;
    actions_.deleteAll();
    Refresh();
}

}  // namespace pw

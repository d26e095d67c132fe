#include "ui/main_window_display.h"

#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "ui/controls.h"
#include "ui/roll_up_menu.h"
#include "ui/shelf.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

void SetShown(QWidget* widget, bool shown) {
    if (widget) widget->setVisible(shown);
}

}  // namespace

MainWindowDisplay::MainWindowDisplay(LoadedWindow& mainWindow)
    : window_(mainWindow),
      flash_(mainWindow.controlAs<FlashView>(names::kFlashView)),
      web_(mainWindow.controlAs<WebView>(names::kWebView)),
      label_(mainWindow.controlAs<StatusLabel>(names::kStatusLabel)),
      bar_(mainWindow.controlAs<StoredPositionBar>(names::kProgressBar)),
      menu_(mainWindow.controlAs<RollUpMenu>(names::kLessonMenu)),
      shelf_(mainWindow.controlAs<Shelf>(names::kShelf)) {}

void MainWindowDisplay::ShowView(ContentView view) {
    if (shelf_ && shelf_->isVisible()) UncoverContentArea();
    switch (view) {
    case ContentView::WebPage:
        SetShown(flash_, false);
        SetShown(web_, true);
        // A download display that stays shown lies over the page, the label too (it
        // comes after the web view among its siblings, so it would lie beneath).
        if (label_ && !label_->isHidden()) label_->raise();
        break;
    case ContentView::Lesson:
        SetShown(label_, false);
        SetShown(bar_, false);
        SetShown(flash_, true);
        SetShown(web_, false);
        break;
    case ContentView::Downloading:
        SetShown(label_, true);
        SetShown(bar_, true);
        SetShown(flash_, false);
        SetShown(web_, false);
        break;
    }
}

void MainWindowDisplay::HideDownloadDisplay() {
    SetShown(label_, false);
    SetShown(bar_, false);
}

void MainWindowDisplay::SetStatusCaption(const Text& caption) {
    if (label_) label_->SetCaption(caption);
}

void MainWindowDisplay::SetProgressPosition(std::int32_t position) {
    if (bar_) bar_->SetPosition(position);
}

void MainWindowDisplay::SetFlashMovie(const Text& path) {
    if (flash_) flash_->SetMovie(ToQString(path));
}

void MainWindowDisplay::PlayFlash() {
    if (flash_) flash_->Play();
}

void MainWindowDisplay::SetWebAddress(const Text& url) {
    if (web_) web_->Navigate(ToQString(url));
}

void MainWindowDisplay::SetLessonMenu(const std::vector<LessonMenuGroup>& groups) {
    if (menu_) menu_->SetGroups(LessonMenuGroups(groups));
}

void MainWindowDisplay::SetLessonReady(int group, int item, bool ready) {
    if (menu_) menu_->SetItemReady(group, item, ready);
    if (shelf_) shelf_->SetLessonReady(group, item, ready);
}

void MainWindowDisplay::SetShelf(const std::vector<ShelfRow>& rows) {
    shelfRows_ = rows;
    if (shelf_ && shelf_->isVisible()) shelf_->SetRows(shelfRows_);
}

void MainWindowDisplay::ToggleShelf() {
    if (!shelf_) return;
    if (shelf_->isVisible()) {
        UncoverContentArea();
        if (flash_ && flash_->isVisible()) flash_->Play();
        if (QWidget* button = window_.control(names::kShelfButton)) button->setFocus(Qt::OtherFocusReason);
        return;
    }
    const std::array<QWidget*, 4> covered{flash_, web_, label_, bar_};
    for (std::size_t i = 0; i < covered.size(); ++i) {
        covered_[i] = covered[i] && !covered[i]->isHidden();
        SetShown(covered[i], false);
    }
    if (covered_[0]) flash_->Pause();  // silent while the shelf shows; it goes on after
    shelf_->SetRows(shelfRows_);
    shelf_->show();
    shelf_->raise();
    shelf_->FocusFirstTile();
}

void MainWindowDisplay::UncoverContentArea() {
    shelf_->hide();
    const std::array<QWidget*, 4> covered{flash_, web_, label_, bar_};
    for (std::size_t i = 0; i < covered.size(); ++i) SetShown(covered[i], covered_[i]);
    if (label_ && covered_[2]) label_->raise();
}

void MainWindowDisplay::SetUpdateFigures(const Text& line) {
    if (line.empty() && !updateFigures_) return;
    if (!updateFigures_) {
        // On the left of the strip below the content area: the session's note stands at
        // its right end, by the "家长" button. A screen reader reads the text itself.
        updateFigures_ = new StripLabel(&window_, Qt::AlignLeft | Qt::AlignVCenter);
        QWidget* corner = window_.control(names::kParentCornerButton);
        if (web_ && corner)
            updateFigures_->setGeometry(web_->x(), corner->y(), (corner->x() - web_->x()) * 2 / 3, corner->height());
    }
    updateFigures_->setText(ToQString(line));
    updateFigures_->setVisible(!line.empty());
    if (!line.empty()) updateFigures_->raise();
}

}  // namespace pw

#pragma once

#include <QPointer>

#include <array>
#include <vector>

#include "lessons/display.h"

namespace pw {

class FlashView;
class WebView;
class StatusLabel;
class StoredPositionBar;
class StripLabel;
class RollUpMenu;
class Shelf;
class LoadedWindow;

// The main window's content area as the program's handlers change it. UI thread only.
class MainWindowDisplay final : public Display {
public:
    explicit MainWindowDisplay(LoadedWindow& mainWindow);

    void ShowView(ContentView view) override;
    void HideDownloadDisplay() override;
    void SetStatusCaption(const Text& caption) override;
    void SetProgressPosition(std::int32_t position) override;
    void SetFlashMovie(const Text& path) override;
    void PlayFlash() override;
    void SetWebAddress(const Text& url) override;
    void SetLessonMenu(const std::vector<LessonMenuGroup>& groups) override;
    void SetLessonReady(int group, int item, bool ready) override;
    void SetUpdateFigures(const Text& line) override;
    void SetShelf(const std::vector<ShelfRow>& rows) override;
    void ToggleShelf() override;

private:
    // Hides the shelf and shows again what it covered.
    void UncoverContentArea();

    LoadedWindow& window_;
    QPointer<StripLabel> updateFigures_;  // made when first needed
    QPointer<FlashView> flash_;
    QPointer<WebView> web_;
    QPointer<StatusLabel> label_;
    QPointer<StoredPositionBar> bar_;
    QPointer<RollUpMenu> menu_;
    QPointer<Shelf> shelf_;
    std::vector<ShelfRow> shelfRows_;
    // What the content area showed when the shelf covered it: player, page, label, bar.
    std::array<bool, 4> covered_{};
};

}  // namespace pw

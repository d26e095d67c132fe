#pragma once

#include <QPointer>

#include "lessons/display.h"

namespace pw {

class FlashView;
class WebView;
class StatusLabel;
class StoredPositionBar;
class StripLabel;
class RollUpMenu;
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
    void SetLessonReady(int group, int item, bool ready) override;
    void SetUpdateFigures(const Text& line) override;

private:
    LoadedWindow& window_;
    QPointer<StripLabel> updateFigures_;  // made when first needed
    QPointer<FlashView> flash_;
    QPointer<WebView> web_;
    QPointer<StatusLabel> label_;
    QPointer<StoredPositionBar> bar_;
    QPointer<RollUpMenu> menu_;
};

}  // namespace pw

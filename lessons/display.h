#pragma once

#include <cstdint>
#include <vector>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/shelf.h"

namespace pw {

// What the main window's content area shows.
//  - WebPage: the web view; the Flash player hidden. The download display (status label
//    and progress bar) keeps its state, so a running download stays shown over the page.
//  - Lesson: the Flash player alone.
//  - Downloading: the status label and the progress bar alone.
enum class ContentView { WebPage, Lesson, Downloading };

// The main window as the program's handlers change it: write-only, UI thread only.
class Display {
public:
    virtual ~Display() = default;

    virtual void ShowView(ContentView view) = 0;
    // Hides the status label and the progress bar (the first view at start).
    virtual void HideDownloadDisplay() = 0;

    virtual void SetStatusCaption(const Text& caption) = 0;
    // The bar stores the position clamped to 0..32767 and draws it clamped to 0..100.
    virtual void SetProgressPosition(std::int32_t position) = 0;

    virtual void SetFlashMovie(const Text& path) = 0;
    virtual void PlayFlash() = 0;
    virtual void SetWebAddress(const Text& url) = 0;

    // The lesson menu's groups and items, none of them marked. A menu in use keeps the
    // item under the pointer where it is.
    virtual void SetLessonMenu(const std::vector<LessonMenuGroup>& groups) = 0;
    // Marks the lesson at (group, item) in the lesson menu as whole on disk, or not.
    virtual void SetLessonReady(int group, int item, bool ready) = 0;

    // One short line in the strip below the content area, for a download that runs
    // behind a lesson; empty hides it.
    virtual void SetUpdateFigures(const Text& line) = 0;

    // The shelf's rows, kept while it is hidden. Displays without a shelf ignore both.
    virtual void SetShelf(const std::vector<ShelfRow>& rows) { (void)rows; }
    // Shows the shelf over what the content area shows (a lesson that plays is paused),
    // or leaves it, back to what it covered. A view shown leaves it too.
    virtual void ToggleShelf() {}
};

// Stands in until the main window exists: changes nothing.
class NoDisplay final : public Display {
public:
    void ShowView(ContentView) override {}
    void HideDownloadDisplay() override {}
    void SetStatusCaption(const Text&) override {}
    void SetProgressPosition(std::int32_t) override {}
    void SetFlashMovie(const Text&) override {}
    void PlayFlash() override {}
    void SetWebAddress(const Text&) override {}
    void SetLessonMenu(const std::vector<LessonMenuGroup>&) override {}
    void SetLessonReady(int, int, bool) override {}
    void SetUpdateFigures(const Text&) override {}
};

// The progress bar's rules for a stored and for a drawn position.
constexpr std::int32_t StoredProgressPosition(std::int32_t written) {
    return written < 0 ? 0 : (written > 32767 ? 32767 : written);
}
constexpr std::int32_t DrawnProgressPosition(std::int32_t stored) {
    return stored < 0 ? 0 : (stored > 100 ? 100 : stored);
}

}  // namespace pw

#include "lessons/site_pages.h"

#include "core/hosts.h"
#include "core/message.h"
#include "core/program_state.h"
#include "host/web_view.h"
#include "lessons/lesson_selection.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {

Text SitePageAddress(int pageIndex) {
    static constexpr const char* kPages[] = {"hybb.html", "txbb.html", "bbgcs.html", "mft.html"};
    if (pageIndex < 1 || pageIndex > 4) return {};
    return SiteBaseUrl() + kPages[pageIndex - 1];
}

void OnPageButtonClicked(int page) {
    Globals().PageIndex = page;
    Globals().CurrentFileName = kIdleMovieName;
    SilenceLessonAndShowWebView();
    // A fresh window for every click, modal over the main window until it is closed.
    auto pages = BuildWindow(PagesWindowDescription());
    pages->FireCreated();
    pages->ExecModal();
}

void OnPageButton1Clicked() { OnPageButtonClicked(1); }
void OnPageButton2Clicked() { OnPageButtonClicked(2); }
void OnPageButton3Clicked() { OnPageButtonClicked(3); }
void OnPageButton4Clicked() { OnPageButtonClicked(4); }

void OnButton5Clicked() { ShowMessage(msg::PleaseWaitForUpgrade()); }
void OnButton6Clicked() { ShowMessage(msg::PleaseWaitForUpgrade()); }
void OnButton7Clicked() { ShowMessage(msg::PleaseWaitForUpgrade()); }
void OnButton8Clicked() { ShowMessage(msg::PleaseWaitForUpgrade()); }

void OnPagesWindowCreated() {
    LoadedWindow* pages = LoadedWindow::Find(names::kPagesWindow);
    const Text address = SitePageAddress(Globals().PageIndex);
    if (!pages || address.empty()) return;
    if (auto* view = pages->controlAs<WebView>(names::kWebView)) view->Navigate(QString::fromUtf8(ToUtf8(address)));
}

}  // namespace pw

#include "host/web_view.h"

#include "host/guarded_page.h"

#include <QHideEvent>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

namespace pw {

WebView::WebView(QWidget* parent) : QWebEngineView(parent) { setPage(new GuardedPage(this)); }

void WebView::Navigate(const QString& url) {
    load(QUrl(url));
}

void WebView::hideEvent(QHideEvent* event) {
    QWebEngineView::hideEvent(event);
    // Only when the program hides the view, not when the window is minimised; after the
    // page has learnt that it is hidden (the engine refuses to discard a visible page).
    if (!event->spontaneous()) QTimer::singleShot(0, this, &WebView::DiscardIfHidden);
}

void WebView::DiscardIfHidden() {
    // The engine makes a discarded page active again, and reloads it at its address,
    // when it is shown or given an address.
    if (isHidden() && page()->lifecycleState() != QWebEnginePage::LifecycleState::Discarded) {
        page()->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
    }
}

}  // namespace pw

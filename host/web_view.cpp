#include "host/web_view.h"

#include <QUrl>

namespace pw {

WebView::WebView(QWidget* parent) : QWebEngineView(parent) {}

void WebView::Navigate(const QString& url) {
    load(QUrl(url));
}

}  // namespace pw

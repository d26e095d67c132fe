#pragma once

#include <QString>
#include <QWebEngineView>

namespace pw {

// A view of the program's site pages.
class WebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);

    // Returns at once; the page loads in the background.
    void Navigate(const QString& url);
};

}  // namespace pw

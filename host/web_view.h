#pragma once

#include <QString>
#include <QWebEngineView>

class QHideEvent;

namespace pw {

// A view of the program's site pages. While it is hidden (a lesson plays, a download
// shows) its page is discarded, which ends its renderer and gives back the memory; shown
// again, the page comes back at its address.
class WebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);

    // Returns at once; the page loads in the background.
    void Navigate(const QString& url);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void DiscardIfHidden();
};

}  // namespace pw

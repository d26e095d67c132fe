#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineView>

class QHideEvent;
class QShowEvent;
class QWebEngineLoadingInfo;

namespace pw {

// The web engine's own texts in Chinese: the locale it picks its resources by. Run once,
// before any web engine object; site pages get Accept-Language zh-CN from the web view.
void UseChineseWebEngine();

// Lets a screen reader into the web pages (the site's, the offline page): Qt WebEngine
// keeps them closed on Linux unless asked. It builds their accessible tree only while a
// reader listens. Run once, before any web engine object; a value already set is kept.
void OpenWebPagesToScreenReaders();

// A view of the program's site pages. While it is hidden (a lesson plays, a download
// shows) its page is discarded, which ends its renderer and gives back the memory; shown
// again, the page comes back at its address. The first page is made once the window has
// been drawn; an address given before then waits for it.
//
// A page that cannot be loaded (no connection, a time-out, an error status) shows the
// program's own offline page under the page's address instead of the engine's error page.
class WebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);

    // Returns at once; the page loads in the background, once there is one.
    void Navigate(const QString& url);

    // Mutes the page's sound, the page to come too.
    void SetMuted(bool muted);

    // The address that the offline page stands for, or empty when a real page shows.
    const QUrl& offlineFor() const { return offlineFor_; }

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void MakePage();
    void DiscardIfHidden();
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void ShowOfflinePage(const QUrl& failed);

    QUrl offlineFor_;
    bool retryWhenShown_ = false;  // the offline page was discarded: try the real page again
    bool hasPage_ = false;
    bool muted_ = false;
    QUrl address_;  // the page to load once the page is made
};

}  // namespace pw

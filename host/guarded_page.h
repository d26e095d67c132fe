#pragma once

#include <QString>
#include <QUrl>
#include <QWebEnginePage>

#include <functional>

namespace pw {

// Where a site page may lead. With `leave` set, a link to any host but `siteHost`
// (written as the program's hosts are, see HostOrigin) never opens inside the program: it
// goes to `leave`, which decides (a grown-up's gate, then the desktop's browser). Without
// it, pages navigate as ever.
struct LeavingGuard {
    QString siteHost;
    std::function<void(const QUrl& url)> leave;
};

// For every web view of the program, from now on.
void SetLeavingGuard(LeavingGuard guard);

// The page of the program's web views: it holds links to other hosts back when the
// guard is on, those that open a new window (target="_blank") too.
class GuardedPage : public QWebEnginePage {
public:
    explicit GuardedPage(QObject* parent = nullptr);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    // Set on a page made for a new window: it exists only to learn where the window
    // would go, and goes itself once it knows.
    GuardedPage* opener_ = nullptr;
};

// True when `url` is an http or https address on `siteHost` (written as the program's hosts
// are): the same host and port, a port left out being its scheme's standard one; http on
// 80 and https on 443 count as the same site.
bool IsOnSiteHost(const QUrl& url, const QString& siteHost);

}  // namespace pw

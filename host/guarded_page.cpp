#include "host/guarded_page.h"

#include <QTimer>

#include "core/hosts.h"
#include "host/qt_text.h"

namespace pw {
namespace {

LeavingGuard& Guard() {
    static LeavingGuard guard;
    return guard;
}

// Hands `url` to the guard's decision once the engine has finished with the request:
// the decision may open a modal window.
void Leave(QObject* context, const QUrl& url) {
    QTimer::singleShot(0, context, [url] {
        if (Guard().leave) Guard().leave(url);
    });
}

// The port an address of `url`'s scheme has when it names none; -1 for a scheme that is
// neither http nor https.
int DefaultPort(const QUrl& url) {
    if (url.scheme() == QStringLiteral("https")) return 443;
    return url.scheme() == QStringLiteral("http") ? 80 : -1;
}

}  // namespace

void SetLeavingGuard(LeavingGuard guard) { Guard() = std::move(guard); }

bool IsOnSiteHost(const QUrl& url, const QString& siteHost) {
    const QUrl site(ToQString(HostOrigin(FromQString(siteHost))));
    const int urlDefault = DefaultPort(url), siteDefault = DefaultPort(site);
    if (urlDefault < 0 || url.host().compare(site.host(), Qt::CaseInsensitive) != 0) return false;
    const int urlPort = url.port(urlDefault), sitePort = site.port(siteDefault);
    // A site on both standard ports is one site, whichever of them a link names: its
    // pages may still link to their own http:// addresses after a move to https (or the
    // other way round), and a child following one has not left the site the parent chose.
    return urlPort == sitePort || (urlPort == urlDefault && sitePort == siteDefault);
}

GuardedPage::GuardedPage(QObject* parent) : QWebEnginePage(parent) {}

bool GuardedPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (opener_) {
        // The new window's first address: the site's own pages open in the page that
        // asked for the window, anything else goes out through the guard.
        if (IsOnSiteHost(url, Guard().siteHost))
            opener_->load(url);
        else
            Leave(opener_, url);
        opener_ = nullptr;
        deleteLater();
        return false;
    }
    const bool guarded = Guard().leave && isMainFrame && (url.scheme() == QStringLiteral("http") ||
                                                          url.scheme() == QStringLiteral("https"));
    if (!guarded || IsOnSiteHost(url, Guard().siteHost))
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    // Only a child's click asks to leave; a redirect or a script's move is just held back.
    if (type == NavigationTypeLinkClicked || type == NavigationTypeFormSubmitted) Leave(this, url);
    return false;
}

QWebEnginePage* GuardedPage::createWindow(WebWindowType type) {
    if (!Guard().leave) return QWebEnginePage::createWindow(type);
    auto* catcher = new GuardedPage(this);
    catcher->opener_ = this;
    return catcher;
}

}  // namespace pw

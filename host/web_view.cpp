#include "host/web_view.h"

#include <QFile>
#include <QHideEvent>
#include <QLocale>
#include <QQuickWidget>
#include <QShowEvent>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <utility>

#include "host/first_frame.h"
#include "host/guarded_page.h"

namespace pw {
namespace {

QString OfflinePageHtml() {
    QFile file(QStringLiteral(":/pebblewick/host/offline_page.html"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

void UseChineseWebEngine() {
    // The engine picks the resources of its own texts by the default locale when it starts
    // (Chinese, China resolves to its zh-CN pack), so this comes before the first profile.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

void OpenWebPagesToScreenReaders() {
    constexpr char kVariable[] = "QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY";
    if (!qEnvironmentVariableIsSet(kVariable)) qputenv(kVariable, "1");
}

WebView::WebView(QWidget* parent) : QWebEngineView(parent) {
    // The page, and with it the web engine's start, waits until the window has been drawn
    // once. Its view is drawn with the window's GPU surface: a child of that kind from the
    // start has the window made so at once, not made again under a new id when the page
    // comes.
    (new QQuickWidget(this))->hide();
    setAcceptDrops(false);  // a drop is handed to the page
    AfterWindowFirstDrawn(*this, [this] { MakePage(); });
}

void WebView::MakePage() {
    hasPage_ = true;
    setPage(new GuardedPage(this));
    setAcceptDrops(true);
    page()->profile()->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh"));
    // The engine's error page is in its own words, with a "Reload" a child cannot use.
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(page(), &QWebEnginePage::loadingChanged, this, &WebView::OnLoadingChanged);
    page()->setAudioMuted(muted_);
    if (!address_.isEmpty()) load(address_);
}

void WebView::Navigate(const QString& url) {
    offlineFor_.clear();
    retryWhenShown_ = false;
    address_ = QUrl(url);
    if (hasPage_) load(address_);
}

void WebView::SetMuted(bool muted) {
    muted_ = muted;
    if (hasPage_) page()->setAudioMuted(muted);
}

void WebView::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) return;
    // Never for the offline page itself, whatever happened to it.
    if (info.url().scheme() == QLatin1String("data") || info.url() == offlineFor_) return;
    ShowOfflinePage(info.url());
}

void WebView::ShowOfflinePage(const QUrl& failed) {
    offlineFor_ = failed;
    // Under the failed page's address, so that a reload and the page's history try it.
    setHtml(OfflinePageHtml(), failed);
}

void WebView::hideEvent(QHideEvent* event) {
    // Without a page the engine's handlers would make one.
    if (!hasPage_) return QWidget::hideEvent(event);
    QWebEngineView::hideEvent(event);
    // Only when the program hides the view, not when the window is minimised; after the
    // page has learnt that it is hidden (the engine refuses to discard a visible page).
    if (!event->spontaneous()) QTimer::singleShot(0, this, &WebView::DiscardIfHidden);
}

void WebView::showEvent(QShowEvent* event) {
    if (!hasPage_) return QWidget::showEvent(event);
    QWebEngineView::showEvent(event);
    // A discarded page comes back as it was: the offline page would stay, so its address
    // is tried again instead, and the real page shows once the network is back.
    if (std::exchange(retryWhenShown_, false) && !offlineFor_.isEmpty()) Navigate(offlineFor_.toString());
}

void WebView::DiscardIfHidden() {
    // The engine makes a discarded page active again, and reloads it at its address,
    // when it is shown or given an address.
    if (isHidden() && page()->lifecycleState() != QWebEnginePage::LifecycleState::Discarded) {
        page()->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
        retryWhenShown_ = !offlineFor_.isEmpty();
    }
}

}  // namespace pw

#include "host/flash_scheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <span>

#include "core/swf_text.h"

namespace pw {

namespace {

constexpr char kHost[] = "player";
constexpr char kPlayerPage[] = ":/pebblewick/host/player.html";
constexpr char kFontName[] = "NotoSansCJK-Regular.ttc";
constexpr int kFoldersSearchedUpwards = 3;
constexpr char kMovieMimeType[] = "application/x-shockwave-flash";

QString& RuffleDirectoryOverride() {
    static QString directory;
    return directory;
}

bool HoldsRuffle(const QString& directory) {
    return QFileInfo(QDir(directory).filePath(QStringLiteral("ruffle.js"))).isFile();
}

QUrl FlashUrl(const QString& path) {
    QUrl url;
    url.setScheme(QLatin1String(kFlashScheme));
    url.setHost(QLatin1String(kHost));
    url.setPath(path);
    return url;
}

QByteArray MimeTypeOfRuffleFile(const QString& name) {
    if (name.endsWith(QLatin1String(".js"))) return "text/javascript";
    if (name.endsWith(QLatin1String(".wasm"))) return "application/wasm";
    if (name.endsWith(QLatin1String(".map"))) return "application/json";
    return "application/octet-stream";
}

// A plain file name: no separator, no escape, no leading dot (so no "..").
bool IsPlainFileName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9._-]*$"));
    return plain.match(name).hasMatch();
}

}  // namespace

void RegisterFlashViewScheme() {
    QWebEngineUrlScheme scheme(kFlashScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure and CORS-enabled, so that the page may read its own files with
    // XMLHttpRequest; not local, so that it can read no file: URL.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString RuffleDirectory() {
    if (!RuffleDirectoryOverride().isEmpty()) {
        return RuffleDirectoryOverride();
    }
    // Installed: <prefix>/bin/pebblewick beside <prefix>/share/pebblewick/ruffle.
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/pebblewick/ruffle"));
    if (HoldsRuffle(installed)) {
        return QDir::cleanPath(installed);
    }
    QDir folder(QCoreApplication::applicationDirPath());
    for (int up = 0; up <= kFoldersSearchedUpwards; ++up) {
        const QString candidate = folder.filePath(QStringLiteral("ruffle"));
        if (HoldsRuffle(candidate)) {
            return QDir::cleanPath(candidate);
        }
        if (!folder.cdUp()) {
            break;
        }
    }
#ifdef PEBBLEWICK_BUILD_RUFFLE_DIR
    if (HoldsRuffle(QStringLiteral(PEBBLEWICK_BUILD_RUFFLE_DIR))) {
        return QStringLiteral(PEBBLEWICK_BUILD_RUFFLE_DIR);
    }
#endif
    return {};
}

void OverrideRuffleDirectory(const QString& directory) {
    RuffleDirectoryOverride() = directory;
}

QString DeviceFontFile() {
    return QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc");
}

QUrl FlashPlayerPageUrl() {
    return FlashUrl(QStringLiteral("/"));
}

QUrl FlashFontUrl() {
    return FlashUrl(QStringLiteral("/font/") + QLatin1String(kFontName));
}

QUrl FlashMovieUrl(const QString& token) {
    return FlashUrl(QStringLiteral("/movie/") + token + QStringLiteral(".swf"));
}

QByteArray MovieForPlayer(const QByteArray& movie) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(movie.constData()),
                                 static_cast<std::size_t>(movie.size()));
    const auto copy = RecodeGbkMovie(bytes);
    if (!copy) return movie;
    return QByteArray(reinterpret_cast<const char*>(copy->data()), static_cast<qsizetype>(copy->size()));
}

std::optional<FlashResource> ResolveFlashUrl(const QUrl& url, const QString& ruffleDirectory,
                                             const QString& movieToken, const QString& moviePath) {
    if (url.scheme() != QLatin1String(kFlashScheme) || url.host() != QLatin1String(kHost)) {
        return std::nullopt;
    }
    // The encoded path: an escaped "/" or "." stays escaped and fails the name checks.
    const QString path = url.path(QUrl::FullyEncoded);
    if (path == QLatin1String("/") || path == QLatin1String("/player.html")) {
        return FlashResource{QLatin1String(kPlayerPage), "text/html"};
    }
    if (path == QLatin1String("/font/") + QLatin1String(kFontName)) {
        return FlashResource{DeviceFontFile(), "font/collection"};
    }
    const QString moviePrefix = QStringLiteral("/movie/");
    if (path.startsWith(moviePrefix)) {
        if (movieToken.isEmpty() || moviePath.isEmpty() ||
            path != FlashMovieUrl(movieToken).path(QUrl::FullyEncoded)) {
            return std::nullopt;
        }
        return FlashResource{moviePath, "application/x-shockwave-flash"};
    }
    const QString rufflePrefix = QStringLiteral("/ruffle/");
    if (path.startsWith(rufflePrefix) && !ruffleDirectory.isEmpty()) {
        const QString name = path.mid(rufflePrefix.size());
        if (!IsPlainFileName(name)) {
            return std::nullopt;
        }
        return FlashResource{QDir(ruffleDirectory).filePath(name), MimeTypeOfRuffleFile(name)};
    }
    return std::nullopt;
}

FlashSchemeHandler::FlashSchemeHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), ruffleDirectory_(RuffleDirectory()) {}

void FlashSchemeHandler::SetMovie(const QString& token, const QString& path) {
    movieToken_ = token;
    moviePath_ = path;
}

void FlashSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const auto resource = ResolveFlashUrl(job->requestUrl(), ruffleDirectory_, movieToken_, moviePath_);
    if (!resource) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    QFile file(resource->filePath);
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The whole file as it is now; the engine reads the buffer after we return.
    QByteArray bytes = file.readAll();
    if (resource->mimeType == kMovieMimeType) bytes = MovieForPlayer(bytes);
    auto* body = new QBuffer(job);
    body->setData(bytes);
    body->open(QIODevice::ReadOnly);
    job->reply(resource->mimeType, body);
}

}  // namespace pw

#include "host/flash_scheme.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

namespace pw {

namespace {

constexpr char kHost[] = "player";
constexpr char kPlayerPage[] = ":/pebblewick/host/player.html";
constexpr char kFontName[] = "NotoSansCJK-Regular.ttc";  // in the player's URL
// Made by the build from the collection of fonts-noto-cjk (host/subset_device_font.py).
constexpr char kDeviceFontName[] = "NotoSansCJK-SC-Subset.ttc";
constexpr int kFoldersSearchedUpwards = 3;
constexpr char kMovieMimeType[] = "application/x-shockwave-flash";
constexpr char kFontMimeType[] = "font/collection";
// The script that lets the page report to the program; Qt WebChannel carries it as a
// resource, which a page of our scheme cannot load from qrc:, so we serve it.
constexpr char kChannelScript[] = ":/qtwebchannel/qwebchannel.js";

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
    // Installed: <prefix>/share/pebblewick/fonts; built: "fonts" beside the executable or
    // in a folder above it, as Ruffle's files.
    const QString name = QLatin1String(kDeviceFontName);
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .filePath(QStringLiteral("../share/pebblewick/fonts/") + name);
    if (QFileInfo(installed).isFile()) return QDir::cleanPath(installed);
    QDir folder(QCoreApplication::applicationDirPath());
    for (int up = 0; up <= kFoldersSearchedUpwards; ++up) {
        const QString candidate = folder.filePath(QStringLiteral("fonts/") + name);
        if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
        if (!folder.cdUp()) break;
    }
#ifdef PEBBLEWICK_BUILD_FONT_DIR
    const QString built = QStringLiteral(PEBBLEWICK_BUILD_FONT_DIR "/") + name;
    if (QFileInfo(built).isFile()) return built;
#endif
    return {};
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

QUrl FlashChannelScriptUrl() {
    return FlashUrl(QStringLiteral("/qwebchannel.js"));
}

std::optional<GrowingBytes> MovieCopyForPlayer(const QString& path, const std::function<bool()>& stopped) {
    QFile file(path);
    return RecodeGbkMovie([&file, &stopped]() -> SwfByteSource {
        file.close();
        const bool opened = file.open(QIODevice::ReadOnly);
        return [&file, &stopped, opened](std::span<std::uint8_t> into) -> std::ptrdiff_t {
            if (!opened || stopped()) return -1;
            return file.read(reinterpret_cast<char*>(into.data()), static_cast<qint64>(into.size()));
        };
    });
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
        return FlashResource{DeviceFontFile(), kFontMimeType};
    }
    if (path == FlashChannelScriptUrl().path()) {
        return FlashResource{QLatin1String(kChannelScript), "text/javascript"};
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

namespace {

// A re-encoded movie as the engine reads it: it owns the copy, and gives the pages that
// the engine has read back to the system, so that the copy and the engine's own copy of
// the movie are never held whole at the same time. Read from the front only.
class MovieCopyDevice : public QIODevice {
public:
    MovieCopyDevice(GrowingBytes bytes, QObject* parent) : QIODevice(parent), bytes_(std::move(bytes)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    qint64 size() const override { return static_cast<qint64>(bytes_.size()); }
    bool seek(qint64 position) override {
        // What was given back cannot be read again.
        return position >= static_cast<qint64>(released_) && QIODevice::seek(position);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const auto at = static_cast<std::size_t>(pos());
        const auto count = static_cast<std::size_t>(std::min<qint64>(maxSize, size() - pos()));
        std::memcpy(data, bytes_.data() + at, count);
        Release(at + count);
        return static_cast<qint64>(count);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    // Gives back the whole pages before `end`, but never the first one (the allocator
    // keeps its record of the block just before it).
    void Release(std::size_t end) {
        static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const auto begin = reinterpret_cast<std::uintptr_t>(bytes_.data());
        const std::uintptr_t from = std::max((begin / page + 1) * page, begin + released_);
        const std::uintptr_t to = (begin + end) / page * page;
        if (to <= from) return;
        madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
        released_ = to - begin;
    }

    GrowingBytes bytes_;
    std::size_t released_ = 0;  // bytes_[0, released_) may be gone
};

}  // namespace

FlashSchemeHandler::FlashSchemeHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), ruffleDirectory_(RuffleDirectory()) {
    workers_.setMaxThreadCount(1);
}

FlashSchemeHandler::~FlashSchemeHandler() {
    // A worker reads nothing more once asked to stop; its reply, queued to this object,
    // goes with it.
    stopping_ = true;
    workers_.waitForDone();
}

void FlashSchemeHandler::SetMovie(const QString& token, const QString& path) {
    movieToken_ = token;
    moviePath_ = path;
    ++movieGeneration_;
}

void FlashSchemeHandler::ReplyWithMovie(QWebEngineUrlRequestJob* job, const QString& path) {
    // The engine may drop the job (the page went, or asked again) while the worker runs.
    QPointer<QWebEngineUrlRequestJob> target(job);
    const int generation = movieGeneration_;
    workers_.start([this, target, path, generation] {
        auto copy = std::make_shared<std::optional<GrowingBytes>>();
        // Closing the view or choosing another movie ends the work at its next piece.
        *copy = MovieCopyForPlayer(path, [this, generation] { return stopping_ || movieGeneration_ != generation; });
        QMetaObject::invokeMethod(
            this,
            [target, path, copy] {
                if (!target) return;
                if (*copy) {
                    target->reply(kMovieMimeType, new MovieCopyDevice(std::move(**copy), target));
                    return;
                }
                // Handed over as it is.
                auto* file = new QFile(path, target);
                if (!file->open(QIODevice::ReadOnly)) {
                    target->fail(QWebEngineUrlRequestJob::UrlNotFound);
                    return;
                }
                target->reply(kMovieMimeType, file);
            },
            Qt::QueuedConnection);
    });
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
    // The job owns the file; the engine reads it after we return.
    auto* file = new QFile(resource->filePath, job);
    if (!QFileInfo(*file).isFile() || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    if (resource->mimeType == kMovieMimeType) {
        const QByteArray start = file->peek(4);
        if (MayHoldGbkText(std::span(reinterpret_cast<const std::uint8_t*>(start.constData()),
                                     static_cast<std::size_t>(start.size())))) {
            delete file;
            ReplyWithMovie(job, resource->filePath);
            return;
        }
    }
    // Movies, Ruffle's files, the page and the font are read from the file as the engine
    // asks for them: the program keeps no copy of a movie, of the 14 MB WebAssembly or of
    // the font.
    job->reply(resource->mimeType, file);
}

}  // namespace pw

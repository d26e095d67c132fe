#include "host/flash_scheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "core/swf_text.h"

namespace pw {

namespace {

constexpr char kHost[] = "player";
constexpr char kPlayerPage[] = ":/pebblewick/host/player.html";
constexpr char kFontName[] = "NotoSansCJK-Regular.ttc";  // in the player's URL
// Made by the build from the collection of fonts-noto-cjk (host/subset_device_font.py).
constexpr char kDeviceFontName[] = "NotoSansCJK-SC-Subset.ttc";
constexpr char kSystemDeviceFont[] = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
constexpr int kFoldersSearchedUpwards = 3;
constexpr char kMovieMimeType[] = "application/x-shockwave-flash";
constexpr char kFontMimeType[] = "font/collection";

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
    // The whole collection serves as well, at a larger cost in the player's memory.
    return QLatin1String(kSystemDeviceFont);
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

namespace {

// Big-endian reads that fail (nothing) past the end of the bytes.
std::optional<std::uint32_t> ReadU32(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 4 > bytes.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::optional<std::uint16_t> ReadU16(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 2 > bytes.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + at);
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// The full names (name ID 4) of the face whose table directory is at `face`.
QStringList FullNamesOfFace(const QByteArray& font, qsizetype face) {
    QStringList names;
    const auto tables = ReadU16(font, face + 4);
    if (!tables) return names;
    for (int t = 0; t < *tables; ++t) {
        const qsizetype record = face + 12 + 16 * t;
        if (font.mid(record, 4) != "name") continue;
        const auto start = ReadU32(font, record + 8);
        const auto count = start ? ReadU16(font, *start + 2) : std::nullopt;
        const auto strings = start ? ReadU16(font, *start + 4) : std::nullopt;
        if (!count || !strings) return names;
        for (int n = 0; n < *count; ++n) {
            const qsizetype entry = *start + 6 + 12 * n;
            const auto platform = ReadU16(font, entry);
            const auto nameId = ReadU16(font, entry + 6);
            const auto length = ReadU16(font, entry + 8);
            const auto offset = ReadU16(font, entry + 10);
            if (!platform || !nameId || !length || !offset || *nameId != 4) continue;
            const qsizetype at = *start + *strings + *offset;
            if (at + *length > font.size()) continue;
            const QByteArray raw = font.mid(at, *length);
            if (*platform == 0 || *platform == 3) {  // UTF-16, big-endian
                QString name;
                for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
                    name.append(QChar(static_cast<char16_t>((static_cast<unsigned char>(raw[i]) << 8) |
                                                            static_cast<unsigned char>(raw[i + 1]))));
                names.append(name);
            } else if (*platform == 1) {
                names.append(QString::fromLatin1(raw));
            }
        }
        return names;
    }
    return names;
}

}  // namespace

QStringList DeviceFontFaces() {
    // As the player page names them (kProportionalFace, kMonospaceFace in player.html).
    return {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans Mono CJK SC")};
}

QByteArray CollectionWithFaces(const QByteArray& collection, const QStringList& names) {
    const auto faces = ReadU32(collection, 8);
    if (!collection.startsWith("ttcf") || !faces || *faces == 0 || *faces > 0xFFFF) return collection;
    QList<std::uint32_t> kept;
    for (std::uint32_t i = 0; i < *faces; ++i) {
        const auto offset = ReadU32(collection, 12 + 4 * static_cast<qsizetype>(i));
        if (!offset) return collection;
        const QStringList faceNames = FullNamesOfFace(collection, *offset);
        const bool wanted = std::any_of(faceNames.begin(), faceNames.end(),
                                        [&](const QString& name) { return names.contains(name); });
        if (wanted) kept.append(*offset);
    }
    if (kept.isEmpty() || kept.size() == static_cast<qsizetype>(*faces)) return collection;
    // The shorter header goes where the old one was: every offset in the file stays right.
    // The version-2 signature fields that followed the old list are zeroed (no signature).
    QByteArray result = collection;
    const qsizetype oldHeader = 12 + 4 * static_cast<qsizetype>(*faces);
    std::fill(result.begin() + 4, result.begin() + oldHeader, '\0');
    auto put = [&](qsizetype at, std::uint32_t value) {
        for (int b = 0; b < 4; ++b) result[at + b] = static_cast<char>((value >> (24 - 8 * b)) & 0xFF);
    };
    put(4, 0x00010000);  // version 1.0: no signature fields
    put(8, static_cast<std::uint32_t>(kept.size()));
    for (qsizetype i = 0; i < kept.size(); ++i) put(12 + 4 * i, kept[i]);
    return result;
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

void ReplyWith(QWebEngineUrlRequestJob* job, const QByteArray& mimeType, const QByteArray& bytes) {
    auto* body = new QBuffer(job);
    body->setData(bytes);
    body->open(QIODevice::ReadOnly);
    job->reply(mimeType, body);
}

}  // namespace

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
    // The job owns the file; the engine reads it after we return.
    auto* file = new QFile(resource->filePath, job);
    if (!QFileInfo(*file).isFile() || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    if (resource->mimeType == kMovieMimeType) {
        // The whole movie as it is now (it may still be growing), re-encoded if it is old.
        ReplyWith(job, resource->mimeType, MovieForPlayer(file->readAll()));
        return;
    }
    if (resource->mimeType == kFontMimeType) {
        // The font is looked at through a mapping: only a collection with more faces than
        // the page names is copied (with a shorter header); the build's is sent as it is.
        const qint64 size = file->size();
        const uchar* mapped = size > 0 ? file->map(0, size) : nullptr;
        if (mapped) {
            const QByteArray whole = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
            const QByteArray served = CollectionWithFaces(whole, DeviceFontFaces());
            const bool unchanged = served.constData() == whole.constData();
            if (!unchanged) ReplyWith(job, resource->mimeType, served);  // a copy of its own
            file->unmap(const_cast<uchar*>(mapped));
            if (!unchanged) return;
        }
    }
    // Ruffle's files, the page and the font are read from the file as the engine asks
    // for them: the program keeps no copy of the 14 MB WebAssembly or of the font.
    job->reply(resource->mimeType, file);
}

}  // namespace pw

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <QThreadPool>

#include <atomic>
#include <functional>
#include <optional>

#include "core/swf_text.h"

namespace pw {

// The URL scheme through which a FlashView's page gets its player page, the Ruffle
// files, the font and the current movie. Nothing else can be read through it.
inline constexpr char kFlashScheme[] = "pwflash";

// Registers the scheme with Qt WebEngine; must run before the QApplication exists.
void RegisterFlashViewScheme();

// Where the Ruffle files are: share/pebblewick/ruffle under the installation prefix
// (the executable in <prefix>/bin), or where the build puts them: "ruffle" beside the
// executable, or in one of the folders above it (the program and the tests live in
// subfolders of the build folder). Empty when none is found.
QString RuffleDirectory();

// Makes RuffleDirectory() answer `directory` (tests only); an empty text restores the
// search.
void OverrideRuffleDirectory(const QString& directory);

// The font collection that Ruffle gets for device text: Noto Sans CJK SC and its Mono
// face, whose glyphs cover both the Latin and the Chinese that lesson movies write in
// device fonts, cut down by the build to these two faces and the characters lessons
// hold (GBK and Latin-1 with their punctuation): the installed one, else the build's;
// empty when neither is there.
QString DeviceFontFile();

QUrl FlashPlayerPageUrl();
QUrl FlashFontUrl();
QUrl FlashMovieUrl(const QString& token);

QUrl FlashChannelScriptUrl();

// The copy of the movie in the file that the player gets instead of the file: an old
// movie holding GBK text, re-encoded (RecodeGbkMovie). Nothing for any other movie, which
// is served as the file is, and nothing once `stopped` answers true (asked at every
// piece). Reads the file in pieces: meant for a worker thread.
std::optional<GrowingBytes> MovieCopyForPlayer(const QString& path, const std::function<bool()>& stopped);

// What one request of the scheme is answered with.
struct FlashResource {
    QString filePath;
    QByteArray mimeType;
};

// The file that answers `url`, or nothing when the scheme must refuse it: a movie
// other than the current one, a Ruffle file that is not a plain name in
// `ruffleDirectory`, or any other path.
std::optional<FlashResource> ResolveFlashUrl(const QUrl& url, const QString& ruffleDirectory,
                                             const QString& movieToken, const QString& moviePath);

// Answers one view's requests of the scheme. Files are read afresh at every request, as
// the engine takes them, never copied whole into memory first. An old movie that may hold
// GBK text is re-encoded on a worker, and the request answered when that is done.
class FlashSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit FlashSchemeHandler(QObject* parent = nullptr);
    ~FlashSchemeHandler() override;

    void SetMovie(const QString& token, const QString& path);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void ReplyWithMovie(QWebEngineUrlRequestJob* job, const QString& path);

    QString ruffleDirectory_;
    QString movieToken_;
    QString moviePath_;
    // Bumped by every SetMovie: a worker still busy with an older movie stops.
    std::atomic<int> movieGeneration_{0};
    std::atomic<bool> stopping_{false};
    QThreadPool workers_;  // last member: waited for first
};

}  // namespace pw

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <optional>

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
// device fonts, cut down by the build to the characters lessons hold (GBK and Latin-1
// with their punctuation): the installed one, else the build's, else the whole
// collection of fonts-noto-cjk.
QString DeviceFontFile();

QUrl FlashPlayerPageUrl();
QUrl FlashFontUrl();
QUrl FlashMovieUrl(const QString& token);

// The movie as the player gets it: an old movie holding GBK text as a re-encoded copy
// (RecodeGbkMovie), any other movie as it is.
QByteArray MovieForPlayer(const QByteArray& movie);

// The faces of the device font that the player page names; Ruffle keeps a copy of the
// whole collection for every face it holds, so it gets only these.
QStringList DeviceFontFaces();

// The font collection (TTC) with only the faces whose full names are in `names`, in the
// collection's order: the header lists fewer faces, the tables stay where they are. The
// input unchanged when it is not a collection it can read or holds none of the faces.
QByteArray CollectionWithFaces(const QByteArray& collection, const QStringList& names);

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

// Answers one view's requests of the scheme. Files are read afresh at every request:
// a movie may still be growing when it is first asked for. The other files are read
// from the file as the engine takes them, not copied whole into memory first.
class FlashSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit FlashSchemeHandler(QObject* parent = nullptr);

    void SetMovie(const QString& token, const QString& path);
    void SetRuffleDirectory(const QString& directory) { ruffleDirectory_ = directory; }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QString ruffleDirectory_;
    QString movieToken_;
    QString moviePath_;
};

}  // namespace pw

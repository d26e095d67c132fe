// The shelf: the lessons as picture tiles, the last ones played first and the favourites
// after them; the catalogue's pictures fetched after the catalogue; a snapshot of a lesson
// that has none, taken once it has played for a while.
#include "app/program.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/parent_corner.h"
#include "core/files.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "lessons/lesson_pictures.h"
#include "ui/window_descriptions.h"
#include "ui/window_loader.h"

namespace pw {
namespace {

constexpr QSize kSnapshotSize{320, 240};
// The PNG text key under which a snapshot names the lesson file it was taken of.
const QString kSnapshotOf = QStringLiteral("pebblewick-lesson");

// What tells a lesson file's content on disk; empty when it cannot be looked at.
QString FileIdentityText(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(st.st_dev)
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec);
}

// The snapshot's PNG, scaled to at most 320 x 240, naming the file it was taken of.
std::string SnapshotPng(const QImage& frame, const QString& identity) {
    const QImage scaled = frame.scaled(kSnapshotSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setText(kSnapshotOf, identity);
    if (!writer.write(scaled)) return {};
    return bytes.toStdString();
}

}  // namespace

void Program::OnShelfClicked() {
    display_->SetShelf(ShelfContent());
    display_->ToggleShelf();
}

void Program::OnFavouriteClicked(int group, int item) {
    const LessonEntry* lesson = FindLesson(catalogue_, group, item);
    if (!lesson) return;
    store_->SetFavourite(lesson->cacheName, !store_->Favourites().contains(lesson->cacheName));
    display_->SetShelf(ShelfContent());
}

std::vector<ShelfRow> Program::ShelfContent() const {
    std::vector<ShelfRow> rows = ShelfRows(catalogue_, store_->RecentLessons(kRecentLessons), store_->Favourites());
    for (ShelfRow& row : rows) {
        for (ShelfTile& tile : row.tiles) {
            const LessonEntry* lesson = FindLesson(catalogue_, tile.group, tile.item);
            tile.ready = LessonReady(tile.group, tile.item);
            tile.picture = PictureOf(*lesson);
        }
    }
    return rows;
}

Text Program::PictureOf(const LessonEntry& lesson) const {
    // A catalogue picture that did not match is not shown, and no snapshot stands in.
    if (lesson.picture) {
        const auto kept = cataloguePictures_.find(lesson.cacheName);
        return kept == cataloguePictures_.end() ? Text() : kept->second;
    }
    const Text snapshot = SnapshotPath(dataDirectory_, lesson.cacheName);
    return LocalFileSize(snapshot) > 0 ? snapshot : Text();
}

void Program::StartPictureFetch() {
    if (ended_) return;
    // A new catalogue may have moved or replaced lessons: the shelf's tiles follow it now.
    display_->SetShelf(ShelfContent());
    std::vector<LessonEntry> lessons;
    for (const LessonEntry& lesson : catalogue_.lessons)
        if (lesson.picture) lessons.push_back(lesson);
    if (lessons.empty()) return;
    const FetchTimeouts timeouts{timeouts_.downloadConnect, timeouts_.downloadStall};
    pictureFetch_.Start([this, lessons = std::move(lessons), origin = HostOrigin(hosts_.site), folder = dataDirectory_,
                         timeouts](std::stop_token stop) {
        std::map<Text, Text> kept;
        for (const LessonEntry& lesson : lessons) {
            if (stop.stop_requested()) return;
            if (auto path = KeepLessonPicture(origin, folder, lesson, timeouts, stop)) kept[lesson.cacheName] = *path;
        }
        PostToUiThread([this, kept = std::move(kept)] {
            if (ended_) return;
            cataloguePictures_ = kept;
            display_->SetShelf(ShelfContent());
        });
    });
}

void Program::StartSnapshotClock(const Text& fileName) {
    snapshotClock_.stop();
    snapshotLesson_.clear();
    const LessonEntry* lesson = LessonByCacheFile(fileName);
    if (!lesson || lesson->picture || !mainWindow_) return;
    // Taken again only when the lesson's file is no longer the one it was taken of.
    const QString identity = FileIdentityText(FilePath(fileName));
    QImageReader kept(ToQString(SnapshotPath(dataDirectory_, fileName)), "png");
    if (!identity.isEmpty() && kept.text(kSnapshotOf) == identity) return;
    snapshotLesson_ = fileName;
    snapshotClock_.start(snapshotDelay_);
}

void Program::OnSnapshotDue() {
    auto* flash = mainWindow_ ? mainWindow_->controlAs<FlashView>(names::kFlashView) : nullptr;
    if (ended_ || !flash || snapshotLesson_ != globals_.CurrentFileName || !lessonChosen_) return;
    // Only the lesson itself: never the rest picture, a dialog, the gate or the pages
    // window over it. Covered, it is tried again after as long again.
    if (parentCorner_->Resting() || pagesWindow_ || QApplication::activeModalWidget() || !flash->isVisible()) {
        snapshotClock_.start(snapshotDelay_);
        return;
    }
    const Text lesson = std::exchange(snapshotLesson_, Text());
    const QImage frame = flash->grab().toImage();
    if (frame.isNull()) return;
    // Scaled, encoded and written off the UI thread: the lesson plays on meanwhile.
    snapshotWrites_.Start([frame, identity = FileIdentityText(FilePath(lesson)),
                           path = SnapshotPath(dataDirectory_, lesson), folder = FilePath(kPicturesFolder)](std::stop_token) {
        // The lesson and the window come first on a machine with few cores.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        const std::string png = SnapshotPng(frame, identity);
        if (png.empty()) return;
        ::mkdir(folder.c_str(), 0755);
        ReplaceFileDurably(path, {reinterpret_cast<const std::uint8_t*>(png.data()), png.size()});
    });
}

}  // namespace pw

// The parent's library: the lessons on this computer, their sizes and last use, and
// deleting them with their parts.
#include "app/program.h"

#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "net/resumable_downloader.h"

namespace pw {
namespace {

// The lesson file first, then what a download of it leaves beside it.
std::vector<Text> LessonFiles(const Text& cacheFile) {
    return {cacheFile, PartFilePath(cacheFile), PartMetaPath(cacheFile), FreshBodyPath(PartFilePath(cacheFile))};
}

// The size of a regular file, 0 when there is none.
std::uint64_t FileBytes(const Text& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return 0;
    const auto bytes = std::filesystem::file_size(path, error);
    return error ? 0 : bytes;
}

}  // namespace

LibraryListing Program::Library() const {
    std::unordered_map<Text, WallTime> lastUses;
    for (const LessonLastUse& use : store_->LastUses()) lastUses.emplace(use.cacheName, use.when);
    LibraryListing listing;
    for (const LessonEntry& lesson : catalogue_.lessons) {
        const Text file = FilePath(lesson.cacheName);
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) continue;
        LibraryRow row{lesson.cacheName, lesson.title, 0, std::nullopt};
        if (const auto used = lastUses.find(lesson.cacheName); used != lastUses.end()) row.lastUse = used->second;
        for (const Text& path : LessonFiles(file)) row.bytes += FileBytes(path);
        listing.rows.push_back(std::move(row));
    }
    SortByLastUse(listing.rows);
    listing.freeBytes = freeDiskSpace_(dataDirectory_);
    return listing;
}

bool Program::LessonInUse(const Text& cacheName) const {
    if (playingFile_ == cacheName) return true;
    if (currentDownloadJob_ != 0 && currentDownloadIsLesson_ && currentDownloadFile_ == cacheName) return true;
    // Chosen, and its probes may yet play it.
    return lessonProbesOut_ > 0 && globals_.CurrentFileName == cacheName;
}

Text Program::LessonTitle(const Text& cacheName) const {
    const LessonEntry* lesson = LessonByCacheFile(cacheName);
    return lesson ? lesson->title : cacheName;
}

bool Program::DeleteLesson(const Text& cacheName) {
    const LessonEntry* lesson = LessonByCacheFile(cacheName);
    if (!lesson || LessonInUse(cacheName)) return false;
    const auto index = static_cast<std::size_t>(lesson - catalogue_.lessons.data());
    const Text file = FilePath(cacheName);
    for (const Text& path : LessonFiles(file)) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::error_code error;
    if (std::filesystem::exists(file, error)) {
        CheckLessonFile(index);  // the mark follows the file that stayed
        return false;
    }
    // A check asked before now may have found the file whole: its answer is dropped.
    std::erase_if(fileChecks_, [index](const auto& check) { return check.second == index; });
    MarkLesson(index, false);
    return true;
}

void Program::DeleteAllLessons() {
    for (const LibraryRow& row : Library().rows)
        if (!LessonInUse(row.cacheName)) DeleteLesson(row.cacheName);
}

}  // namespace pw

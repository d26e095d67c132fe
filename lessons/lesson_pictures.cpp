#include "lessons/lesson_pictures.h"

#include <sys/stat.h>

#include "core/files.h"
#include "lessons/catalogue_file.h"

namespace pw {
namespace {

bool MatchesPicture(std::string_view bytes, const LessonPicture& picture) {
    return static_cast<std::int64_t>(bytes.size()) == picture.size && BytesSha256(bytes) == picture.sha256 &&
           IsPictureFile(bytes);
}

}  // namespace

Text PictureStem(const Text& cacheName) {
    static constexpr std::string_view kLessonExtension = ".ylq";
    return cacheName.ends_with(kLessonExtension) ? cacheName.substr(0, cacheName.size() - kLessonExtension.size())
                                                 : cacheName;
}

Text CataloguePicturePath(const Text& dataDirectory, const Text& cacheName) {
    return JoinPath(JoinPath(dataDirectory, kPicturesFolder), PictureStem(cacheName) + ".site");
}

Text SnapshotPath(const Text& dataDirectory, const Text& cacheName) {
    return JoinPath(JoinPath(dataDirectory, kPicturesFolder), PictureStem(cacheName) + ".png");
}

bool IsPictureFile(std::string_view bytes) {
    return bytes.starts_with("\x89PNG\r\n\x1A\n") || bytes.starts_with("\xFF\xD8\xFF");
}

std::optional<Text> KeepLessonPicture(const Text& siteOrigin, const Text& dataDirectory, const LessonEntry& lesson,
                                      const FetchTimeouts& timeouts, const std::stop_token& stop) {
    if (!lesson.picture) return std::nullopt;
    const Text path = CataloguePicturePath(dataDirectory, lesson.cacheName);
    if (const auto kept = ReadSmallFile(path, kPictureFileLimit); kept && MatchesPicture(*kept, *lesson.picture))
        return path;
    const auto fetched = FetchFile(siteOrigin + lesson.picture->path, kPictureFileLimit, timeouts, stop);
    if (!fetched || !MatchesPicture(*fetched, *lesson.picture) || stop.stop_requested()) return std::nullopt;
    ::mkdir(JoinPath(dataDirectory, kPicturesFolder).c_str(), 0755);
    const auto bytes = reinterpret_cast<const std::uint8_t*>(fetched->data());
    if (!ReplaceFileDurably(path, {bytes, fetched->size()})) return std::nullopt;
    return path;
}

}  // namespace pw

#include "lessons/lesson_selection.h"

#include <cmath>

#include "core/files.h"
#include "core/swf_file.h"

namespace pw {

bool CacheFileIsComplete(std::int32_t localSize, double remoteSize) {
    return localSize > 0 && std::fabs(localSize - remoteSize) <= 0.0000001;
}

bool CacheFileIsComplete(const Text& cachePath, double remoteSize) {
    const std::int32_t localSize = LocalFileSize(cachePath);
    if (localSize > 0 && remoteSize < 0) return IsWholeSwfFile(cachePath);
    return CacheFileIsComplete(localSize, remoteSize);
}

bool IsWholeLesson(const Text& path, const std::optional<LessonDigest>& digest, LessonHashes& hashes) {
    return digest ? hashes.Matches(path, *digest) : IsWholeSwfFile(path);
}

void ProbeLesson(const Text& url, const Text& cachePath, const ProbeTimeouts& timeouts, const std::stop_token& stop,
                 const std::function<void(LessonStep)>& step) {
    // Two separate measurements and two separate tests: a file found complete first and
    // incomplete on the second look is played and fetched again.
    if (CacheFileIsComplete(cachePath, RemoteSizeProbe(url, timeouts, stop))) step(LessonStep::Play);
    if (!CacheFileIsComplete(cachePath, RemoteSizeProbe(url, timeouts, stop))) step(LessonStep::Download);
}

void DecideLesson(const Text& url, const Text& cachePath, const std::optional<LessonDigest>& digest,
                  LessonHashes& hashes, const ProbeTimeouts& timeouts, const std::stop_token& stop,
                  const std::function<void(LessonStep)>& step) {
    if (!digest) return ProbeLesson(url, cachePath, timeouts, stop, step);
    step(hashes.Matches(cachePath, *digest) ? LessonStep::Play : LessonStep::Download);
}

}  // namespace pw

#include "lessons/lesson_selection.h"

#include <cmath>

#include "core/files.h"

namespace pw {

bool CacheFileIsComplete(std::int32_t localSize, double remoteSize) {
    return localSize >= 0 && std::fabs(localSize - remoteSize) <= 0.0000001;
}

void ProbeLesson(const Text& url, const Text& cachePath, const ProbeTimeouts& timeouts,
                 const std::function<void(LessonStep)>& step) {
    // Two separate measurements and two separate tests: a file found complete first and
    // incomplete on the second look is played and fetched again.
    if (CacheFileIsComplete(LocalFileSize(cachePath), RemoteSizeProbe(url, timeouts))) step(LessonStep::Play);
    if (!CacheFileIsComplete(LocalFileSize(cachePath), RemoteSizeProbe(url, timeouts))) step(LessonStep::Download);
}

}  // namespace pw

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>

#include "core/text.h"
#include "lessons/lesson_hashes.h"
#include "net/remote_size_probe.h"

namespace pw {

// A cache file is complete when its size equals the remote size (within 1e-7). A missing
// (-1) or empty file is never complete, whatever the probe said.
bool CacheFileIsComplete(std::int32_t localSize, double remoteSize);

// The same for the file at `cachePath`, and, when the probe failed (-1, -2: the server
// unreachable, HEAD refused, a time-out), a file that is a whole movie by its own
// structure counts as complete: a lesson on disk plays without a network.
bool CacheFileIsComplete(const Text& cachePath, double remoteSize);

// A lesson's file is whole: by its size and SHA-256 when the catalogue gives them, else
// as a whole movie by its own structure. Reads the file: not on the UI thread.
bool IsWholeLesson(const Text& path, const std::optional<LessonDigest>& digest, LessonHashes& hashes);

enum class LessonStep { Play, Download };

// The two measurements of `OpenLesson`, in their order, each a local size against a HEAD
// request: `step` hears Play as soon as the first finds the file complete, and Download
// when the second finds it incomplete. Both can happen, or neither. Blocks while the
// lesson server answers: runs on a worker. A stop request ends both probes at once.
void ProbeLesson(const Text& url, const Text& cachePath, const ProbeTimeouts& timeouts, const std::stop_token& stop,
                 const std::function<void(LessonStep)>& step);

// The lesson decision: with the catalogue's size and SHA-256 the cache file is looked at
// once, with no request, and `step` hears Play when both match, else Download; without
// them, ProbeLesson.
void DecideLesson(const Text& url, const Text& cachePath, const std::optional<LessonDigest>& digest,
                  LessonHashes& hashes, const ProbeTimeouts& timeouts, const std::stop_token& stop,
                  const std::function<void(LessonStep)>& step);

}  // namespace pw

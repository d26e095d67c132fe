#pragma once

#include <optional>
#include <stop_token>
#include <string_view>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "net/file_request.h"

// Where a lesson's picture is kept, and the signed catalogue's pictures fetched from the
// site: in the data folder's `pictures/`, used offline.
namespace pw {

inline const Text kPicturesFolder = "pictures";

// The lesson's cache name without ".ylq": the name its pictures go by.
Text PictureStem(const Text& cacheName);
// The signed catalogue's picture: pictures/<stem>.site (PNG or JPEG).
Text CataloguePicturePath(const Text& dataDirectory, const Text& cacheName);
// The program's own snapshot of the lesson: pictures/<stem>.png.
Text SnapshotPath(const Text& dataDirectory, const Text& cacheName);

// True when the bytes begin as a PNG or a JPEG does.
bool IsPictureFile(std::string_view bytes);

// The lesson's catalogue picture, kept under `dataDirectory`: the one kept already when
// its size and hash still match, else fetched from `siteOrigin` + its path and kept only
// when size, hash and signature match. Nothing when the lesson has no picture or none
// could be had: a picture that failed is tried again at the next start. Waits on the
// network: runs on a worker, and a stop request ends it.
std::optional<Text> KeepLessonPicture(const Text& siteOrigin, const Text& dataDirectory, const LessonEntry& lesson,
                                      const FetchTimeouts& timeouts, const std::stop_token& stop);

}  // namespace pw

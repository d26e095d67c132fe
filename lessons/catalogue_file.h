#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/text.h"
#include "lessons/catalogue.h"

// The catalogue a site publishes beside its update page: `lessons.json` (UTF-8 JSON) and
// its minisign signature `lessons.json.minisig`.
//
//   {"format": 1, "serial": 7,
//    "groups": [{"title": "儿童故事",
//                "lessons": [{"title": "爱吃糖的老虎", "server": 1, "path": "/erly/爱吃糖的老虎.swf",
//                             "cache": "actdlh", "size": 192242, "sha256": "<64 hex digits>"}]}],
//    "mirrors": {"1": ["https://cdn.example.org", "http://10.0.0.5:8080"]}}
namespace pw {

inline const Text kCatalogueFileName = "lessons.json";
inline const Text kCatalogueSignatureName = "lessons.json.minisig";

inline constexpr std::size_t kCatalogueFileLimit = 1024 * 1024;
inline constexpr std::size_t kCatalogueSignatureLimit = 4 * 1024;
inline constexpr std::size_t kMaxCatalogueGroups = 8;
inline constexpr std::size_t kMaxCatalogueLessons = 500;
// A lesson's picture: a PNG or JPEG of at most this many bytes.
inline constexpr std::size_t kPictureFileLimit = 256 * 1024;

// The catalogue in `json`, its texts made GBK, or nothing when it is not format 1 or holds
// one unsound entry. Sound: a serial (a whole number); 1 to 8 groups, each with a title and
// at least one lesson, 500 lessons in all; each lesson with a title, a server 1 or 2, a
// path (starting with "/", without "..", control characters, "\", "%", "#" or "?"), a
// cache name of 1 to 32 of a-z, 0-9 and "_" unique in the catalogue, a size (1 to
// 2^31 - 1 bytes), a SHA-256 (64 hexadecimal digits), and perhaps a picture: {"path": as a
// lesson's, "size": 1 to 256 KiB, "sha256": …}. Titles and paths must be writable in GBK;
// paths are judged before they are made GBK. A "mirrors" member, when present, is an object
// whose members "1" and "2" list up to 8 base addresses for that lesson server, each
// "http://" or "https://", a host and an optional port, with no path. Other members are
// ignored. The bytes are read as anyone's:
// memory stays bounded and nothing is thrown whatever they hold.
std::optional<Catalogue> ParseCatalogue(std::string_view json);

// The catalogue in `json` when `signature` (a `.minisig` file's text) signs it with `key`
// (the base64 line of a minisign public key) and it holds only sound entries.
std::optional<Catalogue> VerifiedCatalogue(std::string_view json, std::string_view signature, std::string_view key);

}  // namespace pw

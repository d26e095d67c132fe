#pragma once

#include <cstdint>
#include <map>
#include <vector>
#include <optional>
#include <string>
#include <string_view>

// The demo site's lesson catalogue, and its signature in minisign's format.
namespace pw::demo {

// lessons.json for the built-in lessons (UTF-8 JSON, as a site publishes it), with the
// size and SHA-256 of each lesson's body in `bodies` (by request path: the lesson path's
// GBK bytes), of its picture in `pictures` (by cache name without ".ylq", served at
// /tovel/pictures/<cache>.png) when it has one there, and the lesson servers' `mirrors`.
std::string CatalogueJson(std::uint64_t serial, const std::map<std::string, std::string>& bodies,
                          const std::map<std::string, std::string>& pictures = {},
                          const std::map<int, std::vector<std::string>>& mirrors = {});

// Where the demo site serves a lesson's picture.
inline std::string PictureRequestPath(const std::string& cache) { return "/tovel/pictures/" + cache + ".png"; }

// The serial of the catalogue in `json`, when it is one.
std::optional<std::uint64_t> CatalogueSerial(std::string_view json);

// The text of a `.minisig` file that signs `message` (prehashed, as `minisign -S` signs)
// with the unencrypted minisign secret key whose file text is `secretKeyFile` (made by
// `minisign -G -W`); `fileName` goes into the trusted comment. Nothing, and `error` says
// why, when the text is no such key.
std::optional<std::string> SignMinisign(std::string_view message, std::string_view secretKeyFile,
                                        std::string_view fileName, std::string& error);

// The text of the demo site's own secret key (for the demo site alone: it is public).
std::string DemoSiteSecretKey();

}  // namespace pw::demo

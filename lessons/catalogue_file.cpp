#include "lessons/catalogue_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <set>

#include "lessons/minisign.h"

namespace pw {
namespace {

using Json = nlohmann::json;

// Deeper than any catalogue, so that members a later format adds still fit.
constexpr int kMaxDepth = 8;
constexpr std::size_t kMaxTitleBytes = 96;
constexpr std::size_t kMaxPathBytes = 512;
constexpr std::size_t kMaxCacheNameBytes = 32;
constexpr std::int64_t kMaxLessonSize = 0x7FFFFFFF;
constexpr std::size_t kMaxMirrorsPerServer = 8;
constexpr std::size_t kMaxMirrorBytes = 260;

// True when arrays and objects nest no deeper than kMaxDepth: checked on the bytes before
// the parser builds anything, so nesting costs no memory.
bool NestsShallowly(std::string_view json) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : json) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

const Json* Member(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

// A JSON number that is a non-negative integer as written, nothing else: outside bytes
// are taken only as exactly what they must be.
std::optional<std::uint64_t> UnsignedMember(const Json* value) {
    if (!value || !value->is_number_unsigned()) return std::nullopt;
    return value->get<std::uint64_t>();
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

// The UTF-8 text as GBK, when it is a string and GBK holds every character of it.
std::optional<Text> GbkString(const Json* value, std::size_t maxBytes) {
    if (!value || !value->is_string()) return std::nullopt;
    const std::string& utf8 = value->get_ref<const std::string&>();
    if (utf8.empty() || utf8.size() > maxBytes || HasControlCharacter(utf8)) return std::nullopt;
    Text gbk = FromUtf8(utf8);
    if (ToUtf8(gbk) != utf8) return std::nullopt;
    return gbk;
}

// A path the program may ask a lesson server for: absolute, no way up, no characters
// that would make it more than a path once it is on the wire. Judged on the UTF-8 text:
// in GBK, the second byte of a character such as 乗 is 0x5C, which is no backslash.
std::optional<Text> LessonPath(const Json* value) {
    if (!value || !value->is_string()) return std::nullopt;
    const std::string& utf8 = value->get_ref<const std::string&>();
    if (!utf8.starts_with('/') || utf8.find("..") != std::string::npos ||
        utf8.find_first_of("\\%#?") != std::string::npos)
        return std::nullopt;
    return GbkString(value, kMaxPathBytes);
}

bool IsCacheName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxCacheNameBytes &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

// A lesson's picture: where on the site's host, its size and hash, all three required.
std::optional<LessonPicture> ParsePicture(const Json& picture) {
    if (!picture.is_object()) return std::nullopt;
    const auto path = LessonPath(Member(picture, "path"));
    const auto size = UnsignedMember(Member(picture, "size"));
    const Json* sha = Member(picture, "sha256");
    if (!path || !size || *size == 0 || *size > kPictureFileLimit || !sha || !sha->is_string()) return std::nullopt;
    const auto sha256 = Sha256FromHex(sha->get_ref<const std::string&>());
    if (!sha256) return std::nullopt;
    return LessonPicture{*path, static_cast<std::int64_t>(*size), *sha256};
}

std::optional<LessonEntry> ParseLesson(const Json& lesson, int group, int item) {
    if (!lesson.is_object()) return std::nullopt;
    LessonEntry entry;
    entry.group = group;
    entry.item = item;
    const auto title = GbkString(Member(lesson, "title"), kMaxTitleBytes);
    const auto server = UnsignedMember(Member(lesson, "server"));
    const auto path = LessonPath(Member(lesson, "path"));
    const Json* cache = Member(lesson, "cache");
    if (!title || !server || (*server != 1 && *server != 2) || !path || !cache || !cache->is_string() ||
        !IsCacheName(cache->get_ref<const std::string&>()))
        return std::nullopt;
    entry.title = *title;
    entry.server = static_cast<int>(*server);
    entry.path = *path;
    entry.cacheName = cache->get_ref<const std::string&>() + ".ylq";
    if (const Json* picture = Member(lesson, "picture")) {
        entry.picture = ParsePicture(*picture);
        if (!entry.picture) return std::nullopt;
    }

    // Every lesson of a signed catalogue comes with its size and hash: without them its
    // bytes would come over plain http unchecked.
    const auto bytes = UnsignedMember(Member(lesson, "size"));
    const Json* sha = Member(lesson, "sha256");
    if (!bytes || *bytes == 0 || *bytes > static_cast<std::uint64_t>(kMaxLessonSize) || !sha || !sha->is_string())
        return std::nullopt;
    const auto sha256 = Sha256FromHex(sha->get_ref<const std::string&>());
    if (!sha256) return std::nullopt;
    entry.digest = LessonDigest{static_cast<std::int64_t>(*bytes), *sha256};
    return entry;
}

// A mirror's base address: http or https, a host (letters, digits, "." and "-", or an IPv6
// address in brackets) and an optional port, nothing after it.
bool IsMirrorBase(const Json& value) {
    if (!value.is_string()) return false;
    const std::string& url = value.get_ref<const std::string&>();
    std::string_view rest = url;
    if (rest.starts_with("https://")) rest.remove_prefix(8);
    else if (rest.starts_with("http://")) rest.remove_prefix(7);
    else return false;
    if (rest.size() > kMaxMirrorBytes) return false;
    std::string_view host = rest, port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close < 3) return false;
        host = rest.substr(1, close - 1);
        if (!std::all_of(host.begin(), host.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':'; }))
            return false;
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') return false;
        port = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && port.empty()) return false;
    } else {
        const std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return false;
        }
        if (host.empty() || host.front() == '.' || host.front() == '-' ||
            !std::all_of(host.begin(), host.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
            }))
            return false;
    }
    if (port.empty()) return true;
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int number = std::stoi(std::string(port));
    return number >= 1 && number <= 65535;
}

// The "mirrors" member: for lesson server "1" and "2", at most 8 base addresses each.
bool ParseMirrors(const Json& mirrors, Catalogue& catalogue) {
    if (!mirrors.is_object()) return false;
    for (const auto& [server, list] : mirrors.items()) {
        if ((server != "1" && server != "2") || !list.is_array() || list.size() > kMaxMirrorsPerServer) return false;
        auto& into = catalogue.mirrors[server == "1" ? 0 : 1];
        for (const Json& base : list) {
            if (!IsMirrorBase(base)) return false;
            into.push_back(base.get<std::string>());
        }
    }
    return true;
}

std::optional<Catalogue> ParseCatalogueJson(const Json& root) {
    if (!root.is_object() || UnsignedMember(Member(root, "format")) != 1u) return std::nullopt;
    Catalogue catalogue;
    catalogue.serial = UnsignedMember(Member(root, "serial"));
    const Json* groups = Member(root, "groups");
    if (!catalogue.serial || !groups || !groups->is_array() || groups->empty() || groups->size() > kMaxCatalogueGroups)
        return std::nullopt;
    std::set<Text> cacheNames;
    for (const Json& group : *groups) {
        if (!group.is_object()) return std::nullopt;
        const auto title = GbkString(Member(group, "title"), kMaxTitleBytes);
        const Json* lessons = Member(group, "lessons");
        if (!title || !lessons || !lessons->is_array() || lessons->empty() ||
            lessons->size() > kMaxCatalogueLessons - catalogue.lessons.size())
            return std::nullopt;
        const int g = static_cast<int>(catalogue.groups.size());
        catalogue.groups.push_back(*title);
        for (std::size_t item = 0; item < lessons->size(); ++item) {
            auto entry = ParseLesson((*lessons)[item], g, static_cast<int>(item));
            if (!entry || !cacheNames.insert(entry->cacheName).second) return std::nullopt;
            catalogue.lessons.push_back(std::move(*entry));
        }
    }
    if (const Json* mirrors = Member(root, "mirrors"); mirrors && !ParseMirrors(*mirrors, catalogue))
        return std::nullopt;
    return catalogue;
}

}  // namespace

std::optional<Catalogue> ParseCatalogue(std::string_view json) {
    if (json.size() > kCatalogueFileLimit || !NestsShallowly(json)) return std::nullopt;
    try {
        const Json root = Json::parse(json.begin(), json.end(), nullptr, false);
        if (root.is_discarded()) return std::nullopt;
        return ParseCatalogueJson(root);
    } catch (const std::exception&) {
        return std::nullopt;  // out of memory: no catalogue, as for any other fault
    }
}

std::optional<Catalogue> VerifiedCatalogue(std::string_view json, std::string_view signature, std::string_view key) {
    const auto publicKey = ParseMinisignPublicKey(key);
    if (!publicKey || json.size() > kCatalogueFileLimit || signature.size() > kCatalogueSignatureLimit ||
        !VerifyMinisign(json, signature, *publicKey))
        return std::nullopt;
    return ParseCatalogue(json);
}

}  // namespace pw

#include "tools/demo_site/catalogue_signing.h"

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <vector>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_hashes.h"
#include "lessons/minisign.h"

namespace pw::embedded {
extern const std::uint8_t kDemoSiteKey[];
extern const std::size_t kDemoSiteKeySize;
}  // namespace pw::embedded

namespace pw::demo {
namespace {

// A minisign secret key file's second line, decoded: the algorithm, the key derivation
// ("\0\0" when unencrypted), the checksum's algorithm, the derivation's salt and limits,
// then the key id, the Ed25519 secret key and a checksum.
constexpr std::size_t kKeyIdAt = 2 + 2 + 2 + 32 + 8 + 8;
constexpr std::size_t kSecretKeyAt = kKeyIdAt + kMinisignKeyIdBytes;
constexpr std::size_t kSecretKeyFileBytes = kSecretKeyAt + crypto_sign_SECRETKEYBYTES + 32;

}  // namespace

std::string CatalogueJson(std::uint64_t serial, const std::map<std::string, std::string>& bodies,
                          const std::map<std::string, std::string>& pictures,
                          const std::map<int, std::vector<std::string>>& mirrors) {
    using Json = nlohmann::ordered_json;
    Json groups = Json::array();
    const auto headers = LessonGroupHeaders();
    for (int g = 0; g < kGuestbookGroup; ++g) groups.push_back({{"title", headers[g]}, {"lessons", Json::array()}});
    for (const LessonRow& row : LessonCatalogue()) {
        const std::string& body = bodies.at(FromUtf8(row.path));
        std::string cache = row.cacheName;
        cache.resize(cache.size() - 4);  // the file is "<cache>.ylq"
        groups[row.group]["lessons"].push_back({{"title", row.title},
                                                {"server", row.server},
                                                {"path", row.path},
                                                {"cache", cache},
                                                {"size", body.size()},
                                                {"sha256", Sha256Hex(BytesSha256(body))}});
        if (const auto picture = pictures.find(cache); picture != pictures.end())
            groups[row.group]["lessons"].back()["picture"] = {{"path", PictureRequestPath(cache)},
                                                              {"size", picture->second.size()},
                                                              {"sha256", Sha256Hex(BytesSha256(picture->second))}};
    }
    Json catalogue = {{"format", 1}, {"serial", serial}, {"groups", groups}};
    for (const auto& [server, bases] : mirrors) catalogue["mirrors"][std::to_string(server)] = bases;
    return catalogue.dump(1, ' ', false) + "\n";
}

std::optional<std::uint64_t> CatalogueSerial(std::string_view json) {
    const auto catalogue = ParseCatalogue(json);
    return catalogue ? catalogue->serial : std::nullopt;
}

std::optional<std::string> SignMinisign(std::string_view message, std::string_view secretKeyFile,
                                        std::string_view fileName, std::string& error) {
    const std::size_t lineEnd = secretKeyFile.find('\n');
    std::string_view line = lineEnd == std::string_view::npos ? std::string_view() : secretKeyFile.substr(lineEnd + 1);
    line = line.substr(0, line.find_first_of("\r\n"));
    const auto key = FromBase64(line);
    if (!key || key->size() != kSecretKeyFileBytes || (*key)[0] != 'E' || (*key)[1] != 'd' || (*key)[4] != 'B' ||
        (*key)[5] != '2') {
        error = "not a minisign secret key file";
        return std::nullopt;
    }
    if ((*key)[2] != 0 || (*key)[3] != 0) {
        error = "the secret key is encrypted: make one with `minisign -G -W`, or sign by hand with `minisign -S`";
        return std::nullopt;
    }
    const std::uint8_t* keyId = key->data() + kKeyIdAt;
    const std::uint8_t* secret = key->data() + kSecretKeyAt;

    std::array<std::uint8_t, crypto_generichash_BYTES_MAX> hash{};
    crypto_generichash(hash.data(), hash.size(), reinterpret_cast<const std::uint8_t*>(message.data()), message.size(),
                       nullptr, 0);
    std::array<std::uint8_t, 2 + kMinisignKeyIdBytes + crypto_sign_BYTES> signature{'E', 'D'};
    std::copy_n(keyId, kMinisignKeyIdBytes, signature.begin() + 2);
    std::uint8_t* bytes = signature.data() + 2 + kMinisignKeyIdBytes;
    crypto_sign_detached(bytes, nullptr, hash.data(), hash.size(), secret);

    const std::string comment =
        "timestamp:" + std::to_string(std::time(nullptr)) + "\tfile:" + std::string(fileName) + "\thashed";
    std::vector<std::uint8_t> signedComment(crypto_sign_BYTES + comment.size());
    std::copy_n(bytes, crypto_sign_BYTES, signedComment.begin());
    std::copy(comment.begin(), comment.end(), signedComment.begin() + crypto_sign_BYTES);
    std::array<std::uint8_t, crypto_sign_BYTES> global{};
    crypto_sign_detached(global.data(), nullptr, signedComment.data(), signedComment.size(), secret);
    return "untrusted comment: signature from minisign secret key\n" + ToBase64(signature) + "\ntrusted comment: " +
           comment + "\n" + ToBase64(global) + "\n";
}

std::string DemoSiteSecretKey() {
    return std::string(reinterpret_cast<const char*>(embedded::kDemoSiteKey), embedded::kDemoSiteKeySize);
}

}  // namespace pw::demo

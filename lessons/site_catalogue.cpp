#include "lessons/site_catalogue.h"

#include <cstdio>
#include <cstdlib>

#include "core/files.h"
#include "lessons/catalogue_file.h"

namespace pw {
namespace {

constexpr std::size_t kKeptCatalogueLimit = kCatalogueFileLimit + kCatalogueSignatureLimit + 16;

// The one kept file's parts; nothing when it is not one.
std::optional<SignedCatalogue> SplitKept(std::string_view kept) {
    const std::size_t lineEnd = kept.find('\n');
    if (lineEnd == 0 || lineEnd > 5) return std::nullopt;  // npos too
    std::size_t length = 0;
    for (const char c : kept.substr(0, lineEnd)) {
        if (c < '0' || c > '9') return std::nullopt;
        length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    const std::string_view rest = kept.substr(lineEnd + 1);
    if (length > kCatalogueSignatureLimit || length > rest.size()) return std::nullopt;
    return SignedCatalogue{std::string(rest.substr(length)), std::string(rest.substr(0, length))};
}

// True when the verified catalogue is not below the highest serial ever verified, which it
// then raises: the floor holds when the kept files are lost.
bool AtOrAboveFloor(const Catalogue& catalogue, Store* store) {
    if (!store) return true;
    if (*catalogue.serial < store->CatalogueFloor()) return false;
    store->RaiseCatalogueFloor(*catalogue.serial);
    return true;
}

}  // namespace

Text ReadCatalogueKey() {
    const char* value = NonEmptyEnvironment("PEBBLEWICK_CATALOGUE_KEY");
    return Text(value ? value : PEBBLEWICK_DEFAULT_CATALOGUE_KEY);
}

std::optional<SignedCatalogue> ReadKeptCatalogueFiles(const Text& dataDirectory) {
    if (const auto kept = ReadSmallFile(JoinPath(dataDirectory, kKeptCatalogueName), kKeptCatalogueLimit))
        return SplitKept(*kept);
    auto json = ReadSmallFile(JoinPath(dataDirectory, kCatalogueFileName), kCatalogueFileLimit);
    auto signature = ReadSmallFile(JoinPath(dataDirectory, kCatalogueSignatureName), kCatalogueSignatureLimit);
    if (!json || !signature) return std::nullopt;
    return SignedCatalogue{std::move(*json), std::move(*signature)};
}

bool KeepCatalogue(const Text& dataDirectory, const SignedCatalogue& kept) {
    const std::string bytes = std::to_string(kept.signature.size()) + "\n" + kept.signature + kept.json;
    if (!ReplaceFileDurably(JoinPath(dataDirectory, kKeptCatalogueName),
                            {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}))
        return false;
    // The two files an earlier version kept are read no more.
    std::remove(JoinPath(dataDirectory, kCatalogueFileName).c_str());
    std::remove(JoinPath(dataDirectory, kCatalogueSignatureName).c_str());
    return true;
}

std::optional<Catalogue> ReadKeptCatalogue(const Text& dataDirectory, std::string_view key, Store* store) {
    const auto kept = ReadKeptCatalogueFiles(dataDirectory);
    if (!kept) return std::nullopt;
    auto catalogue = VerifiedCatalogue(kept->json, kept->signature, key);
    if (!catalogue || !AtOrAboveFloor(*catalogue, store)) return std::nullopt;
    return catalogue;
}

std::optional<Catalogue> FetchSiteCatalogue(const Text& siteBaseUrl, const Text& dataDirectory, std::string_view key,
                                            std::optional<std::uint64_t> keptSerial, const FetchTimeouts& timeouts,
                                            const std::stop_token& stop, Store* store) {
    const auto json = FetchFile(siteBaseUrl + kCatalogueFileName, kCatalogueFileLimit, timeouts, stop);
    if (!json) return std::nullopt;
    const auto signature = FetchFile(siteBaseUrl + kCatalogueSignatureName, kCatalogueSignatureLimit, timeouts, stop);
    if (!signature) return std::nullopt;
    auto catalogue = VerifiedCatalogue(*json, *signature, key);
    // No rollback: an older catalogue, however well signed, is no news.
    if (!catalogue || (keptSerial && *catalogue->serial <= *keptSerial) || stop.stop_requested() ||
        !AtOrAboveFloor(*catalogue, store))
        return std::nullopt;
    KeepCatalogue(dataDirectory, {std::move(*json), std::move(*signature)});
    return catalogue;
}

}  // namespace pw

#include "lessons/site_catalogue.h"

#include <cstdlib>

#include "core/files.h"
#include "lessons/catalogue_file.h"

namespace pw {
namespace {

bool Keep(const Text& path, const std::string& bytes) {
    return static_cast<bool>(
        ReplaceFileDurably(path, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
}

}  // namespace

Text ReadCatalogueKey() {
    const char* value = std::getenv("PEBBLEWICK_CATALOGUE_KEY");
    return (value && *value) ? Text(value) : Text(PEBBLEWICK_DEFAULT_CATALOGUE_KEY);
}

std::optional<Catalogue> ReadKeptCatalogue(const Text& dataDirectory, std::string_view key) {
    const auto json = ReadSmallFile(JoinPath(dataDirectory, kCatalogueFileName), kCatalogueFileLimit);
    const auto signature = ReadSmallFile(JoinPath(dataDirectory, kCatalogueSignatureName), kCatalogueSignatureLimit);
    if (!json || !signature) return std::nullopt;
    return VerifiedCatalogue(*json, *signature, key);
}

std::optional<Catalogue> FetchSiteCatalogue(const Text& siteBaseUrl, const Text& dataDirectory, std::string_view key,
                                            std::optional<std::uint64_t> keptSerial, const FetchTimeouts& timeouts,
                                            const std::stop_token& stop) {
    const auto json = FetchFile(siteBaseUrl + kCatalogueFileName, kCatalogueFileLimit, timeouts, stop);
    if (!json) return std::nullopt;
    const auto signature = FetchFile(siteBaseUrl + kCatalogueSignatureName, kCatalogueSignatureLimit, timeouts, stop);
    if (!signature) return std::nullopt;
    auto catalogue = VerifiedCatalogue(*json, *signature, key);
    // No rollback: an older catalogue, however well signed, is no news.
    if (!catalogue || (keptSerial && *catalogue->serial <= *keptSerial) || stop.stop_requested()) return std::nullopt;
    // The catalogue first: a signature kept alone verifies nothing.
    if (Keep(JoinPath(dataDirectory, kCatalogueFileName), *json))
        Keep(JoinPath(dataDirectory, kCatalogueSignatureName), *signature);
    return catalogue;
}

}  // namespace pw

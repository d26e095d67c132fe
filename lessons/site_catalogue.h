#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/store.h"
#include "net/file_request.h"

// The site's signed catalogue as the program fetches it and keeps it in its data folder.
namespace pw {

// The minisign public key (the base64 line of its `.pub` file) that the catalogue must be
// signed with: PEBBLEWICK_CATALOGUE_KEY when it is set and not empty, else the key the
// program was built with.
Text ReadCatalogueKey();

// The catalogue and its signature, as the site publishes them.
struct SignedCatalogue {
    std::string json, signature;
};

// Where the program keeps the catalogue with its signature: one file, replaced in one
// rename, so that no crash or full disk can leave a catalogue beside another's signature.
// It holds the signature's length in decimal on a line of its own, the signature, then
// the catalogue.
inline const Text kKeptCatalogueName = "lessons.json.signed";

// The catalogue and signature kept in `dataDirectory`, unverified: the one file, else the
// two files an earlier version kept. Nothing when neither can be read.
std::optional<SignedCatalogue> ReadKeptCatalogueFiles(const Text& dataDirectory);

// Keeps `kept` in `dataDirectory` durably, in place of what was kept; false when it could
// not be written (what was kept then stays).
bool KeepCatalogue(const Text& dataDirectory, const SignedCatalogue& kept);

// The catalogue kept in `dataDirectory`, verified afresh with `key`; nothing when none is
// kept, it does not verify, or its serial is below `store`'s floor (the highest serial
// ever verified), which it raises otherwise.
std::optional<Catalogue> ReadKeptCatalogue(const Text& dataDirectory, std::string_view key, Store* store = nullptr);

// Fetches `lessons.json` and its signature from the site. When they verify with `key`, hold
// only sound entries and come with a serial above `keptSerial` (any serial when nothing is
// kept) and not below `store`'s floor, both are kept in `dataDirectory` (written durably;
// a folder that takes no files only loses them at the end of the run), the floor is
// raised to the serial and the catalogue is returned; nothing otherwise. The floor outlives
// the kept files: once they are lost, an older catalogue is still refused.
// Waits on the network: runs on a worker, and a stop request ends it at once.
std::optional<Catalogue> FetchSiteCatalogue(const Text& siteBaseUrl, const Text& dataDirectory, std::string_view key,
                                            std::optional<std::uint64_t> keptSerial, const FetchTimeouts& timeouts,
                                            const std::stop_token& stop, Store* store = nullptr);

}  // namespace pw

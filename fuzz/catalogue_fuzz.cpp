// libFuzzer target: arbitrary bytes as the site's lesson catalogue, and as a signature file
// and a public key line. Besides the sanitizers it checks what the program relies on: a
// catalogue that parses is within its limits, its cache names are its own and fit for a
// file name, its paths are absolute and cannot climb; nothing verifies against bytes that
// were never signed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "lessons/catalogue_file.h"
#include "lessons/minisign.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// A key nobody holds the secret of: the demo site's public key with its last byte changed.
constexpr std::string_view kKey = "RWS99nuXYIZ3L6CVmPbFjAzKsMPkxMQohdl9bDLmUl1xRh+ZjefCuEkA";

void FuzzCatalogue(std::string_view json) {
    const auto catalogue = pw::ParseCatalogue(json);
    if (!catalogue) return;
    Require(!catalogue->groups.empty() && catalogue->groups.size() <= pw::kMaxCatalogueGroups);
    Require(catalogue->lessons.size() <= pw::kMaxCatalogueLessons);
    std::set<pw::Text> cacheNames;
    for (const pw::LessonEntry& lesson : catalogue->lessons) {
        Require(lesson.group >= 0 && static_cast<std::size_t>(lesson.group) < catalogue->groups.size());
        Require(lesson.server == 1 || lesson.server == 2);
        Require(!lesson.path.empty() && lesson.path.front() == '/' && lesson.path.find("..") == pw::Text::npos);
        Require(cacheNames.insert(lesson.cacheName).second);
        Require(lesson.cacheName.size() > 4 && lesson.cacheName.find('/') == pw::Text::npos);
        Require(!lesson.digest || lesson.digest->size > 0);
        Require(pw::FindLesson(*catalogue, lesson.group, lesson.item) == &lesson);
    }
    Require(pw::LessonMenu(*catalogue).size() == catalogue->groups.size() + 1);
}

void FuzzSignature(std::string_view input) {
    // The first byte splits the rest into the signed bytes and the signature file.
    if (input.empty()) return;
    const std::size_t split = std::min<std::size_t>(static_cast<unsigned char>(input[0]) * 8, input.size() - 1);
    const std::string_view message = input.substr(1, split), signature = input.substr(1 + split);
    const auto key = pw::ParseMinisignPublicKey(kKey);
    Require(key.has_value());
    Require(!pw::VerifyMinisign(message, signature, *key));
    Require(!pw::VerifiedCatalogue(message, signature, kKey));
    if (const auto other = pw::ParseMinisignPublicKey(signature))
        Require(!pw::VerifyMinisign(message, signature, *other));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FuzzCatalogue(input);
    FuzzSignature(input);
    return 0;
}

#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The largest catalogue a site may publish, for the benchmarks that must hold their
// figures with it.
namespace pw::bench {

// A lesson the catalogue lists with its real size and hash (UTF-8 path, cache name
// without ".ylq"), so that the program finds its file complete.
struct ListedLesson {
    std::string title, path, cache, body;
};

struct LargeCatalogue {
    std::string json, signature;
    std::string publicKey;  // the key (base64 line) that verifies it: the demo site's
    int group = 0, item = 0;  // where `listed` stands in the menu: the very last lesson
};

// 500 lessons in 8 groups, `listed` the last of them, with `serial`, signed with the demo
// site's key. With `picture`, lesson i (from 0) has the picture whose bytes it gives, at
// /more/picture<i>.png. With `mirrors`, each lesson server has the most mirrors a
// catalogue may list, on loopback addresses where nothing listens.
LargeCatalogue MakeLargeCatalogue(const ListedLesson& listed, std::uint64_t serial,
                                  const std::function<std::string(int lesson)>& picture = {}, bool mirrors = false);
// The cache name (without ".ylq") of lesson i of the large catalogue.
std::string LargeCatalogueCache(const ListedLesson& listed, int lesson);

// Writes it into `directory` as the program keeps it (lessons.json, lessons.json.minisig).
bool KeepCatalogue(const std::string& directory, const LargeCatalogue& catalogue);

}  // namespace pw::bench

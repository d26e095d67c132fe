#include "bench/large_catalogue.h"

#include <fstream>
#include <iterator>

#include "lessons/catalogue_file.h"
#include "lessons/lesson_hashes.h"
#include "tools/demo_site/catalogue_signing.h"

namespace pw::bench {
namespace {

constexpr int kGroups = 8;
constexpr int kLessons = 500;
constexpr int kPerGroup = (kLessons + kGroups - 1) / kGroups;
constexpr int kMirrorsPerServer = 8;

bool Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

std::string LargeCatalogueCache(const ListedLesson& listed, int lesson) {
    return lesson == kLessons - 1 ? listed.cache : "more" + std::to_string(lesson);
}

LargeCatalogue MakeLargeCatalogue(const ListedLesson& listed, std::uint64_t serial,
                                  const std::function<std::string(int lesson)>& picture, bool mirrors) {
    LargeCatalogue catalogue;
    std::string& json = catalogue.json;
    json = "{\"format\": 1, \"serial\": " + std::to_string(serial) + ", ";
    if (mirrors) {
        json += "\"mirrors\": {";
        for (int server = 1; server <= 2; ++server) {
            json += std::string(server > 1 ? "], " : "") + "\"" + std::to_string(server) + "\": [";
            for (int k = 0; k < kMirrorsPerServer; ++k)
                json += std::string(k ? ", " : "") + "\"http://127.0." + std::to_string(server) + "." +
                        std::to_string(k + 2) + ":8080\"";
        }
        json += "]}, ";
    }
    json += "\"groups\": [";
    for (int i = 0; i < kLessons; ++i) {
        const int group = i / kPerGroup, item = i % kPerGroup;
        if (item == 0)
            json += (group ? "]}, " : "") + std::string("{\"title\": \"第") + std::to_string(group + 1) +
                    "组\", \"lessons\": [";
        const bool last = i == kLessons - 1;
        const std::string name = std::to_string(i);
        const std::string body = last ? listed.body : "lesson " + name;
        json += std::string(item ? ", " : "") + "{\"title\": \"" + (last ? listed.title : "第" + name + "课") +
                "\", \"server\": " + std::to_string(1 + i % 2) + ", \"path\": \"" +
                (last ? listed.path : "/more/lesson" + name + ".swf") + "\", \"cache\": \"" +
                LargeCatalogueCache(listed, i) + "\", \"size\": " +
                std::to_string(last ? body.size() : 100000 + static_cast<std::size_t>(i)) + ", \"sha256\": \"" +
                Sha256Hex(BytesSha256(body)) + "\"";
        if (picture) {
            const std::string bytes = picture(i);
            json += ", \"picture\": {\"path\": \"/more/picture" + name + ".png\", \"size\": " +
                    std::to_string(bytes.size()) + ", \"sha256\": \"" + Sha256Hex(BytesSha256(bytes)) + "\"}";
        }
        json += "}";
        if (last) catalogue.group = group, catalogue.item = item;
    }
    json += "]}]}\n";

    std::string error;
    const std::string secretKey = demo::DemoSiteSecretKey();
    catalogue.signature = demo::SignMinisign(json, secretKey, kCatalogueFileName, error).value_or("");
    std::ifstream in(PEBBLEWICK_SOURCE_DIR "/tools/demo_site/demo-site-only.minisign.pub");
    std::getline(in, catalogue.publicKey);  // its comment
    std::getline(in, catalogue.publicKey);
    return catalogue;
}

bool KeepCatalogue(const std::string& directory, const LargeCatalogue& catalogue) {
    return Write(directory + "/" + kCatalogueFileName, catalogue.json) &&
           Write(directory + "/" + kCatalogueSignatureName, catalogue.signature);
}

}  // namespace pw::bench

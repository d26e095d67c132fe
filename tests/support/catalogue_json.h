#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lessons/catalogue.h"
#include "lessons/lesson_hashes.h"

namespace pw::testing {

// A lesson as a test's catalogue lists it, its texts in UTF-8.
struct CatalogueLesson {
    int group = 0;
    std::string title, path, cache;
    std::optional<std::string> body;  // its size and SHA-256 go into the catalogue
    int server = 1;
};

// A text as a JSON string, escaped as JSON needs.
inline std::string Quoted(const std::string& text) { return nlohmann::json(text).dump(); }

// lessons.json, as a site publishes it, with these groups and lessons in order; laid out
// as a person writes it (", " between members, ": " after names), which the tests edit.
inline std::string CatalogueJson(std::uint64_t serial, const std::vector<std::string>& groups,
                                 const std::vector<CatalogueLesson>& lessons) {
    std::string json = "{\"format\": 1, \"serial\": " + std::to_string(serial) + ", \"groups\": [";
    for (std::size_t g = 0; g < groups.size(); ++g) {
        json += (g ? ", " : "") + std::string("{\"title\": ") + Quoted(groups[g]) + ", \"lessons\": [";
        bool first = true;
        for (const CatalogueLesson& lesson : lessons) {
            if (lesson.group != static_cast<int>(g)) continue;
            json += (first ? "" : ", ") + std::string("{\"title\": ") + Quoted(lesson.title) +
                    ", \"server\": " + std::to_string(lesson.server) + ", \"path\": " + Quoted(lesson.path) +
                    ", \"cache\": " + Quoted(lesson.cache);
            if (lesson.body)
                json += ", \"size\": " + std::to_string(lesson.body->size()) + ", \"sha256\": \"" +
                        Sha256Hex(BytesSha256(*lesson.body)) + "\"";
            json += "}";
            first = false;
        }
        json += "]}";
    }
    return json + "]}";
}

// The built-in groups' titles, and the built-in lessons with `body(group, item)`.
inline std::vector<std::string> BuiltInGroupTitles() {
    const auto headers = LessonGroupHeaders();
    return {headers.begin(), headers.begin() + kGuestbookGroup};
}
template <class Body>
std::vector<CatalogueLesson> BuiltInLessons(Body body) {
    std::vector<CatalogueLesson> lessons;
    for (const LessonRow& row : LessonCatalogue()) {
        std::string cache = row.cacheName;
        cache.resize(cache.size() - 4);  // without ".ylq"
        lessons.push_back({row.group, row.title, row.path, cache, body(row.group, row.item), row.server});
    }
    return lessons;
}

}  // namespace pw::testing

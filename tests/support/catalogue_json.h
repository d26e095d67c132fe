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

// Compact JSON laid out as a person writes it: a blank after each ":" and "," outside
// strings.
inline std::string Spaced(const std::string& compact) {
    std::string spaced;
    bool inString = false, escaped = false;
    for (const char c : compact) {
        spaced += c;
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == ':' || c == ',') {
            spaced += ' ';
        }
    }
    return spaced;
}

// lessons.json, as a site publishes it, with these groups and lessons in order: written by
// nlohmann's writer, so that any text is escaped as JSON needs.
inline std::string CatalogueJson(std::uint64_t serial, const std::vector<std::string>& groups,
                                 const std::vector<CatalogueLesson>& lessons) {
    using Json = nlohmann::ordered_json;
    Json groupList = Json::array();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        Json entries = Json::array();
        for (const CatalogueLesson& lesson : lessons) {
            if (lesson.group != static_cast<int>(g)) continue;
            Json entry = {{"title", lesson.title}, {"server", lesson.server}, {"path", lesson.path}, {"cache", lesson.cache}};
            if (lesson.body) {
                entry["size"] = lesson.body->size();
                entry["sha256"] = Sha256Hex(BytesSha256(*lesson.body));
            }
            entries.push_back(std::move(entry));
        }
        groupList.push_back({{"title", groups[g]}, {"lessons", std::move(entries)}});
    }
    // The layout the tests edit: ", " between members and items, ": " after names.
    const Json catalogue = {{"format", 1}, {"serial", serial}, {"groups", std::move(groupList)}};
    return Spaced(catalogue.dump());
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

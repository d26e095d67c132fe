// Writes the demo site's 32 sample lesson movies into a folder tree:
//   <folder>/server<N>/<catalogue path in GBK>
// Usage: make_sample_lessons <folder>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "tools/swf/sample_lessons.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    std::size_t total = 0;
    for (const pw::LessonRow& row : pw::LessonCatalogue()) {
        const std::vector<std::uint8_t> movie = pw::swf::MakeSampleLesson(row.group, row.item);
        // The servers' paths are GBK byte strings; the file names keep those bytes.
        const std::filesystem::path file = root / ("server" + std::to_string(row.server)) / pw::FromUtf8(row.path).substr(1);
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(movie.data()), static_cast<std::streamsize>(movie.size()));
        if (movie.empty() || !out.flush()) {
            std::fprintf(stderr, "cannot write the lesson %d-%d\n", row.group, row.item);
            return 1;
        }
        total += movie.size();
    }
    std::printf("%zu sample lessons, %zu bytes, in %s\n", pw::LessonCatalogue().size(), total, argv[1]);
    return 0;
}

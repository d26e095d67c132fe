// Writes the program's idle movie. Usage: make_idle_movie <output path>
#include <cstdio>
#include <fstream>

#include "tools/swf/idle_movie_maker.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.swf>\n", argv[0]);
        return 2;
    }
    const pw::swf::Bytes movie = pw::swf::MakeIdleMovie();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(movie.data()), static_cast<std::streamsize>(movie.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %zu bytes\n", argv[1], movie.size());
    return 0;
}

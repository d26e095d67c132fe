#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace pw {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

Text ExecutableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

Text JoinPath(const Text& directory, const Text& name) {
    // A directory given with a trailing separator (a test's folder, a setting) must not
    // give "dir//name".
    std::size_t end = directory.size();
    while (end > 0 && directory[end - 1] == '/') --end;
    return directory.substr(0, end) + "/" + name;
}

std::int32_t LocalFileSize(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size)));
}

bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes, bool durable) {
    // Written beside the target and renamed over it, so that a reader (a second instance
    // of the program, the player) never sees the file half written.
    Text temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    ::fchmod(fd, 0644);
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (durable) ok = ok && std::fflush(file.get()) == 0 && ::fsync(fd) == 0;
    ok = std::fclose(file.release()) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (durable) {
        // The rename itself is on the disk once the folder is.
        const std::string folder = std::filesystem::path(path).parent_path().string();
        const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

std::optional<std::string> ReadFileUpTo(const Text& path, std::size_t limit) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char piece[16384];
    for (;;) {
        const std::size_t n = std::fread(piece, 1, sizeof piece, file.get());
        if (bytes.size() + n > limit) return std::nullopt;
        bytes.append(piece, n);
        if (n < sizeof piece) break;
    }
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

}  // namespace pw

#include "core/files.h"

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

bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes) {
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
    ok = std::fclose(file.release()) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

}  // namespace pw

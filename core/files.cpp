#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace pw {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Written beside the target and renamed over it, so that a reader (a second instance of
// the program, the player) never sees the file half written. With `sync`, the bytes reach
// the disk before the rename and the rename before the return. 0, or the failing errno.
int WriteBeside(const Text& path, std::span<const std::uint8_t> bytes, bool sync) {
    Text temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return errno;
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "wb"));
    if (!file) {
        const int error = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return error;
    }
    ::fchmod(fd, 0644);
    int error = 0;
    const auto fail = [&error] {
        if (error == 0) error = errno != 0 ? errno : EIO;
    };
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) fail();
    if (sync && error == 0 && (std::fflush(file.get()) != 0 || ::fsync(fd) != 0)) fail();
    if (std::fclose(file.release()) != 0) fail();
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) fail();
    if (error != 0) {
        ::unlink(temporary.c_str());
        return error;
    }
    if (sync) {
        // The rename itself is safe only once the folder is on the disk too.
        const int folder = ::open(ParentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return 0;
}

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
    return WriteBeside(path, bytes, false) == 0;
}

int WriteWholeFileSynced(const Text& path, std::string_view bytes) {
    return WriteBeside(path, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, true);
}

std::optional<std::string> ReadSmallFile(const Text& path, std::size_t limit) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get())) {
        if (bytes.size() + got > limit) return std::nullopt;
        bytes.append(chunk, got);
    }
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

Text ParentFolder(const Text& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == Text::npos) return ".";
    return slash == 0 ? Text("/") : path.substr(0, slash);
}

}  // namespace pw

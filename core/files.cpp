#include "core/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace pw {
namespace {

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Written beside the target and renamed over it, so that a reader (a second instance of
// the program, the player) never sees the file half written; `calls` also flush it.
// 0, or the errno of the step that failed.
int WriteBeside(const Text& path, std::span<const std::uint8_t> bytes, const DurableWriteCalls* calls) {
    Text temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return errno;
    ::fchmod(fd, 0644);
    int error = 0;
    const auto failed = [&error] {
        if (error == 0) error = errno != 0 ? errno : EIO;
    };
    errno = 0;
    if (!WriteAll(fd, bytes)) failed();
    bool renamed = false;
    if (calls) {
        renamed = error == 0 && RenameDurably(fd, temporary, path, *calls);
        if (!renamed) failed();
        // Once renamed after its flush, the file is in place: a late error closing it
        // changes nothing, and the temporary name is gone.
        if (::close(fd) != 0 && !renamed) failed();
    } else {
        if (::close(fd) != 0) failed();
        if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) failed();
        renamed = error == 0;
    }
    if (!renamed) ::unlink(temporary.c_str());
    return renamed ? 0 : error;
}

}  // namespace

const char* NonEmptyEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return (value && *value) ? value : nullptr;
}

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

Text FolderOf(const Text& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == Text::npos) return ".";
    return slash == 0 ? Text("/") : path.substr(0, slash);
}

std::optional<std::uint64_t> FreeDiskSpace(const Text& folder) {
    struct statvfs disk {};
    if (::statvfs(folder.c_str(), &disk) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
}

std::int32_t LocalFileSize(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size)));
}

bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes) { return WriteBeside(path, bytes, nullptr) == 0; }

const DurableWriteCalls& SystemWriteCalls() {
    static const DurableWriteCalls calls{
        [](int fd) { return ::fdatasync(fd) == 0; },
        [](const Text& from, const Text& to) { return std::rename(from.c_str(), to.c_str()) == 0; },
        [](const Text& folder) {
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) return false;
            const bool flushed = ::fsync(fd) == 0;
            ::close(fd);
            return flushed;
        },
    };
    return calls;
}

WriteOutcome ReplaceFileDurably(const Text& path, std::span<const std::uint8_t> bytes, const DurableWriteCalls& calls) {
    return {WriteBeside(path, bytes, &calls)};
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

bool RenameDurably(int fd, const Text& from, const Text& to, const DurableWriteCalls& calls) {
    if (!calls.flushFile(fd) || !calls.rename(from, to)) return false;
    // The new name is in place whatever the folder's flush says: a file system that
    // cannot flush a folder has nothing better to offer.
    calls.flushFolder(FolderOf(to));
    return true;
}

}  // namespace pw

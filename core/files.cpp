#include "core/files.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace pw {
namespace {

Text DirectoryOfExecutable() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

Text& ProgramDirectoryStorage() {
    static Text directory = DirectoryOfExecutable();
    return directory;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

const Text& ProgramDirectory() { return ProgramDirectoryStorage(); }

void SetProgramDirectory(Text directory) {
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    ProgramDirectoryStorage() = std::move(directory);
}

Text ProgramFilePath(const Text& name) { return ProgramDirectory() + "/" + name; }

std::int32_t LocalFileSize(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size)));
}

bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
    return std::fclose(file.release()) == 0;
}

}  // namespace pw

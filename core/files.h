#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/text.h"

namespace pw {

// The directory that holds the running executable, without a trailing separator.
Text ExecutableDirectory();

// directory + "/" + name, with no doubled separator when the directory ends in one.
Text JoinPath(const Text& directory, const Text& name);

// The folder a path names its file in: "." for a bare name.
Text FolderOf(const Text& path);

// The low 32 bits of the file's size as a signed integer, or -1 when it does not exist.
std::int32_t LocalFileSize(const Text& path);

// Creates or truncates the file and writes the bytes; true on success.
bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes);

// The calls that make a new file last through a power cut, in the order they must come:
// its data flushed to the disk, then its name put in place, then the folder that holds
// the name flushed. Each is true on success. Tests put recording ones in their place.
struct DurableWriteCalls {
    std::function<bool(int fd)> flushFile;
    std::function<bool(const Text& from, const Text& to)> rename;
    std::function<bool(const Text& folder)> flushFolder;
};

// fdatasync, rename and fsync of the folder.
const DurableWriteCalls& SystemWriteCalls();

struct WriteOutcome {
    int error = 0;  // 0, or the errno of the step that failed
    explicit operator bool() const { return error == 0; }
};

// WriteWholeFile, with the temporary file flushed before it is renamed over `path` and
// the folder flushed after: after a power cut `path` holds its old bytes or the new ones,
// never an empty or short file.
// Its outcome is false when the write failed, with the errno of the step that failed.
WriteOutcome ReplaceFileDurably(const Text& path, std::span<const std::uint8_t> bytes,
                                const DurableWriteCalls& calls = SystemWriteCalls());

// Flushes the file open as `fd` (it is `from`), renames `from` over `to` and flushes the
// folder. False, with nothing renamed, when the flush or the rename fails; a folder that
// cannot be flushed leaves the rename done.
bool RenameDurably(int fd, const Text& from, const Text& to, const DurableWriteCalls& calls = SystemWriteCalls());

// True for the errors of a disk (or the user's share of it) that is full.
inline bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT; }

// The whole file, or nothing when it cannot be read or is larger than `limit` bytes.
std::optional<std::string> ReadSmallFile(const Text& path, std::size_t limit);

}  // namespace pw

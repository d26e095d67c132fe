#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/text.h"

namespace pw {

// The directory that holds the running executable, without a trailing separator.
Text ExecutableDirectory();

// directory + "/" + name, with no doubled separator when the directory ends in one.
Text JoinPath(const Text& directory, const Text& name);

// The low 32 bits of the file's size as a signed integer, or -1 when it does not exist.
std::int32_t LocalFileSize(const Text& path);

// Creates or truncates the file and writes the bytes; true on success.
bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes);

// The same for a small file that must survive a power cut (settings, state): flushed to
// the disk before it is renamed over the old one, and its folder after. 0 on success,
// else the errno of the step that failed.
int WriteWholeFileSynced(const Text& path, std::string_view bytes);

// The whole file, or nothing when it cannot be read or is larger than `limit` bytes.
std::optional<std::string> ReadSmallFile(const Text& path, std::size_t limit);

// The folder part of a path ("." for a bare name).
Text ParentFolder(const Text& path);

}  // namespace pw

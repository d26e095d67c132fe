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

// Creates or truncates the file and writes the bytes; true on success. `durable`: the
// bytes are on the disk before the file takes its name, and the name before this returns,
// so that a power cut leaves the old file or the new one, never an empty one.
bool WriteWholeFile(const Text& path, std::span<const std::uint8_t> bytes, bool durable = false);

// The file's bytes when it holds at most `limit` of them; nothing when it is longer or
// cannot be read.
std::optional<std::string> ReadFileUpTo(const Text& path, std::size_t limit);

}  // namespace pw

#pragma once

#include <cstdint>
#include <span>

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

}  // namespace pw

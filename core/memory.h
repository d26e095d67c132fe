#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pw {

// The C library raises its threshold for giving a large block a mapping of its own each
// time such a block is freed (up to 32 MiB). After that, the web engine's large buffers
// (frames, movies, fonts) come from the heap, and what they free stays with the process:
// over an afternoon of lessons the program grows by hundreds of MiB. With a fixed
// threshold every block of 128 KiB or more has its own mapping and goes back to the
// system when it is freed. Call it once the window is shown: at start the engine's many
// short-lived large blocks come faster from the heap (the window showed ~10 % later with
// the fixed threshold from the first line of main).
void ReturnLargeBlocksWhenFreed();

// Gives the system back the free pages inside the C library's heaps (malloc_trim). Blocks
// under the threshold come from the heaps, and what a torn-down page or player frees
// between blocks that stay is otherwise kept by the process: the program's own process
// grew by some 13 MiB over 250 lessons. Takes a few milliseconds; call it when nothing waits.
void ReturnFreePagesOfTheHeaps();

// The same threshold for the processes that this one starts from now on (the web engine's
// renderers, GPU and utility processes), through the C library's tunables in their
// environment: a renderer's threads otherwise keep tens of MiB of freed frames and
// tiles in their heaps. Call before the web engine starts its first process (before the
// application object). A threshold already set in the environment is kept.
void ReturnLargeBlocksWhenFreedInChildProcesses();

// The bytes of memory that the process `pid` holds resident, or nothing when it cannot be
// read (no such process, or no /proc).
std::optional<std::int64_t> ResidentBytesOfProcess(std::int64_t pid);

// GLIBC_TUNABLES with that threshold added to `tunables` (the variable's value, ':'
// between settings), or `tunables` as it is when it sets a threshold already.
std::string TunablesWithOwnMappingThreshold(const std::string& tunables);

}  // namespace pw

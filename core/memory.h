#pragma once

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

}  // namespace pw

#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "lessons/store.h"

// Lessons carried between computers in a folder, or on a USB stick: `pebblewick-lessons/`
// holds the kept catalogue, its signature and the lesson files the catalogue lists with a
// hash. Whoever held the stick is trusted with nothing: on import the catalogue must verify
// with the program's key, and every file must have its size and hash.
namespace pw {

inline const Text kLessonFolderName = "pebblewick-lessons";

// One file looked at, as the work goes on.
struct FolderStep {
    std::string line;  // what became of it (UTF-8)
    int done = 0;      // files looked at so far, this one included
    int total = 0;     // files to look at
};

// Called on the worker that looked at the file, one call at a time.
using FolderProgress = std::function<void(const FolderStep& step)>;

struct FolderOutcome {
    bool ok = false;  // every file that should be copied was
    int copied = 0;
    int alreadyThere = 0;
    std::vector<Text> refused;  // the files not copied, by title and name (GBK)
    Text summary;               // what to tell the parent (GBK)
};

// Writes `into`/pebblewick-lessons/: the catalogue kept in `dataDirectory` (when it
// verifies with `key`), its signature, and every lesson it lists with a hash whose file
// here has that size and hash. A lesson file there already whole is not written again.
FolderOutcome ExportLessons(const Text& dataDirectory, const Text& into, std::string_view key,
                            const FolderProgress& progress, const std::stop_token& stop = {});

// Copies the lessons of `from` (the folder export was given, or its pebblewick-lessons/
// itself) into `dataDirectory`. Nothing is imported when its catalogue does not verify
// with `key`. Its catalogue is kept when its serial is above the kept one's (and not below
// the store's floor); else only files whose hash the kept catalogue agrees with come in.
// Each file comes in only with its catalogue's size and hash, durably (a temporary file,
// flushed, renamed; the folder flushed once at the end); a lesson here already whole is
// left alone. A few files are copied at a time. `store` may be null.
FolderOutcome ImportLessons(const Text& from, const Text& dataDirectory, std::string_view key, Store* store,
                            const FolderProgress& progress, const std::stop_token& stop = {});

}  // namespace pw

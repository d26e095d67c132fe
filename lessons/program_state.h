#pragma once

#include <cstdint>

#include "core/text.h"

namespace pw {

// The idle movie's file name: written at start, loaded to silence a lesson.
inline const Text kIdleMovieName = "3.swf";

// The state the program's handlers share, read and written on the UI thread only. A
// download thread gets its own copies of CurrentUrl and CurrentFileName when it starts.
struct ProgramState {
    Text CurrentVersion;   // "2.0" once the main window exists
    Text CurrentUrl;       // the one file being (or about to be) probed or fetched
    Text CurrentFileName;  // bare file name in the program's data folder
    std::int32_t PageIndex = 0;  // which site page the pages window shows (1 to 4)
};

}  // namespace pw

#pragma once

#include <cstdint>

#include "core/text.h"

namespace pw {

// The program's global state: one instance, read and written on the UI thread only.
// A download thread gets its own copies of CurrentUrl and CurrentFileName when it starts.
struct ProgramState {
    Text CurrentVersion;   // "2.0" once the main window exists
    Text CurrentUrl;       // the one file being (or about to be) probed or fetched
    Text CurrentFileName;  // bare file name in the program directory
    std::int32_t PageIndex = 0;  // which site page the pages window shows (1 to 4)
};

ProgramState& Globals();

}  // namespace pw

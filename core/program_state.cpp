#include "core/program_state.h"

namespace pw {

ProgramState& Globals() {
    static ProgramState state;
    return state;
}

}  // namespace pw

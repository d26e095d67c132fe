#pragma once

#include <dlfcn.h>

namespace pw {

// Sets `function` to the function `name` of a library opened with dlopen; false when the
// library has none.
template <class F>
bool FindFunction(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

}  // namespace pw

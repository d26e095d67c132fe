#include "core/memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace pw {

void ReturnLargeBlocksWhenFreed() {
#if defined(M_MMAP_THRESHOLD)  // glibc
    constexpr int kOwnMappingFrom = 128 * 1024;  // the library's own starting threshold
    mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);
#endif
}

}  // namespace pw

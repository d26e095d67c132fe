#include "core/memory.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace pw {
namespace {

constexpr int kOwnMappingFrom = 128 * 1024;  // the library's own starting threshold

}  // namespace

void ReturnLargeBlocksWhenFreed() {
#if defined(M_MMAP_THRESHOLD)  // glibc
    mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);
#endif
}

void ReturnFreePagesOfTheHeaps() {
#if defined(M_MMAP_THRESHOLD)  // glibc
    malloc_trim(0);
#endif
}

std::optional<std::int64_t> ResidentBytesOfProcess(std::int64_t pid) {
    if (pid <= 0) return std::nullopt;
    // statm: the sizes in pages, the whole mapping first and then what is resident.
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    std::int64_t size = 0, resident = 0;
    if (!(statm >> size >> resident)) return std::nullopt;
    return resident * static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
}

std::string TunablesWithOwnMappingThreshold(const std::string& tunables) {
    const std::string name = "glibc.malloc.mmap_threshold";
    if (tunables.find(name + '=') != std::string::npos) return tunables;
    return tunables + (tunables.empty() ? "" : ":") + name + '=' + std::to_string(kOwnMappingFrom);
}

void ReturnLargeBlocksWhenFreedInChildProcesses() {
#if defined(M_MMAP_THRESHOLD)  // glibc
    const char* set = std::getenv("GLIBC_TUNABLES");
    setenv("GLIBC_TUNABLES", TunablesWithOwnMappingThreshold(set ? set : "").c_str(), 1);
#endif
}

}  // namespace pw

#include "core/memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = false;  // the sanitizer's allocator stands in for the C library's
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnAllocator = false;
#else
constexpr bool kOwnAllocator = true;
#endif
#else
constexpr bool kOwnAllocator = true;
#endif

// Keeps the compiler from leaving out an allocation whose memory is never read.
void* volatile g_keep = nullptr;

// Bytes the heap has taken from the system, now.
std::size_t HeapBytes() {
#if defined(__GLIBC__)
    return mallinfo2().arena;
#else
    return 0;
#endif
}

// What the web engine does over a session: a large block is freed (which used to raise the
// threshold), then many large blocks come and go between smaller ones that stay. The large
// ones must not grow the heap, where the blocks that stay would keep them from going back.
TEST(MemoryTest, FreedLargeBlocksDoNotStayInTheHeap) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "the C library's allocator is not glibc";
#endif
    if (!kOwnAllocator) GTEST_SKIP() << "a sanitizer's allocator is in use";
    pw::ReturnLargeBlocksWhenFreed();
    void* first = std::malloc(24 << 20);
    ASSERT_NE(first, nullptr);
    std::memset(first, 1, 24 << 20);
    g_keep = first;
    std::free(first);

    constexpr int kBlocks = 64;
    constexpr std::size_t kBlockBytes = 2 << 20;
    const std::size_t heapBefore = HeapBytes();
    std::vector<void*> large, small;
    for (int i = 0; i < kBlocks; ++i) {
        large.push_back(std::malloc(kBlockBytes));
        small.push_back(std::malloc(100 << 10));  // stays, between them
        ASSERT_NE(large.back(), nullptr);
        std::memset(large.back(), 1, kBlockBytes);
        g_keep = large.back();
    }
    const std::size_t grown = HeapBytes() > heapBefore ? HeapBytes() - heapBefore : 0;
    for (void* block : large) std::free(block);
    for (void* block : small) std::free(block);
    // The smaller blocks take 6.4 MiB; the large ones grew the heap by 128 MiB.
    EXPECT_LT(grown, std::size_t{16} << 20);
}

// Resident pages of this process, now.
std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Small blocks freed between blocks that stay leave the heap as large as before; their
// pages go back to the system.
TEST(MemoryTest, FreePagesBetweenBlocksThatStayGoBack) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "the C library's allocator is not glibc";
#endif
    if (!kOwnAllocator) GTEST_SKIP() << "a sanitizer's allocator is in use";
    constexpr std::size_t kBlockBytes = 64 << 10, kBlocks = 512;  // 32 MiB under the threshold
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < kBlocks; ++i) {
        blocks.push_back(std::malloc(kBlockBytes));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), 1, kBlockBytes);
        g_keep = blocks.back();
    }
    for (std::size_t i = 0; i < kBlocks; ++i)
        if (i % 16 != 15) std::free(blocks[i]);  // every 16th stays, up to the last
    const std::size_t before = ResidentBytes();
    pw::ReturnFreePagesOfTheHeaps();
    const std::size_t returned = before > ResidentBytes() ? before - ResidentBytes() : 0;
    for (std::size_t i = 15; i < kBlocks; i += 16) std::free(blocks[i]);
    // 30 MiB were freed between the blocks that stay.
    EXPECT_GT(returned, std::size_t{24} << 20);
}

// The web engine's processes get the threshold through GLIBC_TUNABLES: a user's own
// settings there stay, and a threshold the user chose is not overridden.
TEST(MemoryTest, ChildProcessesTakeTheThresholdBesideTheUsersTunables) {
    const struct {
        const char* set;
        const char* expected;
    } rows[] = {
        {"", "glibc.malloc.mmap_threshold=131072"},
        {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.mmap_threshold=131072"},
        {"glibc.malloc.mmap_threshold=65536", "glibc.malloc.mmap_threshold=65536"},
        {"glibc.malloc.arena_max=2:glibc.malloc.mmap_threshold=4096",
         "glibc.malloc.arena_max=2:glibc.malloc.mmap_threshold=4096"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(pw::TunablesWithOwnMappingThreshold(row.set), row.expected) << "set: " << row.set;
}

// The resident size counts pages as they are touched, not as they are mapped: the player's
// renderer is weighed by it. A pid that names no process gives nothing.
TEST(MemoryTest, ResidentSizeCountsTouchedPagesOnly) {
    constexpr std::size_t kSize = 64 << 20;
    void* block = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    const auto mapped = pw::ResidentBytesOfProcess(::getpid());
    std::memset(block, 1, kSize);
    const auto touched = pw::ResidentBytesOfProcess(::getpid());
    ::munmap(block, kSize);
    ASSERT_TRUE(mapped && touched);
    EXPECT_GE(*touched - *mapped, static_cast<std::int64_t>(kSize) * 7 / 8);
    EXPECT_LT(*touched - *mapped, static_cast<std::int64_t>(kSize) * 2);

    for (const std::int64_t pid : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{1} << 40})
        EXPECT_FALSE(pw::ResidentBytesOfProcess(pid)) << pid;
}
}  // namespace

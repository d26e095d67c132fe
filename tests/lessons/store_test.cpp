#include "lessons/store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <atomic>
#include <mutex>
#include <cerrno>
#include <filesystem>
#include <ostream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using namespace std::chrono_literals;

const Sha256 kSha = [] {
    Sha256 sha{};
    for (std::size_t i = 0; i < sha.size(); ++i) sha[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return sha;
}();
const FileIdentity kIdentity{2049, 1234567, 5'000'000, 1'700'000'000'123'456'789};

std::string IntegrityCheck(const Text& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string result = "no answer";
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

// The default VFS gives files of different kinds different methods: each is copied once,
// with its write replaced.
struct WrappedMethods {
    const sqlite3_io_methods* real = nullptr;
    sqlite3_io_methods copy{};
};

// The default VFS, except that while `full` is set every write finds the disk full.
struct FullDiskVfs {
    static inline std::atomic<bool> full{false};
    static inline sqlite3_vfs vfs{};
    static inline int (*realOpen)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*) = nullptr;
    static inline std::array<WrappedMethods, 8> wrapped{};
    static inline std::mutex mutex;

    static int Write(sqlite3_file* file, const void* bytes, int size, sqlite3_int64 at) {
        if (full) return SQLITE_FULL;
        for (const auto& w : wrapped)
            if (file->pMethods == &w.copy) return w.real->xWrite(file, bytes, size, at);
        return SQLITE_IOERR_WRITE;
    }
    static int Open(sqlite3_vfs* self, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
        const int result = realOpen(self, name, file, flags, outFlags);
        if (result != SQLITE_OK || !file->pMethods) return result;
        std::lock_guard lock(mutex);
        for (auto& w : wrapped) {
            if (!w.real) {
                w.real = file->pMethods;
                w.copy = *file->pMethods;
                w.copy.xWrite = Write;
            }
            if (w.real == file->pMethods) {
                file->pMethods = &w.copy;
                break;
            }
        }
        return result;
    }
    static const char* Name() {
        static const bool registered = [] {
            vfs = *sqlite3_vfs_find(nullptr);
            vfs.zName = "pebblewick-full-disk";
            vfs.pNext = nullptr;
            realOpen = vfs.xOpen;
            vfs.xOpen = Open;
            return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
        }();
        return registered ? vfs.zName : nullptr;
    }
};

TEST(Store, WhatIsKeptOutlastsTheRunAndReadsBackInOrder) {
    testing::TempDir dir;
    const Text path = dir.File("state/pebblewick/pebblewick.db");
    constexpr LocalDay kToday = 20'000;
    {
        Store store(path);
        store.AddUse(kToday - 1, 5min);
        store.AddUse(kToday, 2min);
        store.AddUse(kToday, 1min);
        store.AddLessonUse(kToday - 1, "a.ylq", 4min, 1);
        store.AddLessonUse(kToday, "b.ylq", 2min, 1);
        store.AddLessonUse(kToday, "a.ylq", 30s, 2);
        store.NoteLessonPlayed("a.ylq", WallTime{2000s});
        store.NoteLessonPlayed("b.ylq", WallTime{3000s});
        store.NoteLessonPlayed("c.ylq", WallTime{1000s});  // the clock was set back: still the newest
        store.SetFavourite("b.ylq", true);
        EXPECT_EQ(store.Favourites(), std::set<Text>{"b.ylq"});  // at once, before the write lands
        store.RaiseCatalogueFloor(7);
        store.RaiseCatalogueFloor(5);  // never goes down
        EXPECT_EQ(store.CatalogueFloor(), 7u);
    }
    EXPECT_EQ(IntegrityCheck(path), "ok");
    Store store(path);
    EXPECT_EQ(store.LastWriteError(), 0);
    EXPECT_EQ(store.UseByDay(kToday - 2, kToday),
              (std::vector<DayUse>{{kToday - 2, 0ms}, {kToday - 1, 5min}, {kToday, 3min}}));
    EXPECT_EQ(store.LessonsUsed(kToday - 6, kToday),
              (std::vector<LessonUse>{{"a.ylq", 4min + 30s, 3}, {"b.ylq", 2min, 1}}));
    EXPECT_EQ(store.LessonsUsed(kToday, kToday), (std::vector<LessonUse>{{"b.ylq", 2min, 1}, {"a.ylq", 30s, 2}}));
    EXPECT_EQ(store.RecentLessons(2), (std::vector<Text>{"c.ylq", "b.ylq"}));
    EXPECT_EQ(store.CatalogueFloor(), 7u);

    store.ClearHistory();
    EXPECT_EQ(store.UseByDay(kToday, kToday), (std::vector<DayUse>{{kToday, 0ms}}));
    EXPECT_TRUE(store.LessonsUsed(0, kToday).empty());
    EXPECT_TRUE(store.LastUses().empty());
    EXPECT_EQ(store.Favourites(), std::set<Text>{"b.ylq"});  // the favourites stay
}

struct DamageCase {
    const char* name;
    // Spoils the database at the path (made by the store, closed).
    void (*spoil)(const Text& path);
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class StoreDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(StoreDamage, ADamagedDatabaseIsMovedAsideAndANewOneBegun) {
    testing::TempDir dir;
    const Text path = dir.File("pebblewick.db");
    {
        Store store(path);
        for (std::uint64_t i = 0; i < 300; ++i) store.KeepHash({1, i, 2, 3}, kSha);
    }
    GetParam().spoil(path);
    const std::string spoiled = testing::ReadWholeFile(path);
    {
        Store store(path);
        EXPECT_EQ(store.KeptHash({1, 5, 2, 3}), std::nullopt);
        store.KeepHash(kIdentity, kSha);
    }
    EXPECT_EQ(testing::ReadWholeFile(path + ".damaged"), spoiled);
    EXPECT_EQ(IntegrityCheck(path), "ok");
    EXPECT_EQ(Store(path).KeptHash(kIdentity), kSha);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoreDamage,
    ::testing::Values(DamageCase{"NotADatabase",
                                 [](const Text& path) {
                                     testing::WriteWholeFile(path, std::string(10000, 'x'));
                                     std::filesystem::remove(path + "-wal");
                                 }},
                      DamageCase{"FailsItsCheck",
                                 [](const Text& path) {
                                     // The header stays, a page of the hashes' tree is overwritten.
                                     std::string bytes = testing::ReadWholeFile(path);
                                     ASSERT_GT(bytes.size(), 4 * 4096u);
                                     std::fill(bytes.begin() + 3 * 4096, bytes.begin() + 3 * 4096 + 200, '\x5a');
                                     testing::WriteWholeFile(path, bytes);
                                 }}),
    [](const ::testing::TestParamInfo<DamageCase>& param) { return std::string(param.param.name); });

TEST(Store, AWriteThatFindsTheDiskFullIsReportedAndTheStoreGoesOn) {
    const char* vfs = FullDiskVfs::Name();
    ASSERT_NE(vfs, nullptr);
    testing::TempDir dir;
    const Text path = dir.File("pebblewick.db");
    Store store(path, vfs);
    store.AddUse(1, 1min);
    store.Flush();
    ASSERT_EQ(store.LastWriteError(), 0);
    FullDiskVfs::full = true;
    store.AddUse(1, 1min);
    store.Flush();
    FullDiskVfs::full = false;
    EXPECT_EQ(store.LastWriteError(), ENOSPC);
    EXPECT_EQ(store.UseByDay(1, 1), (std::vector<DayUse>{{1, 1min}}));  // the store as it was
    store.AddUse(1, 2min);  // room again: the error goes with the next write
    store.Flush();
    EXPECT_EQ(store.LastWriteError(), 0);
    EXPECT_EQ(store.UseByDay(1, 1), (std::vector<DayUse>{{1, 3min}}));
}

TEST(Store, AFolderThatTakesNoFileGivesAStoreInMemoryThatSaysSo) {
    testing::TempDir dir;
    testing::WriteWholeFile(dir.File("a-file"), "x");
    Store store(dir.File("a-file/pebblewick.db"));
    EXPECT_NE(store.LastWriteError(), 0);
    store.SetFavourite("a.ylq", true);
    store.AddUse(3, 1min);
    EXPECT_EQ(store.UseByDay(3, 3), (std::vector<DayUse>{{3, 1min}}));
    EXPECT_EQ(store.Favourites(), std::set<Text>{"a.ylq"});
}

TEST(Store, TwoCopiesWritingAtOnceLoseNothing) {
    testing::TempDir dir;
    const Text path = dir.File("pebblewick.db");
    constexpr int kWrites = 200;
    {
        std::jthread copies[2];
        for (auto& copy : copies)
            copy = std::jthread([&] {
                Store store(path);
                for (int i = 0; i < kWrites; ++i) store.AddUse(1, 1ms);
                store.Flush();
                EXPECT_EQ(store.LastWriteError(), 0);
            });
    }
    EXPECT_EQ(IntegrityCheck(path), "ok");
    EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    Store store(path);
    EXPECT_EQ(store.LastWriteError(), 0);
    EXPECT_EQ(store.UseByDay(1, 1), (std::vector<DayUse>{{1, Milliseconds{2 * kWrites}}}));
}

}  // namespace
}  // namespace pw

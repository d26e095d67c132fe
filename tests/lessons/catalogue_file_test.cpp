// The site's catalogue: what makes an entry unsound, and which signatures the program takes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>

#include "core/files.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_pictures.h"
#include "lessons/lesson_hashes.h"
#include "lessons/minisign.h"
#include "lessons/site_catalogue.h"
#include "lessons/store.h"
#include "lessons/whole_file_checker.h"
#include "tests/support/catalogue_json.h"
#include "tests/support/fixture_server.h"
#include "tests/support/minisign_tool.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using testing::CatalogueJson;
using testing::CatalogueLesson;
using testing::FixtureServer;
using testing::MinisignTool;
using testing::TempDir;

// The rooster's path holds 乗, whose second byte in GBK is 0x5C.
const std::string kTiger = "爱吃糖的老虎", kRooster = "爱美的小公鸡", kRoosterPath = "/erly/乗" + kRooster + ".swf";

std::string SoundCatalogue() {
    return CatalogueJson(7, {"儿童故事", "益智游戏"},
                         {{0, kTiger, "/erly/" + kTiger + ".swf", "actdlh", std::string(5000, 'a')},
                          {1, kRooster, kRoosterPath, "amdxgj", std::string(300, 'b'), 2}});
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    const std::size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

// A lesson's picture, in place of `members` (JSON) on the tiger.
std::string WithPicture(const std::string& catalogue, const std::string& members) {
    return Replaced(catalogue, "\"cache\": \"actdlh\"", "\"cache\": \"actdlh\", \"picture\": " + members);
}

TEST(CatalogueFile, ASoundCatalogueGivesItsLessonsInGbkWithTheirDigests) {
    // Members of a later format are passed over, in the catalogue and in a picture.
    const std::string sha = Sha256Hex(BytesSha256("png"));
    const auto catalogue = ParseCatalogue(WithPicture(
        Replaced(SoundCatalogue(), "\"format\": 1",
                 "\"format\": 1, \"later\": [1], \"mirrors\": {\"2\": [\"https://cdn.example.org\", \"http://[::1]:8080\"]}"),
        "{\"path\": \"/tovel/pictures/a.png\", \"size\": 262144, \"sha256\": \"" + sha + "\", \"w\": 1}"));
    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->mirrors[0], std::vector<Text>{});
    EXPECT_EQ(catalogue->mirrors[1], (std::vector<Text>{"https://cdn.example.org", "http://[::1]:8080"}));
    EXPECT_EQ(catalogue->serial, 7u);
    EXPECT_EQ(catalogue->groups, (std::vector<Text>{FromUtf8("儿童故事"), FromUtf8("益智游戏")}));
    ASSERT_EQ(catalogue->lessons.size(), 2u);
    const LessonEntry tiger{0, 0, FromUtf8(kTiger), 1, FromUtf8("/erly/" + kTiger + ".swf"), "actdlh.ylq",
                            LessonDigest{5000, BytesSha256(std::string(5000, 'a'))},
                            LessonPicture{"/tovel/pictures/a.png", 262144, BytesSha256("png")}};
    EXPECT_EQ(catalogue->lessons[0], tiger);
    const LessonEntry rooster{1, 0, FromUtf8(kRooster), 2, FromUtf8(kRoosterPath), "amdxgj.ylq",
                              LessonDigest{300, BytesSha256(std::string(300, 'b'))}, std::nullopt};
    EXPECT_EQ(catalogue->lessons[1], rooster);
}

TEST(CatalogueFile, OneUnsoundEntryLosesTheWholeCatalogue) {
    const std::string sound = SoundCatalogue();
    const std::string sha = Sha256Hex(BytesSha256(std::string(5000, 'a')));
    const auto lesson = [](int n) {
        return "{\"title\": \"t\", \"server\": 1, \"path\": \"/a.swf\", \"cache\": \"c" + std::to_string(n) + "\"}";
    };
    std::string nineGroups = "[", manyLessons = "[";
    for (int g = 0; g < 9; ++g) nineGroups += (g ? "," : "") + std::string("{\"title\": \"g\", \"lessons\": [") + lesson(g) + "]}";
    for (int i = 0; i < 501; ++i) manyLessons += (i ? "," : "") + lesson(i);
    const auto withMirrors = [&](const std::string& members) {
        return Replaced(sound, "\"format\": 1", "\"format\": 1, \"mirrors\": {" + members + "}");
    };
    std::string nineMirrors = "\"http://m\"";
    for (int m = 1; m < 9; ++m) nineMirrors += ", \"http://m" + std::to_string(m) + "\"";
    // A picture: all three members sound, or the lesson is unsound.
    const std::string png = Sha256Hex(BytesSha256("png"));
    const auto withPicture = [&](const std::string& members) { return WithPicture(sound, members); };
    const struct {
        const char* name;
        std::string json;
    } rows[] = {
        {"an unknown format", Replaced(sound, "\"format\": 1", "\"format\": 2")},
        {"a format that is no number", Replaced(sound, "\"format\": 1", "\"format\": \"1\"")},
        {"no serial", Replaced(sound, "\"serial\": 7, ", "")},
        {"a negative serial", Replaced(sound, "\"serial\": 7", "\"serial\": -7")},
        {"a path with ..", Replaced(sound, "/erly/" + kTiger, "/erly/../" + kTiger)},
        {"a path without its leading /", Replaced(sound, "/erly/" + kTiger, "erly/" + kTiger)},
        {"a path with a control character", Replaced(sound, "/erly/" + kTiger, "/erly/\\u0007" + kTiger)},
        {"a path with a query", Replaced(sound, ".swf", ".swf?x=1")},
        {"server 3", Replaced(sound, "\"server\": 2", "\"server\": 3")},
        {"server 0", Replaced(sound, "\"server\": 1", "\"server\": 0")},
        {"a duplicate cache name", Replaced(sound, "amdxgj", "actdlh")},
        {"a cache name in capitals", Replaced(sound, "amdxgj", "Amdxgj")},
        {"a cache name of 33 characters", Replaced(sound, "amdxgj", std::string(33, 'a'))},
        {"a title GBK cannot hold", Replaced(sound, kRooster, "小公鸡\xF0\x9F\x90\x93")},
        {"an empty title", Replaced(sound, kRooster, "")},
        {"a size without its hash", Replaced(sound, ", \"sha256\": \"" + sha + "\"", "")},
        {"a hash without its size", Replaced(sound, "\"size\": 5000, ", "")},
        {"neither size nor hash", Replaced(sound, ", \"size\": 5000, \"sha256\": \"" + sha + "\"", "")},
        {"a hash of 63 digits", Replaced(sound, sha, sha.substr(1))},
        {"a size of 0", Replaced(sound, "\"size\": 5000", "\"size\": 0")},
        {"a group without lessons",
         Replaced(sound, "\"lessons\": [{\"title\": \"" + kRooster, "\"lessons\": [], \"x\": [{\"title\": \"" + kRooster)},
        {"nine groups", Replaced(sound, sound.substr(sound.find("[{")), nineGroups + "]}")},
        {"501 lessons", Replaced(sound, sound.substr(sound.find("\"lessons\": [") + 11), manyLessons + "]}]}")},
        {"nesting deeper than any catalogue",
         Replaced(sound, "\"format\": 1", "\"format\": 1, \"x\": [[[[[[[[[]]]]]]]]]")},
        {"a catalogue cut short", sound.substr(0, sound.size() - 3)},
        {"mirrors for server 3", withMirrors("\"3\": [\"http://m\"]")},
        {"a mirror with a path", withMirrors("\"1\": [\"http://m/erly\"]")},
        {"a mirror over ftp", withMirrors("\"1\": [\"ftp://m\"]")},
        {"a mirror with a user", withMirrors("\"1\": [\"http://u@m\"]")},
        {"a mirror on port 0", withMirrors("\"1\": [\"http://m:0\"]")},
        {"mirrors as a string", withMirrors("\"1\": \"http://m\"")},
        {"nine mirrors", withMirrors("\"1\": [" + nineMirrors + "]")},
        {"a picture without its hash", withPicture("{\"path\": \"/p.png\", \"size\": 10}")},
        {"a picture without its size", withPicture("{\"path\": \"/p.png\", \"sha256\": \"" + png + "\"}")},
        {"a picture without its path", withPicture("{\"size\": 10, \"sha256\": \"" + png + "\"}")},
        {"a picture of 0 bytes", withPicture("{\"path\": \"/p.png\", \"size\": 0, \"sha256\": \"" + png + "\"}")},
        {"a picture over 256 KiB", withPicture("{\"path\": \"/p.png\", \"size\": 262145, \"sha256\": \"" + png + "\"}")},
        {"a picture's size in quotes", withPicture("{\"path\": \"/p.png\", \"size\": \"10\", \"sha256\": \"" + png + "\"}")},
        {"a picture's hash of 63 digits",
         withPicture("{\"path\": \"/p.png\", \"size\": 10, \"sha256\": \"" + png.substr(1) + "\"}")},
        {"a picture's path with ..", withPicture("{\"path\": \"/../p.png\", \"size\": 10, \"sha256\": \"" + png + "\"}")},
        {"a picture's path with a query", withPicture("{\"path\": \"/p.png?x\", \"size\": 10, \"sha256\": \"" + png + "\"}")},
        {"a picture's relative path", withPicture("{\"path\": \"p.png\", \"size\": 10, \"sha256\": \"" + png + "\"}")},
        {"a picture as a string", withPicture("\"/p.png\"")},
        {"a picture of null", withPicture("null")},
    };
    ASSERT_TRUE(ParseCatalogue(sound));
    for (const auto& row : rows) EXPECT_FALSE(ParseCatalogue(row.json)) << row.name;
}

// A picture is kept only when its bytes are the catalogue's; one that fails is not kept,
// and is asked for again the next time.
TEST(LessonPictures, OnlyAPictureWithTheCataloguesHashIsKept) {
    const std::string png = "\x89PNG\r\n\x1A\n" + std::string(3000, 'p');
    FixtureServer server;
    TempDir data;
    LessonEntry lesson{0, 0, "t", 1, "/a.swf", "actdlh.ylq", std::nullopt,
                       LessonPicture{"/tovel/pictures/actdlh.png", static_cast<std::int64_t>(png.size()), BytesSha256(png)}};
    const std::string origin = "http://" + server.HostPort();
    std::string forged = png;
    forged[100] ^= 1;
    server.Serve("/tovel/pictures/actdlh.png", {.body = forged});
    EXPECT_FALSE(KeepLessonPicture(origin, data.Path(), lesson, {}, {}));
    EXPECT_FALSE(std::filesystem::exists(CataloguePicturePath(data.Path(), lesson.cacheName)));

    server.Serve("/tovel/pictures/actdlh.png", {.body = png});
    const auto kept = KeepLessonPicture(origin, data.Path(), lesson, {}, {});
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, data.File("pictures/actdlh.site"));
    EXPECT_TRUE(ReadSmallFile(*kept, kPictureFileLimit) == png);
    // Kept, it is used offline: no request more.
    const std::size_t requests = server.Requests().size();
    EXPECT_EQ(KeepLessonPicture("http://127.0.0.1:" + std::to_string(testing::ClosedLoopbackPort()), data.Path(), lesson, {}, {}), kept);
    EXPECT_EQ(server.Requests().size(), requests);
    // Bytes of the right size and hash that are no picture are refused all the same.
    const std::string text(png.size(), 't');
    lesson.picture = LessonPicture{"/x.png", static_cast<std::int64_t>(text.size()), BytesSha256(text)};
    lesson.cacheName = "other.ylq";
    server.Serve("/x.png", {.body = text});
    EXPECT_FALSE(KeepLessonPicture(origin, data.Path(), lesson, {}, {}));
}

// Signatures made by the minisign tool, as a site owner makes them; the catalogue and its
// signature fetched from a server as the program fetches them.
TEST(SiteCatalogue, OnlyAGoodSignatureByTheKeyAndAHigherSerialAreKept) {
    const MinisignTool key, otherKey;
    const std::string json = SoundCatalogue();
    const std::string signature = key.Sign(json);
    const auto alter = [](std::string text, const std::string& what, const std::string& with) {
        return Replaced(std::move(text), what, with);
    };
    const std::size_t signatureLine = signature.find('\n') + 1;
    // The signature line with one of its decoded bytes changed: the algorithm ("ED" made
    // "Ed"), or the key id after it.
    const auto tamperedLine = [&](std::size_t at, std::uint8_t flip) {
        const std::size_t end = signature.find('\n', signatureLine);
        auto bytes = FromBase64(signature.substr(signatureLine, end - signatureLine)).value();
        bytes[at] ^= flip;
        std::string tampered = signature;
        return tampered.replace(signatureLine, end - signatureLine, ToBase64(bytes));
    };
    std::string flippedSignature = signature;
    flippedSignature[signatureLine + 30] = flippedSignature[signatureLine + 30] == 'A' ? 'B' : 'A';
    const struct {
        const char* name;
        std::string json, signature;
        std::optional<std::uint64_t> keptSerial;
        bool kept;
    } rows[] = {
        {"signed, prehashed", json, signature, std::nullopt, true},
        {"signed, legacy", json, key.Sign(json, true), std::nullopt, true},
        {"a higher serial than the one kept", json, signature, 6, true},
        {"a byte changed in the catalogue", alter(json, "\"server\": 2", "\"server\": 1"), signature, std::nullopt,
         false},
        {"a byte changed in the signature", json, flippedSignature, std::nullopt, false},
        {"a byte changed in the trusted comment", json, alter(signature, "file:", "File:"), std::nullopt, false},
        {"signed with another key", json, otherKey.Sign(json), std::nullopt, false},
        {"another key id in the signature", json, tamperedLine(2, 1), std::nullopt, false},
        {"the legacy algorithm named for a prehashed signature", json, tamperedLine(1, 0x20), std::nullopt, false},
        {"the serial kept", json, signature, 7, false},
        {"a lower serial than the one kept", json, signature, 8, false},
        {"no catalogue on the site", "", "", std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FixtureServer server;
        if (!row.json.empty()) {
            server.Serve("/tovel/lessons.json", {.body = row.json});
            server.Serve("/tovel/lessons.json.minisig", {.body = row.signature});
        }
        TempDir data;
        const auto fetched = FetchSiteCatalogue("http://" + server.HostPort() + "/tovel/", data.Path(),
                                                key.PublicKey(), row.keptSerial, {}, {});
        EXPECT_EQ(fetched.has_value(), row.kept);
        // What is kept verifies again at the next start.
        const auto kept = ReadKeptCatalogue(data.Path(), key.PublicKey());
        EXPECT_EQ(kept.has_value(), row.kept);
        if (kept && fetched) {
            EXPECT_EQ(kept->lessons, fetched->lessons);
        }
        EXPECT_EQ(std::filesystem::exists(data.File(kKeptCatalogueName)), row.kept);
    }
}

// The highest serial ever verified is kept apart from the catalogue's files: with those
// deleted, an older signed catalogue is still refused, from the site or put in their place.
TEST(SiteCatalogue, AnOlderCatalogueIsRefusedOnceTheKeptFilesAreDeleted) {
    const MinisignTool key;
    Store store("");
    TempDir data;
    FixtureServer server;
    const std::string older = SoundCatalogue(), newer = Replaced(older, "\"serial\": 7", "\"serial\": 8");
    const auto fetch = [&](const std::string& json) {
        server.Serve("/tovel/lessons.json", {.body = json});
        server.Serve("/tovel/lessons.json.minisig", {.body = key.Sign(json)});
        return FetchSiteCatalogue(server.BaseUrl() + "/tovel/", data.Path(), key.PublicKey(), std::nullopt, {}, {},
                                  &store);
    };
    ASSERT_TRUE(fetch(newer));
    EXPECT_EQ(store.CatalogueFloor(), 8u);
    std::filesystem::remove(data.File(kKeptCatalogueName));
    EXPECT_FALSE(fetch(older));
    EXPECT_FALSE(std::filesystem::exists(data.File(kKeptCatalogueName)));
    ASSERT_TRUE(KeepCatalogue(data.Path(), {older, key.Sign(older)}));
    EXPECT_FALSE(ReadKeptCatalogue(data.Path(), key.PublicKey(), &store));
    EXPECT_TRUE(fetch(newer));  // the floor's own serial comes back
    EXPECT_EQ(store.CatalogueFloor(), 8u);
}

// Each file is hashed once, read or as a download writes it: the hash is known by the
// file's identity on disk, in this run and, kept in the store, in the next.
TEST(LessonHashes, AFileIsHashedOnceAndAgainOnlyWhenItChanges) {
    TempDir dir;
    const std::string lesson = dir.File("lesson.ylq"), storeFile = dir.File("pebblewick.db");
    const std::string body(70000, 'x');
    testing::WriteWholeFile(lesson, body);
    const LessonDigest digest{static_cast<std::int64_t>(body.size()), BytesSha256(body)};
    // Different bytes, the same size and modification time: only a fresh hash notices.
    const auto rewriteKeepingTime = [&](char c) {
        const auto time = std::filesystem::last_write_time(lesson);
        std::FILE* file = std::fopen(lesson.c_str(), "r+b");
        std::fputc(c, file);
        std::fclose(file);
        std::filesystem::last_write_time(lesson, time);
    };
    const auto arriving = [](const std::string& bytes) -> SwfByteSource {
        return [bytes, at = std::size_t{0}](std::span<std::uint8_t> into) mutable {
            const std::size_t n = std::min(into.size(), bytes.size() - at);
            std::memcpy(into.data(), bytes.data() + at, n);
            at += n;
            return static_cast<std::ptrdiff_t>(n);
        };
    };
    {
        // Hashed as it arrives: a wrong byte on the way is seen, and the hash of the right
        // bytes is kept as if the file had been read.
        LessonHashes hashes;
        EXPECT_FALSE(hashes.Matches(lesson, digest, arriving(std::string(body.size(), 'z'))));
        EXPECT_TRUE(hashes.Matches(lesson, digest, arriving(body)));
        rewriteKeepingTime('q');
        EXPECT_TRUE(hashes.Matches(lesson, digest));
        EXPECT_FALSE(hashes.Matches(lesson, digest, arriving(body + 'x')));
        testing::WriteWholeFile(lesson, body);
    }
    const auto inNextRun = [&] {
        Store store(storeFile);
        return LessonHashes(&store).Matches(lesson, digest);
    };
    {
        Store store(storeFile);
        LessonHashes hashes(&store);
        EXPECT_TRUE(hashes.Matches(lesson, digest));
        rewriteKeepingTime('y');
        EXPECT_TRUE(hashes.Matches(lesson, digest));  // not read again
        EXPECT_FALSE(hashes.Matches(lesson, {digest.size + 1, digest.sha256}));
    }
    EXPECT_TRUE(inNextRun());               // the next run knows it too
    testing::WriteWholeFile(lesson, body);  // a new modification time
    rewriteKeepingTime('y');
    EXPECT_FALSE(inNextRun());
    EXPECT_FALSE(LessonHashes().Matches(dir.File("missing.ylq"), digest));
}

// A stop ends the checks after the file in hand, however many are queued behind it.
TEST(WholeFileChecker, AStopLeavesTheQueuedFilesUnchecked) {
    LessonHashes hashes;
    std::promise<void> started, release;
    std::shared_future<void> released = release.get_future().share();
    std::mutex mutex;
    std::vector<std::size_t> reported;
    {
        WholeFileChecker checker(
            hashes,
            [&](std::size_t tag, bool) {
                std::lock_guard lock(mutex);
                reported.push_back(tag);
            },
            [&, first = true](const Text&) mutable {
                if (std::exchange(first, false)) {
                    started.set_value();
                    released.wait();
                }
                return true;
            });
        for (std::size_t tag = 0; tag < 3; ++tag) checker.Check(tag, "file" + std::to_string(tag));
        started.get_future().wait();
        checker.Stop();
        release.set_value();
    }
    EXPECT_EQ(reported, std::vector<std::size_t>{0});
}

// An earlier version kept the hashes in a file of the data folder: they are read into the
// store once, lines it cannot read skipped, and the file goes.
TEST(LessonHashes, TheHashesOfAnEarlierVersionAreReadInOnce) {
    TempDir dir;
    const std::string lesson = dir.File("lesson.ylq"), oldFile = dir.File(kLessonHashesName);
    const std::string body(5000, 'x');
    testing::WriteWholeFile(lesson, body);
    struct stat st {};
    ASSERT_EQ(::stat(lesson.c_str(), &st), 0);
    const std::string identity = std::to_string(st.st_dev) + ' ' + std::to_string(st.st_ino) + ' ' +
                                 std::to_string(st.st_size) + ' ' +
                                 std::to_string(st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec);
    // The file held another body's hash: only a hash read in from it says so.
    const LessonDigest other{static_cast<std::int64_t>(body.size()), BytesSha256(std::string(5000, 'o'))};
    testing::WriteWholeFile(oldFile, "pebblewick lesson hashes 1\n1 2 x 4 " + Sha256Hex(other.sha256) + "\n" +
                                         identity + ' ' + Sha256Hex(other.sha256) + "\n");
    {
        Store store(dir.File("pebblewick.db"));
        BringInKeptHashes(oldFile, store);
        EXPECT_FALSE(std::filesystem::exists(oldFile));
    }
    Store store(dir.File("pebblewick.db"));
    EXPECT_TRUE(LessonHashes(&store).Matches(lesson, other));
}

}  // namespace
}  // namespace pw

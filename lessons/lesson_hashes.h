#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "core/swf_file.h"
#include "core/text.h"

namespace pw {

using Sha256 = std::array<std::uint8_t, 32>;

// Where the program keeps the hashes of its lesson files, in its data folder.
inline const Text kLessonHashesName = "lessons.hashes";

// A lesson's size and SHA-256 as a signed catalogue gives them.
struct LessonDigest {
    std::int64_t size = 0;
    Sha256 sha256{};
    bool operator==(const LessonDigest&) const = default;
};

// A SHA-256 from its 64 hexadecimal digits (either case), and back (lower case).
std::optional<Sha256> Sha256FromHex(std::string_view hex);
std::string Sha256Hex(const Sha256& sha);

// The SHA-256 of `bytes`.
Sha256 BytesSha256(std::string_view bytes);

// The SHA-256 of the file at `path`, read in pieces of bounded size; nothing when it
// cannot be read.
std::optional<Sha256> FileSha256(const Text& path);

// Which files hold which lessons, by hash: each file is hashed once, and its hash kept by
// what tells its content on disk (device, inode, size, modification time), so that a
// cached lesson starts at once. A download renamed into place keeps the hash taken of its
// part. Thread-safe: the file checks, the lesson choices and the downloads share it.
class LessonHashes {
public:
    // `keptIn`: a file where the hashes outlast the run (read at the first Matches, on the
    // worker that asks, not before the window shows; written by Save); empty: in memory only.
    explicit LessonHashes(Text keptIn = {});
    LessonHashes(const LessonHashes&) = delete;
    LessonHashes& operator=(const LessonHashes&) = delete;

    // True when the file at `path` has the digest's size and SHA-256. A file of any other
    // size is not read. With `arriving`, the file's bytes are hashed as that source gives
    // them while they are written (a download's check, which ends once the file is closed)
    // instead of read again once it is whole; the hash is kept all the same.
    bool Matches(const Text& path, const LessonDigest& digest, const SwfByteSource& arriving = {});

    // Writes the hashes of the files looked at in this run to the file they are kept in,
    // when one was hashed since the last save. Not meant for the UI thread.
    void Save();

private:
    // Device, inode, size, modification time in nanoseconds.
    using Identity = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t>;
    static std::optional<Identity> IdentityOf(const Text& path);
    bool MatchesArriving(const Text& path, const LessonDigest& digest, const SwfByteSource& arriving);
    void Keep(const Identity& identity, const Sha256& sha);
    void ReadKeptOnce();  // with mutex_ held

    const Text keptIn_;
    std::mutex mutex_;
    std::map<Identity, Sha256> kept_;  // read from the file, not yet seen in this run
    std::map<Identity, Sha256> seen_;  // looked at in this run
    bool changed_ = false;             // seen_ holds a hash the file does not
    bool keptRead_ = false;
};

}  // namespace pw

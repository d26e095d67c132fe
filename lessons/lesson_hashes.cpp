#include "lessons/lesson_hashes.h"

#include <dlfcn.h>
#include <openssl/evp.h>
#include <sodium.h>
#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "core/files.h"
#include "core/loaded_library.h"
#include "lessons/minisign.h"

namespace pw {
namespace {

constexpr std::string_view kHashesHeader = "pebblewick lesson hashes 1\n";
// More than the largest catalogue's lessons and the downloads of a long run.
constexpr std::size_t kMaxHashes = 4096;
constexpr std::size_t kHashesFileLimit = kMaxHashes * 128;

constexpr std::size_t kHashPiece = 64 * 1024;

// The libcrypto functions the hashes use. libcrypto is loaded at the first hash, not with
// the program: its loading and relocation (4 MB) no longer come before the window first
// shows. The soname is the one the program is built against (OpenSSL 3).
struct CryptoFunctions {
    decltype(&::EVP_MD_CTX_new) newContext;
    decltype(&::EVP_MD_CTX_free) freeContext;
    decltype(&::EVP_sha256) sha256;
    decltype(&::EVP_DigestInit_ex) init;
    decltype(&::EVP_DigestUpdate) update;
    decltype(&::EVP_DigestFinal_ex) final;
};

// Null when libcrypto cannot be loaded: then no hash is made, and no file matches.
const CryptoFunctions* Crypto() {
    static const std::optional<CryptoFunctions> loaded = []() -> std::optional<CryptoFunctions> {
        // Never closed: it stays for the whole run, as a linked library would.
        void* library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
        CryptoFunctions f{};
        const bool found = library && FindFunction(library, "EVP_MD_CTX_new", f.newContext) &&
                           FindFunction(library, "EVP_MD_CTX_free", f.freeContext) &&
                           FindFunction(library, "EVP_sha256", f.sha256) &&
                           FindFunction(library, "EVP_DigestInit_ex", f.init) &&
                           FindFunction(library, "EVP_DigestUpdate", f.update) &&
                           FindFunction(library, "EVP_DigestFinal_ex", f.final);
        return found ? std::optional(f) : std::nullopt;
    }();
    return loaded ? &*loaded : nullptr;
}

// The next blank-separated number of `line` from `at`.
template <class Number>
bool ReadNumber(std::string_view line, std::size_t& at, Number& value) {
    const char* begin = line.data() + at;
    const auto [end, error] = std::from_chars(begin, line.data() + line.size(), value);
    if (error != std::errc() || end == begin || end == line.data() + line.size() || *end != ' ') return false;
    at = static_cast<std::size_t>(end - line.data()) + 1;
    return true;
}

}  // namespace

// A hasher made while libcrypto cannot be loaded is never good: no hash, and no file matches.
Sha256Hasher::Sha256Hasher() {
    const CryptoFunctions* crypto = Crypto();
    if (!crypto) return;
    context_.reset(crypto->newContext());
    good_ = context_ && crypto->init(context_.get(), crypto->sha256(), nullptr) == 1;
}

void Sha256Hasher::Add(const void* bytes, std::size_t size) {
    good_ = good_ && Crypto()->update(context_.get(), bytes, size) == 1;
}

std::optional<Sha256> Sha256Hasher::Finish() {
    Sha256 sha{};
    unsigned int length = 0;
    if (!good_ || Crypto()->final(context_.get(), sha.data(), &length) != 1 || length != sha.size())
        return std::nullopt;
    return sha;
}

void Sha256Hasher::Free::operator()(evp_md_ctx_st* context) const { Crypto()->freeContext(context); }

std::optional<Sha256> Sha256FromHex(std::string_view hex) {
    Sha256 bytes{};
    std::size_t size = 0;
    const char* end = nullptr;
    if (hex.size() != 2 * bytes.size() || !SodiumReady() ||
        sodium_hex2bin(bytes.data(), bytes.size(), hex.data(), hex.size(), nullptr, &size, &end) != 0 ||
        size != bytes.size() || end != hex.data() + hex.size())
        return std::nullopt;
    return bytes;
}

std::string Sha256Hex(const Sha256& sha) {
    char hex[2 * sizeof(Sha256) + 1];
    sodium_bin2hex(hex, sizeof hex, sha.data(), sha.size());
    return hex;
}

Sha256 BytesSha256(std::string_view bytes) {
    Sha256Hasher hasher;
    hasher.Add(bytes.data(), bytes.size());
    return hasher.Finish().value_or(Sha256{});
}

std::optional<Sha256> FileSha256(const Text& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    Sha256Hasher hasher;
    std::vector<std::uint8_t> piece(kHashPiece);
    while (const std::size_t n = std::fread(piece.data(), 1, piece.size(), file.get())) hasher.Add(piece.data(), n);
    if (std::ferror(file.get())) return std::nullopt;
    return hasher.Finish();
}

void BringInKeptHashes(const Text& hashesFile, Store& store) {
    // A file of ours, but read as any outside bytes: a line that does not parse is skipped.
    const auto text = ReadSmallFile(hashesFile, kHashesFileLimit);
    if (!text) return;
    std::string_view rest = std::string_view(*text);
    if (rest.starts_with(kHashesHeader)) rest.remove_prefix(kHashesHeader.size());
    else rest = {};
    for (std::size_t kept = 0; kept < kMaxHashes;) {
        const auto taken = TakeLine(rest);
        if (!taken) break;
        const std::string_view line = *taken;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modified = 0;
        std::size_t at = 0;
        if (!ReadNumber(line, at, device) || !ReadNumber(line, at, inode) || !ReadNumber(line, at, size) ||
            !ReadNumber(line, at, modified))
            continue;
        if (const auto sha = Sha256FromHex(line.substr(at))) {
            store.KeepHash({device, inode, size, modified}, *sha);
            ++kept;
        }
    }
    store.Flush();
    // Only a cache: a file that cannot be read is dropped all the same.
    if (store.LastWriteError() == 0) std::remove(hashesFile.c_str());
}

LessonHashes::LessonHashes(Store* store) : store_(store) {}

std::optional<FileIdentity> LessonHashes::IdentityOf(const Text& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, st.st_size,
                    static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool LessonHashes::Matches(const Text& path, const LessonDigest& digest, const SwfByteSource& arriving) {
    if (arriving) return MatchesArriving(path, digest, arriving);
    const auto before = IdentityOf(path);
    if (!before || digest.size <= 0 || std::get<2>(*before) != digest.size) return false;
    {
        std::lock_guard lock(mutex_);
        if (const auto known = seen_.find(*before); known != seen_.end()) return known->second == digest.sha256;
    }
    if (const auto kept = store_ ? store_->KeptHash(*before) : std::nullopt) {
        std::lock_guard lock(mutex_);
        seen_.emplace(*before, *kept);
        return *kept == digest.sha256;
    }
    const auto sha = FileSha256(path);
    if (!sha) return false;
    // A file that changed while it was read keeps no hash.
    if (IdentityOf(path) == before) Keep(*before, *sha);
    return *sha == digest.sha256;
}

bool LessonHashes::MatchesArriving(const Text& path, const LessonDigest& digest, const SwfByteSource& arriving) {
    if (digest.size <= 0) return false;  // as for a file read whole
    Sha256Hasher hasher;
    std::vector<std::uint8_t> piece(kHashPiece);
    std::int64_t size = 0;
    for (std::ptrdiff_t got; (got = arriving(piece)) != 0; size += got) {
        if (got < 0 || size + got > digest.size) return false;  // more than the lesson is long: no need to read on
        hasher.Add(piece.data(), static_cast<std::size_t>(got));
    }
    // The source has ended, so the file is closed: what it holds now is what was hashed.
    const auto sha = hasher.Finish();
    const auto identity = IdentityOf(path);
    if (!sha || !identity || std::get<2>(*identity) != size || size != digest.size) return false;
    Keep(*identity, *sha);
    return *sha == digest.sha256;
}

void LessonHashes::Keep(const FileIdentity& identity, const Sha256& sha) {
    {
        std::lock_guard lock(mutex_);
        // The latest hash of a file is the one that counts.
        const auto known = seen_.find(identity);
        if (known != seen_.end() ? known->second == sha : seen_.size() >= kMaxHashes) return;
        seen_.insert_or_assign(identity, sha);
    }
    if (store_) store_->KeepHash(identity, sha);
}

}  // namespace pw

#include "lessons/lesson_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/files.h"
#include "core/write_behind.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_hashes.h"
#include "lessons/site_catalogue.h"

namespace pw {
namespace {

// Large pieces: a stick is read at its own pace, and a few system calls per MiB cost
// nothing beside it.
constexpr std::size_t kCopyPiece = 1024 * 1024;
// Three: on two cores, the figures of 100 MiB in 5 MiB lessons were 128 ms with two
// copies at a time, 99 ms with three, and 180 ms with one.
constexpr int kCopiesAtOnce = 3;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

enum class Copy { Done, Wrong, Failed };

// The flush and the rename of each file; the folder's flush once, after the last.
const DurableWriteCalls& FolderFlushedLater() {
    static const DurableWriteCalls calls{SystemWriteCalls().flushFile, SystemWriteCalls().rename,
                                         [](const Text&) { return true; }};
    return calls;
}

// Copies `from` to `to` when its bytes have the digest's size and hash, taken while they
// are copied: into a temporary file beside `to`, flushed and renamed over it, so that `to`
// is the old file or the whole new one whatever happens. The folder is not flushed: the
// caller flushes it once after the last file.
Copy CopyChecked(const Text& from, const Text& to, const LessonDigest& digest, const std::stop_token& stop) {
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0) return Copy::Failed;
    if (st.st_size != digest.size) return Copy::Wrong;  // not read: a wrong size says enough
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);  // a stick read ahead in larger steps
    const Text temporary = to + ".import";
    const Descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0) return Copy::Failed;
    const auto piece = std::make_unique<std::uint8_t[]>(kCopyPiece);
    Sha256Hasher hasher;
    // Handed to the disk as it is copied, so that the flush before the rename waits only
    // for the last piece.
    WriteBehind writeBehind(out.get(), 0, WriteBehind::Thread::Writer);
    std::int64_t copied = 0;
    Copy outcome = Copy::Done;
    for (;;) {
        const ssize_t n = ::read(in.get(), piece.get(), kCopyPiece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || stop.stop_requested()) {
            outcome = Copy::Failed;
            break;
        }
        if (n == 0) break;
        copied += n;
        if (copied > digest.size) {  // grew while it was read
            outcome = Copy::Wrong;
            break;
        }
        hasher.Add(piece.get(), static_cast<std::size_t>(n));
        if (!WriteAll(out.get(), piece.get(), static_cast<std::size_t>(n))) {
            outcome = Copy::Failed;
            break;
        }
        writeBehind.Written(copied);
    }
    writeBehind.Stop();
    if (outcome == Copy::Done && (copied != digest.size || hasher.Finish() != digest.sha256)) outcome = Copy::Wrong;
    if (outcome == Copy::Done && !RenameDurably(out.get(), temporary, to, FolderFlushedLater())) outcome = Copy::Failed;
    if (outcome != Copy::Done) std::remove(temporary.c_str());
    return outcome;
}

// True when the file at `path` has the digest's size and hash.
bool IsWhole(const Text& path, const LessonDigest& digest) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && static_cast<std::int64_t>(size) == digest.size && FileSha256(path) == digest.sha256;
}

// How a file is named to the parent: its lesson's title and its file name (UTF-8).
std::string Named(const LessonEntry& lesson) { return ToUtf8(lesson.title) + "（" + lesson.cacheName + "）"; }

// "3 课已导入，1 课不对，没有导入：…", in GBK.
Text Summary(const FolderOutcome& outcome, const char* done) {
    std::string text = std::to_string(outcome.copied) + " 课" + done;
    if (outcome.alreadyThere > 0) text += "，" + std::to_string(outcome.alreadyThere) + " 课本来就有";
    if (!outcome.refused.empty()) {
        text += "，" + std::to_string(outcome.refused.size()) + " 课不对，没有导入：";
        for (std::size_t i = 0; i < outcome.refused.size(); ++i) text += (i ? "、" : "") + ToUtf8(outcome.refused[i]);
    }
    return FromUtf8(text);
}

bool IsDirectory(const Text& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// What an export or an import tells the parent of each file.
struct Words {
    const char* copied;     // "已导入 "
    const char* wrong;      // the file is not the catalogue's
    const char* failed;     // it could not be written
    bool wrongIsRefused;    // a wrong file counts against the whole (an import's)
    const char* summary;    // "已导入"
};

const Words kExportWords{"已导出 ", "不完整，没有导出 ", "不能写入，没有导出 ", false, "已导出"};
const Words kImportWords{"已导入 ", "不对，没有导入 ", "不能写入，没有导入 ", true, "已导入"};

// A lesson the catalogue lists, and whether it may be copied at all (an import may know
// before reading it that the file is not wanted).
struct Carried {
    const LessonEntry* lesson;
    Text from, to;
    const char* refusedWhy = nullptr;
};

enum class Fate { Copied, AlreadyThere, Wrong, Failed, Refused, Stopped };

// Copies the files of `carried` into `toFolder`, a few at a time (while one copy waits for
// the source or for its flush, the others hash and write), and flushes the folder once
// after the last rename. Fills `outcome` in the catalogue's order.
void CarryFiles(const std::vector<Carried>& carried, const Text& toFolder, const Words& words,
                const FolderProgress& progress, const std::stop_token& stop, FolderOutcome& outcome) {
    std::vector<Fate> fates(carried.size(), Fate::Stopped);
    std::mutex telling;
    int done = 0;
    const int total = static_cast<int>(carried.size());
    const auto carry = [&](const Carried& file) {
        if (file.refusedWhy) return Fate::Refused;
        if (stop.stop_requested()) return Fate::Stopped;
        if (IsWhole(file.to, *file.lesson->digest)) return Fate::AlreadyThere;
        switch (CopyChecked(file.from, file.to, *file.lesson->digest, stop)) {
        case Copy::Done: return Fate::Copied;
        case Copy::Wrong: return Fate::Wrong;
        case Copy::Failed: break;
        }
        return stop.stop_requested() ? Fate::Stopped : Fate::Failed;
    };
    const auto said = [&](const Carried& file, Fate fate) -> std::string {
        switch (fate) {
        case Fate::Copied: return words.copied + Named(*file.lesson);
        case Fate::AlreadyThere: return "本来就有 " + Named(*file.lesson);
        case Fate::Wrong: return words.wrong + Named(*file.lesson);
        case Fate::Failed: return words.failed + Named(*file.lesson);
        case Fate::Refused: return file.refusedWhy + Named(*file.lesson);
        case Fate::Stopped: break;
        }
        return {};
    };
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t i = next++; i < carried.size(); i = next++) {
            fates[i] = carry(carried[i]);
            if (fates[i] == Fate::Stopped) continue;
            const std::lock_guard lock(telling);
            if (progress) progress({said(carried[i], fates[i]), ++done, total});
        }
    };
    {
        std::vector<std::jthread> helpers;
        try {
            for (int i = 1; i < kCopiesAtOnce; ++i) helpers.emplace_back(work);
        } catch (const std::system_error&) {
            // No more threads to be had: fewer copies at a time, this one at least.
        }
        work();
    }
    for (std::size_t i = 0; i < carried.size(); ++i) {
        const Fate fate = fates[i];
        if (fate == Fate::Copied) ++outcome.copied;
        if (fate == Fate::AlreadyThere) ++outcome.alreadyThere;
        const bool refused = fate == Fate::Failed || fate == Fate::Refused || (fate == Fate::Wrong && words.wrongIsRefused);
        if (refused) outcome.refused.push_back(FromUtf8(Named(*carried[i].lesson)));
        if (refused || fate == Fate::Stopped) outcome.ok = false;
    }
    if (outcome.copied > 0) SystemWriteCalls().flushFolder(toFolder);
    outcome.summary = Summary(outcome, words.summary);
}

}  // namespace

FolderOutcome ExportLessons(const Text& dataDirectory, const Text& into, std::string_view key,
                            const FolderProgress& progress, const std::stop_token& stop) {
    FolderOutcome outcome;
    const auto kept = ReadKeptCatalogueFiles(dataDirectory);
    const auto catalogue = kept ? VerifiedCatalogue(kept->json, kept->signature, key) : std::nullopt;
    if (!catalogue) {
        outcome.summary = Gbk<"这台电脑没有验证过的课程目录，没有导出。">();
        return outcome;
    }
    const Text folder = JoinPath(into, kLessonFolderName);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const auto write = [&](const Text& name, const std::string& bytes) {
        return static_cast<bool>(ReplaceFileDurably(
            JoinPath(folder, name), {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
    };
    if (error || !write(kCatalogueFileName, kept->json) || !write(kCatalogueSignatureName, kept->signature)) {
        outcome.summary = Gbk<"不能写入这个文件夹，没有导出。">();
        return outcome;
    }
    std::vector<Carried> carried;
    for (const LessonEntry& lesson : catalogue->lessons) {
        const Text source = JoinPath(dataDirectory, lesson.cacheName);
        if (lesson.digest && std::filesystem::exists(source, error))  // else not on this computer
            carried.push_back({&lesson, source, JoinPath(folder, lesson.cacheName)});
    }
    outcome.ok = true;
    CarryFiles(carried, folder, kExportWords, progress, stop, outcome);
    return outcome;
}

FolderOutcome ImportLessons(const Text& from, const Text& dataDirectory, std::string_view key, Store* store,
                            const FolderProgress& progress, const std::stop_token& stop) {
    FolderOutcome outcome;
    const Text nested = JoinPath(from, kLessonFolderName);
    const Text folder = IsDirectory(nested) ? nested : from;
    const auto json = ReadSmallFile(JoinPath(folder, kCatalogueFileName), kCatalogueFileLimit);
    const auto signature = ReadSmallFile(JoinPath(folder, kCatalogueSignatureName), kCatalogueSignatureLimit);
    const auto offered = json && signature ? VerifiedCatalogue(*json, *signature, key) : std::nullopt;
    if (!offered) {
        outcome.summary = Gbk<"文件夹里的课程目录没有通过验证，什么也没有导入。">();
        if (progress) progress({ToUtf8(outcome.summary), 0, 0});
        return outcome;
    }

    // A newer catalogue than the kept one is taken; with an older one, only files that the
    // kept catalogue names with the same hash come in.
    const auto kept = ReadKeptCatalogue(dataDirectory, key, store);
    const bool newer = (!kept || *offered->serial > *kept->serial) &&
                       (!store || *offered->serial >= store->CatalogueFloor()) &&
                       KeepCatalogue(dataDirectory, {*json, *signature});
    if (newer && store) store->RaiseCatalogueFloor(*offered->serial);
    const auto agreed = [&](const LessonEntry& lesson) {
        if (newer) return true;
        if (!kept) return false;
        for (const LessonEntry& mine : kept->lessons)
            if (mine.cacheName == lesson.cacheName) return mine.digest == lesson.digest;
        return false;
    };

    std::vector<Carried> carried;
    std::error_code error;
    for (const LessonEntry& lesson : offered->lessons) {
        const Text source = JoinPath(folder, lesson.cacheName);
        if (!lesson.digest || !std::filesystem::exists(source, error)) continue;  // not carried
        carried.push_back({&lesson, source, JoinPath(dataDirectory, lesson.cacheName),
                           agreed(lesson) ? nullptr : "这台电脑的课程目录不认这个文件，没有导入 "});
    }
    outcome.ok = true;
    CarryFiles(carried, dataDirectory, kImportWords, progress, stop, outcome);
    return outcome;
}

}  // namespace pw

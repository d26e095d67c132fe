#include "lessons/lesson_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/files.h"
#include "lessons/catalogue_file.h"
#include "lessons/lesson_hashes.h"
#include "lessons/site_catalogue.h"

namespace pw {
namespace {

// Large pieces: a stick is read at its own pace, and a few system calls per MiB cost
// nothing beside it.
constexpr std::size_t kCopyPiece = 1024 * 1024;
constexpr std::int64_t kWriteBehindStep = 4 * 1024 * 1024;

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

// Copies `from` to `to` when its bytes have the digest's size and hash, taken while they
// are copied: into a temporary file beside `to`, flushed and renamed over it, so that `to`
// is the old file or the whole new one whatever happens.
Copy CopyChecked(const Text& from, const Text& to, const LessonDigest& digest, const std::stop_token& stop) {
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0) return Copy::Failed;
    if (st.st_size != digest.size) return Copy::Wrong;  // not read: a wrong size says enough
    const Text temporary = to + ".import";
    const Descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0) return Copy::Failed;
    const auto piece = std::make_unique<std::uint8_t[]>(kCopyPiece);
    Sha256Hasher hasher;
    std::int64_t copied = 0, handedOver = 0;
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
        // Handed to the disk as it is copied, so that the flush before the rename waits
        // only for the last piece. Only a hint: where it is not supported, the flush does it.
        if (copied - handedOver >= kWriteBehindStep) {
            ::sync_file_range(out.get(), handedOver, copied - handedOver, SYNC_FILE_RANGE_WRITE);
            handedOver = copied;
        }
    }
    if (outcome == Copy::Done && (copied != digest.size || hasher.Finish() != digest.sha256)) outcome = Copy::Wrong;
    if (outcome == Copy::Done && !RenameDurably(out.get(), temporary, to)) outcome = Copy::Failed;
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

void Tell(const FolderProgress& progress, const std::string& line) {
    if (progress) progress(line);
}

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
    outcome.ok = true;
    for (const LessonEntry& lesson : catalogue->lessons) {
        if (stop.stop_requested()) return outcome;
        const Text source = JoinPath(dataDirectory, lesson.cacheName), target = JoinPath(folder, lesson.cacheName);
        if (!lesson.digest || !std::filesystem::exists(source, error)) continue;  // not on this computer
        if (IsWhole(target, *lesson.digest)) {
            ++outcome.alreadyThere;
            Tell(progress, "本来就有 " + Named(lesson));
            continue;
        }
        switch (CopyChecked(source, target, *lesson.digest, stop)) {
        case Copy::Done:
            ++outcome.copied;
            Tell(progress, "已导出 " + Named(lesson));
            break;
        case Copy::Wrong:  // a part of it, or damaged: not a lesson to carry
            Tell(progress, "不完整，没有导出 " + Named(lesson));
            break;
        case Copy::Failed:
            outcome.ok = false;
            outcome.refused.push_back(FromUtf8(Named(lesson)));
            Tell(progress, "不能写入，没有导出 " + Named(lesson));
            break;
        }
    }
    outcome.summary = Summary(outcome, "已导出");
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
        Tell(progress, ToUtf8(outcome.summary));
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

    outcome.ok = true;
    std::error_code error;
    for (const LessonEntry& lesson : offered->lessons) {
        if (stop.stop_requested()) {
            outcome.ok = false;
            break;
        }
        const Text source = JoinPath(folder, lesson.cacheName), target = JoinPath(dataDirectory, lesson.cacheName);
        if (!lesson.digest || !std::filesystem::exists(source, error)) continue;  // not carried
        const auto refuse = [&](const char* why) {
            outcome.ok = false;
            outcome.refused.push_back(FromUtf8(Named(lesson)));
            Tell(progress, why + Named(lesson));
        };
        if (!agreed(lesson)) {
            refuse("这台电脑的课程目录不认这个文件，没有导入 ");
            continue;
        }
        if (IsWhole(target, *lesson.digest)) {
            ++outcome.alreadyThere;
            Tell(progress, "本来就有 " + Named(lesson));
            continue;
        }
        switch (CopyChecked(source, target, *lesson.digest, stop)) {
        case Copy::Done:
            ++outcome.copied;
            Tell(progress, "已导入 " + Named(lesson));
            break;
        case Copy::Wrong: refuse("不对，没有导入 "); break;
        case Copy::Failed: refuse("不能写入，没有导入 "); break;
        }
    }
    outcome.summary = Summary(outcome, "已导入");
    return outcome;
}

}  // namespace pw

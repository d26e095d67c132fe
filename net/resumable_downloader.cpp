#include "net/resumable_downloader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/message.h"
#include "net/http_request.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReceiveBufferSize = 10240;
// The reads are gathered into writes of this size (65 pages when the reads are whole): a
// write() for every read is some 6,500 system calls for 64 MiB instead of a few hundred.
constexpr std::size_t kWriteBufferSize = 26 * kReceiveBufferSize;

// The lesson servers answer this exact header block; keep it byte for byte.
constexpr const char* kHeaderBlock[] = {
    "Accept: */*",
    "Accept-Language: zh-cn",
    "Accept-Encoding: gzip, deflate",
    "User-Agent: Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.0; MyIE2; .NET CLR 1.1.4322)",
};

// The low 32 bits of a count, as a signed value.
std::int32_t Low32(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

class LocalFile {
public:
    explicit LocalFile(int fd = -1) : fd_(fd) {}
    ~LocalFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(LocalFile&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }

    bool IsOpen() const { return fd_ >= 0; }

    bool WriteAll(const char* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool SeekToEnd() { return ::lseek(fd_, 0, SEEK_END) >= 0; }

    // Waits until no other download (of this program or another instance of it) is
    // writing the same file: two writers at their own offsets would leave a file of
    // full size with holes. Readers are not held up. False when stopped first.
    bool LockForWriting(const std::stop_token& stop) {
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) return true;  // no locks here: go on as before
            if (stop.stop_requested()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // True while the file is still the one that `name` names: a writer we waited for may
    // have renamed it away (a finished download renames its part file over the lesson).
    bool IsStill(const Text& name) const {
        struct stat held {}, named {};
        if (::fstat(fd_, &held) != 0) return false;
        if (::stat(name.c_str(), &named) != 0) return false;
        return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    bool IsRegular() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    }

    // Empties a regular file; a device (a pipe, /dev/null) has nothing to empty.
    bool Truncate() { return !IsRegular() || ::ftruncate(fd_, 0) == 0; }

    // Closes now, so that a late write error is seen.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Others may read the file while it is written. The file is emptied only once this
// download holds its lock (LockForWriting) and the name still leads to it.
LocalFile OpenLocalFile(const Text& name) {
    return LocalFile(::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
}

enum class LockedOpen { Opened, Failed, Stopped };

// Opens the file and waits for its lock. When the writer we waited for renamed the file
// away meanwhile, the name is opened afresh: we must never write into a finished lesson.
LockedOpen OpenLocked(const Text& name, const std::stop_token& stop, LocalFile& file) {
    for (;;) {
        file = OpenLocalFile(name);
        if (!file.IsOpen()) return LockedOpen::Failed;
        if (!file.LockForWriting(stop)) return LockedOpen::Stopped;
        if (file.IsStill(name)) return LockedOpen::Opened;
    }
}

std::vector<std::string> RequestHeaders(std::int32_t resumeOffset, bool resume) {
    std::vector<std::string> lines(std::begin(kHeaderBlock), std::end(kHeaderBlock));
    if (resume) lines.push_back("Range:bytes=" + TextFromInteger(resumeOffset) + "-");
    // Always fetched anew: no cached copy may answer.
    lines.push_back("Pragma: no-cache");
    lines.push_back("Cache-Control: no-cache");
    return lines;
}

}  // namespace

int ResumableDownloader(const Text& url, const Text& localFileName, const DownloadProgressCallback& progress,
                        std::int32_t resumeOffset, std::int32_t resume, MessagePort& messages,
                        const DownloadSettings& settings) {
    const bool resuming = resume != 0;
    const std::stop_token& stop = settings.stop;

    HttpRequestOptions options;
    options.headerLines = RequestHeaders(resumeOffset, resuming);
    options.connectTimeout = settings.connectTimeout;
    options.stallLimit = settings.stallLimit;
    options.decodeContent = true;
    HttpRequest request(std::move(options));
    if (!request.Valid()) {
        ShowMessage(messages, msg::InternetError());
        return -1;
    }

    const auto opened = request.Open(url, stop);
    if (opened == HttpRequest::OpenResult::Stopped) return -1;
    // An error status is a failure to open: an error page is never stored as the file.
    if (opened == HttpRequest::OpenResult::Failed || request.Status() >= 400) {
        ShowMessage(messages, msg::CannotOpenUrl());
        return -1;
    }

    LocalFile file;
    const LockedOpen locked = OpenLocked(localFileName, stop, file);
    if (locked == LockedOpen::Stopped) return -1;
    if (locked == LockedOpen::Failed) {
        ShowMessage(messages, msg::CannotOpenLocalFile());
        return -1;
    }
    if (resuming ? !file.SeekToEnd() : !file.Truncate()) {
        ShowMessage(messages, msg::CannotOpenLocalFile());
        return -1;
    }
    std::int64_t received = resuming ? resumeOffset : 0;

    const std::int32_t total = Low32(request.ContentLength().value_or(0));
    // A compressed body is stored decoded; its progress counts the bytes on the wire,
    // which is what its Content-Length counts.
    const bool encoded = request.ContentEncoded();
    const auto start = Clock::now();

    // Each read lands behind the previous ones. The gathered bytes go to the file once
    // there is no room for another whole read, before every wait for the network (so the
    // file holds all that arrived whenever the transfer is quiet, as others may read it),
    // and before every return. A device (a pipe, /dev/full) is written read by read, so
    // that its failure shows at the read that brought the bytes.
    std::vector<char> pending(file.IsRegular() ? kWriteBufferSize : kReceiveBufferSize);
    std::size_t used = 0;
    auto writePending = [&] {
        const bool written = file.WriteAll(pending.data(), used);
        used = 0;
        return written;
    };
    auto room = [&] { return std::min(kReceiveBufferSize, pending.size() - used); };

    for (;;) {
        auto read = request.ReadAtHand(pending.data() + used, room(), stop);
        if (read.status == HttpRequest::ReadStatus::NotYet) {
            if (!writePending()) {
                ShowMessage(messages, msg::DownloadInterrupted());
                return -1;
            }
            read = request.Read(pending.data(), room(), stop);
        }
        if (read.status == HttpRequest::ReadStatus::End) break;
        if (read.status != HttpRequest::ReadStatus::Data) {
            writePending();  // what arrived stays in the file, for a later resume
            if (read.status == HttpRequest::ReadStatus::Stopped) return -1;
            ShowMessage(messages, msg::DownloadInterrupted());
            return -1;
        }
        used += read.bytes;
        if (room() < kReceiveBufferSize && !writePending()) {
            ShowMessage(messages, msg::DownloadInterrupted());
            return -1;
        }
        received = encoded ? (resuming ? resumeOffset : 0) + request.WireBytes()
                           : received + static_cast<std::int64_t>(read.bytes);
        std::int64_t elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (elapsed == 0) elapsed = 10;
        if (progress) progress(total, Low32(received), Low32(elapsed), Low32(received - resumeOffset));
    }

    if (!writePending()) {
        ShowMessage(messages, msg::DownloadInterrupted());
        return -1;
    }
    // Renamed while the lock is held: a download that waited for this one sees the name
    // lead elsewhere and starts a file of its own.
    if (!settings.completeAs.empty() && std::rename(localFileName.c_str(), settings.completeAs.c_str()) != 0) {
        ShowMessage(messages, msg::CannotOpenLocalFile());
        return -1;
    }
    if (!file.Close()) {
        ShowMessage(messages, msg::DownloadInterrupted());
        return -1;
    }
    return 0;
}

}  // namespace pw

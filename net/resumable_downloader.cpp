#include "net/resumable_downloader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/write_behind.h"
#include "net/curl_handle.h"

namespace pw {
namespace {

using Clock = std::chrono::steady_clock;

// The progress callback hears of the body in pieces of at most this many bytes.
constexpr std::size_t kReadSize = 10240;
// How far ahead of the body's writes the file system is asked for room.
constexpr off_t kReserveAhead = 32 * 1024 * 1024;
// The longest validator sent back in If-Range.
constexpr std::size_t kMaxValidatorLength = 256;

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
    // Others may read the file while it is written. It is emptied only once this download
    // holds its lock (LockForWriting) and the name still leads to it.
    LocalFile(const Text& name, const DownloadSettings& settings)
        : fd_(::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666)), settings_(settings) {}
    ~LocalFile() {
        writeBehind_.reset();  // before the descriptor it uses goes
        if (fd_ >= 0) ::close(fd_);
        if (lock_ >= 0) ::close(lock_);
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    bool WriteAll(const char* data, std::size_t size) {
        ReserveAhead(size);
        while (size > 0) {
            const ssize_t n = settings_.writeBody ? settings_.writeBody(fd_, data, size) : ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : ENOSPC;  // a write that takes nothing: no room
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            end_ += n;
        }
        if (writeBehind_) writeBehind_->Written(end_);
        return true;
    }

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

    // Keeps the first `size` bytes and writes on after them; false when the file is
    // shorter or cannot be cut.
    bool StartAt(std::int64_t size) {
        struct stat st {};
        end_ = reserved_ = size;
        writeBehind_.emplace(fd_, size);
        return ::fstat(fd_, &st) == 0 && st.st_size >= size && ::ftruncate(fd_, size) == 0 &&
               ::lseek(fd_, size, SEEK_SET) == size;
    }

    // The rest of the body is `length` bytes, as its answer announced it: room is reserved
    // up to its end.
    void ReserveFor(std::int64_t length) {
        if (length > 0 && length <= std::numeric_limits<off_t>::max() - end_) reserveEnd_ = end_ + length;
    }

    // Closes the file now, so that a late write error is seen, and keeps its lock (on a
    // second descriptor) until this object goes: the file is renamed or deleted first.
    bool CloseKeepingLock() {
        writeBehind_.reset();
        lock_ = ::dup(fd_);
        return ::close(std::exchange(fd_, -1)) == 0;
    }

    // The descriptor that still refers to the file after CloseKeepingLock.
    int Held() const { return fd_ >= 0 ? fd_ : lock_; }

    // Where the next write goes: the file's length.
    off_t End() const { return end_; }
    // The errno of the write that failed.
    int Error() const { return error_; }

private:
    // Reserves the room for the next stretch of the body before it is written, beyond the
    // file's end (its length stays what is written). Without it the file system found room
    // for every few MiB as the write-behind handed them over, and a large body arrived some
    // 10 % more slowly. Never more than a stretch beyond what has come, whatever length the
    // answer claims. Only a hint: where the file system refuses, the writes allocate as
    // before.
    void ReserveAhead(std::size_t size) {
        if (end_ + static_cast<off_t>(size) <= reserved_ || reserved_ >= reserveEnd_) return;
        const off_t to = std::min(end_ + std::max(kReserveAhead, static_cast<off_t>(size)), reserveEnd_);
        if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, reserved_, to - reserved_) != 0) reserveEnd_ = 0;
        reserved_ = to;
    }

    int fd_;
    const DownloadSettings& settings_;
    int error_ = 0;
    int lock_ = -1;
    off_t end_ = 0;         // where the next write goes
    std::optional<WriteBehind> writeBehind_;  // from StartAt on
    off_t reserved_ = 0;    // the disk holds room for the file up to here
    off_t reserveEnd_ = 0;  // the body's announced end; 0 when unknown
};

// Runs a check over a file while it is written, on a thread of its own: the check reads
// what has been written and waits for more until the writer tells it the file has ended.
// Without a thread it runs in Finish, over the whole file.
class CheckWhileWriting {
public:
    using Check = std::function<bool(const Text&, const SwfByteSource&, const SwfByteSkip&)>;

    CheckWhileWriting(const Check& check, const Text& path, off_t written)
        : check_(check), path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), written_(written) {
        if (fd_ < 0) return;
        try {
            thread_ = std::thread([this] { result_ = check_(path_, source_, skip_); });
        } catch (const std::system_error&) {
        }
    }
    ~CheckWhileWriting() {
        End(true);
        if (fd_ >= 0) ::close(fd_);
    }
    CheckWhileWriting(const CheckWhileWriting&) = delete;
    CheckWhileWriting& operator=(const CheckWhileWriting&) = delete;

    // The file now holds this many bytes.
    void Written(off_t written) {
        bool awaited = false;
        {
            std::lock_guard lock(mutex_);
            written_ = written;
            awaited = written_ >= awaited_;
        }
        // Woken only once what it waits for is there: passing over a large tag, the check
        // sleeps through the writes of the whole tag.
        if (awaited) moreWritten_.notify_one();
    }

    // The file is whole: the check's answer, once it has read to its end.
    bool Finish() {
        End(false);
        if (fd_ < 0) return false;
        if (!ran_) result_ = check_(path_, source_, skip_);
        return result_;
    }

private:
    // Ends the waiting: the check reads on to the end, or when abandoned stops at once.
    void End(bool abandon) {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
            abandoned_ = abandon;
        }
        moreWritten_.notify_one();
        ran_ = thread_.joinable();
        if (ran_) thread_.join();
    }

    // How many bytes are written past what the check has had, once there are at least
    // `wanted` or the file has ended; negative when abandoned.
    off_t WaitForWritten(off_t wanted) {
        std::unique_lock lock(mutex_);
        awaited_ = read_ + wanted;
        moreWritten_.wait(lock, [&] { return written_ >= awaited_ || ended_; });
        return abandoned_ ? -1 : written_ - read_;
    }

    std::ptrdiff_t Read(std::span<std::uint8_t> into) {
        const off_t available = WaitForWritten(1);
        if (available < 0) return -1;
        if (available <= 0) return 0;
        const auto want = static_cast<std::size_t>(std::min<off_t>(available, static_cast<off_t>(into.size())));
        for (;;) {
            const ssize_t got = ::pread(fd_, into.data(), want, read_);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return -1;  // the file is shorter than what was written to it
            read_ += got;
            return got;
        }
    }

    Check check_;
    Text path_;
    int fd_;
    const SwfByteSource source_ = [this](std::span<std::uint8_t> into) { return Read(into); };
    // Bytes the writer has written are there: passed over, they cost no read.
    const SwfByteSkip skip_ = [this](std::uint64_t count) {
        if (count > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
        const auto wanted = static_cast<off_t>(count);
        if (WaitForWritten(wanted) < wanted) return false;
        read_ += wanted;
        return true;
    };
    std::mutex mutex_;
    std::condition_variable moreWritten_;
    off_t written_;
    off_t awaited_ = 0;  // the file's length the check waits for
    bool ended_ = false;
    bool abandoned_ = false;
    off_t read_ = 0;  // the check's thread only
    std::thread thread_;
    bool ran_ = false;
    bool result_ = false;
};

enum class LockedOpen { Opened, Failed, Stopped };

// Opens the file and waits for its lock. When the writer we waited for renamed the file
// away meanwhile, the name is opened afresh: we must never write into a finished lesson.
LockedOpen OpenLocked(const Text& name, const DownloadSettings& settings, std::optional<LocalFile>& file) {
    for (;;) {
        file.emplace(name, settings);
        if (!file->IsOpen()) return LockedOpen::Failed;
        if (!file->LockForWriting(settings.stop)) return LockedOpen::Stopped;
        if (file->IsStill(name)) return LockedOpen::Opened;
    }
}

// The response's validator, as If-Range compares it: its ETag, else its Last-Modified. A
// weak ETag cannot stand in If-Range.
std::string_view Validator(const CurlHandle& easy) {
    const auto etag = easy.Header("ETag");
    if (etag && !etag->starts_with("W/")) return *etag;
    return easy.Header("Last-Modified").value_or(std::string_view());
}

// True when a Content-Range ("bytes first-last/total") starts at `first` and, when it
// names the total, runs to the end of the resource.
bool RangeStartsAt(std::optional<std::string_view> range, std::int64_t first) {
    if (!range || !StartsWithNoCase(*range, "bytes ")) return false;
    const std::string text(range->substr(6));
    long long from = -1, to = -1;
    char total[32] = {};
    if (std::sscanf(text.c_str(), "%lld-%lld/%31s", &from, &to, total) != 3 || from != first || to < from) return false;
    return std::strcmp(total, "*") == 0 || std::atoll(total) == to + 1;
}

// The total that a Content-Range names ("bytes first-last/total"); nothing for "*" or a
// range that cannot be read.
std::optional<std::int64_t> RangeTotal(std::optional<std::string_view> range) {
    if (!range) return std::nullopt;
    const std::size_t slash = range->rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string total(range->substr(slash + 1));
    if (total.empty() || total.find_first_not_of("0123456789") != std::string::npos || total.size() > 18)
        return std::nullopt;
    return std::stoll(total);
}

std::vector<std::string> RequestHeaders(std::int32_t resumeOffset, bool resume, const Text& ifRange) {
    std::vector<std::string> lines(std::begin(kHeaderBlock), std::end(kHeaderBlock));
    if (resume) lines.push_back("Range:bytes=" + TextFromInteger(resumeOffset) + "-");
    if (resume && !ifRange.empty()) lines.push_back("If-Range: " + ifRange);
    // Always fetched anew: no cached copy may answer.
    lines.push_back("Pragma: no-cache");
    lines.push_back("Cache-Control: no-cache");
    return lines;
}

// One request of a download: its response goes into the file, or beside it.
struct Attempt {
    const Text& name;
    const DownloadProgressCallback& progress;
    const DownloadSettings& settings;
    const CurlHandle& easy;
    std::int64_t resumeOffset;
    bool resuming;     // this request asks for the rest
    bool keepingFile;  // the download was a resume: only more of the same file goes into it

    std::optional<LocalFile> file{};
    std::optional<CheckWhileWriting> check{};  // the body's check, as it arrives
    Text target{};          // where this response's body goes
    std::int64_t base = 0;  // bytes the file keeps from before this request
    std::int64_t received = 0;
    std::int32_t total = 0;
    bool encoded = false;
    Clock::time_point start{};
    const Text* failure = nullptr;  // what to tell when abandoned
    bool stopped = false;
    bool startAfresh = false;  // the answer to a resume cannot be appended
    bool wrongSize = false;    // the answer is not `expectedSize` long
    bool diskFull = false;     // a write, or the file's opening, found no room
    Text freshValidator{};     // the validator of a whole answer written beside the file

    // True when the answer says the file is another length than the one expected.
    bool LengthDisagrees(bool appending) const {
        if (settings.expectedSize <= 0 || encoded) return false;
        if (appending) {
            const auto rangeTotal = RangeTotal(easy.Header("Content-Range"));
            if (rangeTotal && *rangeTotal != settings.expectedSize) return true;
        }
        curl_off_t length = -1;
        Curl().easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        return length >= 0 && length + (appending ? resumeOffset : 0) != settings.expectedSize;
    }

    // True when this 206 is the rest of the file we hold: it starts at its end and names
    // the validator that If-Range sent. A cache that ignores If-Range answers a changed
    // file with the new file's bytes from that offset.
    bool ContinuesTheFile() const {
        if (!RangeStartsAt(easy.Header("Content-Range"), resumeOffset) || encoded) return false;
        return settings.ifRange.empty() || Validator(easy) == std::string_view(settings.ifRange);
    }

    bool OnHeaders() {
        // Nothing after the part's end: the part is as long as the file, or the file shrank.
        if (resuming && easy.Status() == 416) {
            startAfresh = true;
            return false;
        }
        // An error status is a failure to open: an error page is never stored as the file.
        if (easy.Status() >= 400) {
            failure = &msg::CannotOpenUrl();
            return false;
        }
        const auto encoding = easy.Header("Content-Encoding");
        encoded = encoding && !StartsWithNoCase(*encoding, "identity");
        // A resume appends only the rest it asked for; any other answer is the whole file.
        const bool appending = resuming && easy.Status() == 206;
        if (appending && !ContinuesTheFile()) {
            startAfresh = true;
            return false;
        }
        if (LengthDisagrees(appending)) {
            wrongSize = true;
            return false;
        }
        target = appending || !keepingFile ? name : FreshBodyPath(name);
        const LockedOpen opened = OpenLocked(target, settings, file);
        stopped = opened == LockedOpen::Stopped;
        if (opened != LockedOpen::Opened) {
            diskFull = !stopped && IsDiskFull(errno);  // no room for one more file
            if (!stopped) failure = &msg::CannotOpenLocalFile();
            return false;
        }
        base = appending ? resumeOffset : 0;
        if (!file->StartAt(base)) {
            // Shorter than when the resume was asked for: another writer started it again.
            startAfresh = appending;
            failure = &msg::CannotOpenLocalFile();
            return false;
        }
        received = base;
        if (settings.checkWhileArriving) check.emplace(settings.checkWhileArriving, target, file->End());
        curl_off_t length = -1;
        Curl().easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        total = Low32(std::max<curl_off_t>(length, 0));
        if (!encoded) file->ReserveFor(length);
        const std::string_view validator = encoded ? std::string_view() : Validator(easy);
        if (target == name && !appending && settings.onValidator)
            settings.onValidator(IsSendableValidator(validator) ? Text(validator) : Text());
        if (target != name) freshValidator = IsSendableValidator(validator) ? Text(validator) : Text();
        start = Clock::now();
        return true;
    }

    bool OnBody(const char* data, std::size_t size) {
        // An endless body would fill the disk: it ends as soon as it runs past the file.
        if (settings.expectedSize > 0 && file->End() + static_cast<off_t>(size) > settings.expectedSize) {
            wrongSize = true;
            return false;
        }
        if (!file->WriteAll(data, size)) {
            diskFull = IsDiskFull(file->Error());
            failure = &msg::DownloadInterrupted();
            return false;
        }
        if (check) check->Written(file->End());
        for (std::size_t done = 0; done < size;) {
            const std::size_t piece = std::min(kReadSize, size - done);
            done += piece;
            // A compressed body's progress counts the bytes on the wire, which is what its
            // Content-Length counts.
            curl_off_t wire = 0;
            if (encoded) Curl().easy_getinfo(easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &wire);
            received = encoded ? base + wire : received + static_cast<std::int64_t>(piece);
            std::int64_t elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (elapsed == 0) elapsed = 10;
            if (progress) progress(total, Low32(received), Low32(elapsed), Low32(received - base));
        }
        return true;
    }

    // A body written beside the file that is not kept goes; the file stays as it was.
    void DropFreshBody() {
        if (file && target != name) std::remove(target.c_str());
    }

    // A whole answer beside the file broke off: it becomes the file, when the file is
    // known stale (the answer names another validator) or the answer holds more. The
    // next resume then goes on with it, instead of fetching it from byte 0 again.
    void KeepFreshBodyOnBreak() {
        if (!file || target == name) return;
        const bool stale = freshValidator != settings.ifRange;
        if (file->End() == 0 || (!stale && file->End() <= resumeOffset) ||
            !RenameDurably(file->Held(), target, name, settings.writeCalls)) {
            DropFreshBody();
            return;
        }
        if (settings.onValidator) settings.onValidator(freshValidator);
    }

    // The disk is full: what this download wrote goes, so that it is not left full.
    int DropForSpace(MessagePort& messages) {
        for (const Text& path : {name, FreshBodyPath(name)}) std::remove(path.c_str());
        ShowMessage(messages, msg::DiskFull());
        return kDownloadDiskFull;
    }
};

}  // namespace

bool IsSendableValidator(std::string_view validator) {
    return !validator.empty() && validator.size() <= kMaxValidatorLength &&
           std::all_of(validator.begin(), validator.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

Text FreshBodyPath(const Text& localFileName) { return localFileName + ".new"; }

int ResumableDownloader(const Text& url, const Text& localFileName, const DownloadProgressCallback& progress,
                        std::int32_t resumeOffset, std::int32_t resume, MessagePort& messages,
                        const DownloadSettings& settings) {
    // A validator that cannot be sent back makes a resume unsafe: start afresh.
    const bool canResume = resume != 0 && (settings.ifRange.empty() || IsSendableValidator(settings.ifRange));
    // At most twice: a resume whose answer cannot be appended is asked for again, whole.
    for (bool resuming = canResume;; resuming = false) {
        HttpRequestOptions options;
        options.headerLines = RequestHeaders(resumeOffset, resuming, settings.ifRange);
        options.connectTimeout = settings.connectTimeout;
        options.stallLimit = settings.stallLimit;
        options.decodeContent = true;
        CurlHandle easy;
        if (!easy.Configure(url, options)) {
            ShowMessage(messages, msg::InternetError());
            return -1;
        }
        Attempt a{localFileName, progress, settings, easy, resumeOffset, resuming, canResume};
        const TransferEnd end = easy.Perform(
            settings.stop, {[&] { return a.OnHeaders(); }, [&](const char* data, std::size_t size) {
                                return a.OnBody(data, size);
                            }});
        if (end == TransferEnd::Stopped || a.stopped) {
            a.DropFreshBody();
            return -1;
        }
        if (a.startAfresh && resuming) continue;
        if (a.diskFull) return a.DropForSpace(messages);
        if (a.wrongSize) {
            // Not the file the caller expects: none of it is kept.
            if (a.file) std::remove(a.target.c_str());
            return kDownloadNotKept;
        }
        if (end != TransferEnd::Complete) {
            // What arrived in the file stays there, for a resume.
            a.KeepFreshBodyOnBreak();
            const Text* failure = a.failure ? a.failure : &msg::DownloadInterrupted();
            ShowMessage(messages, end == TransferEnd::NoResponse ? msg::CannotOpenUrl() : *failure);
            return -1;
        }
        // Closed before it is taken: a late write error must not replace a whole lesson.
        // The lock is held until the file is renamed or deleted, so that a download that
        // waited for it then starts a file of its own.
        const bool closed = a.file->CloseKeepingLock();
        if (!closed && IsDiskFull(errno)) return a.DropForSpace(messages);
        const bool beside = a.target != localFileName;
        if (settings.completeAs.empty() && !beside) {
            if (closed) return 0;
            ShowMessage(messages, msg::DownloadInterrupted());
            return -1;
        }
        if (!closed || (a.check && !a.check->Finish())) {
            std::remove(a.target.c_str());
            return kDownloadNotKept;
        }
        // Flushed before the rename, so that a power cut never leaves a short file under
        // the lesson's name.
        const Text& finalName = settings.completeAs.empty() ? localFileName : settings.completeAs;
        if (!RenameDurably(a.file->Held(), a.target, finalName, settings.writeCalls)) {
            if (IsDiskFull(errno)) return a.DropForSpace(messages);
            a.DropFreshBody();
            ShowMessage(messages, msg::CannotOpenLocalFile());
            return -1;
        }
        // The file it was to continue was another one: it is of no more use.
        if (beside && finalName != localFileName) std::remove(localFileName.c_str());
        return 0;
    }
}

}  // namespace pw

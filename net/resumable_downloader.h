#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <sys/types.h>

#include "core/files.h"
#include "core/message.h"
#include "core/swf_file.h"
#include "core/text.h"

namespace pw {

// total, received, elapsed ms, received this call (the four signed 32-bit values).
using DownloadProgressCallback = std::function<int(std::int32_t total, std::int32_t received,
                                                   std::int32_t elapsed, std::int32_t receivedThisCall)>;

struct DownloadSettings {
    std::chrono::milliseconds connectTimeout{5000};
    // How long a transfer may go without a byte before it counts as broken off.
    std::chrono::milliseconds stallLimit{30000};
    // A stop request ends the transfer at once.
    std::stop_token stop;
    // Sent as If-Range with a resume: the validator of the response the file began with.
    // The server then sends the rest only while the resource is unchanged.
    Text ifRange;
    // Told the validator of a response that starts the file afresh (its strong ETag, else
    // its Last-Modified; empty when it has none fit to send back, or when its body comes
    // with a content coding, whose ranges would count the coded bytes), once its headers
    // are in.
    std::function<void(const Text& validator)> onValidator;
    // Not empty: once the whole body is written and the file closed without error, the
    // file is flushed to the disk and renamed to this name (its folder flushed after), if
    // `checkWhileArriving` (when set) takes it.
    Text completeAs;
    // Whether the file is taken, decided on a thread of its own while the body arrives, so
    // that a large file is not read again once it is written: `source` gives the bytes of
    // `file` from its start as they are written, waiting for more until the body has ended
    // and the file is closed; `skip` passes over bytes once they are written.
    std::function<bool(const Text& file, const SwfByteSource& source, const SwfByteSkip& skip)> checkWhileArriving;
    // The flushes and the rename of a finished file.
    DurableWriteCalls writeCalls = SystemWriteCalls();
    // The writes of the body, as write(2) (tests: a disk that fills up); empty: write(2).
    std::function<ssize_t(int fd, const void* data, std::size_t size)> writeBody;
};

// The result when the whole body arrived but the file was not taken: closing it failed,
// or `checkWhileArriving` refused it. The body is deleted; nothing is told.
inline constexpr int kDownloadNotKept = -2;
// The result when a write, flush or rename found the disk full: the file and what was
// written beside it are deleted, so that the disk is not left full, and "磁盘空间不足，
// 课程没有下载完。" is told.
inline constexpr int kDownloadDiskFull = -3;

// True for a validator that may go back to the server in If-Range: printable ASCII on one
// line, and short.
bool IsSendableValidator(std::string_view validator);

// Where an answer that does not continue a resumed file is written: beside it.
Text FreshBodyPath(const Text& localFileName);

// Fetches `url` by HTTP GET into `localFileName`, calling `progress` after every piece of
// at most 10240 bytes that was written. Resume off starts the file afresh. Resume on asks
// the server for the bytes from `resumeOffset` on (with If-Range when `settings.ifRange`
// is set) and appends a 206 that starts there and, when If-Range was sent, names the same
// validator (its strong ETag, else its Last-Modified) and has no content coding; any other
// 206 is dropped and the file asked for again, whole. With resume on, the file is never
// replaced but by more of itself: a whole answer goes to FreshBodyPath, its received
// count from 0, and takes the file's place (and that of `completeAs`) only once it is
// whole and kept; an answer not kept is deleted and the file stays as it was. Every few MiB
// of the body are handed to the disk as it arrives, so that the flush at the end is short.
// A body sent compressed (gzip, deflate) is stored decoded. 0 when the whole body was
// received and written, -1 on every failure, kDownloadNotKept as above; failures are
// told through `messages`. A stop request gives -1 with no message, the file kept with
// what it holds.
int ResumableDownloader(const Text& url, const Text& localFileName, const DownloadProgressCallback& progress,
                        std::int32_t resumeOffset, std::int32_t resume, MessagePort& messages,
                        const DownloadSettings& settings = {});

}  // namespace pw

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "core/message.h"
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
    // Told the validator of the response the file now begins with (its ETag, else its
    // Last-Modified; empty when it has none fit to send back), once its headers are in.
    std::function<void(const Text& validator)> onValidator;
    // Not empty: once the whole body is written and the file closed without error, the
    // file is renamed to this name, if `accept` (when set) takes it.
    Text completeAs;
    std::function<bool(const Text& file)> accept;
};

// The result when the whole body arrived but the file was not taken: closing it failed,
// or `accept` refused it. The file is deleted; nothing is told.
inline constexpr int kDownloadNotKept = -2;

// Fetches `url` by HTTP GET into `localFileName`, calling `progress` after every piece of
// at most 10240 bytes that was written. Resume off starts the file afresh; resume on asks
// the server for the bytes from `resumeOffset` on and appends them, when it answers with
// exactly those; any other answer (a 200, another range) is stored from byte 0, its
// received count then counting from 0.
// A body sent compressed (gzip, deflate) is stored decoded. 0 when the whole body was
// received and written, -1 on every failure, kDownloadNotKept as above; failures are
// told through `messages`. A stop request gives -1 with no message, the file kept with
// what it holds.
int ResumableDownloader(const Text& url, const Text& localFileName, const DownloadProgressCallback& progress,
                        std::int32_t resumeOffset, std::int32_t resume, MessagePort& messages,
                        const DownloadSettings& settings = {});

}  // namespace pw

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
    // A stop request ends the transfer at its next wait.
    std::stop_token stop;
    // Not empty: once the whole body is written, the file is renamed to this name.
    Text completeAs;
};

// Fetches `url` by HTTP GET into `localFileName`, in reads of at most 10240 bytes, calling
// `progress` after every read that brought bytes. Resume off starts the file afresh; resume
// on appends to it and asks the server for the bytes from `resumeOffset` on.
// A body sent compressed (gzip, deflate) is stored decoded. 0 when the whole body was
// received and written, -1 on every failure; failures are told through `messages`. A stop request gives -1 with no message, the file kept with what it
// holds.
int ResumableDownloader(const Text& url, const Text& localFileName, const DownloadProgressCallback& progress,
                        std::int32_t resumeOffset, std::int32_t resume, MessagePort& messages,
                        const DownloadSettings& settings = {});

}  // namespace pw

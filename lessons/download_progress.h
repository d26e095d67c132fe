#pragma once

#include <cstddef>
#include <cstdint>

#include "core/text.h"
#include "lessons/display.h"

namespace pw {

// x rounded to `places` decimals, halves away from zero.
double RoundToPlaces(double x, int places);

// The status label's text for one progress report: the waiting line, size, received,
// time taken, speed, and the time left when it can be known.
Text ProgressCaption(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall);

// The figures of one report on one short line, for a download that runs behind a lesson:
// percentage, received and size in KB, speed ("52%  1024/1953.13KB  250KB/s"); without a
// total, the received count and the speed.
Text ProgressFigures(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall);

// The percentage received, truncated; 0 when the total is unknown (0).
std::int32_t ProgressPercent(std::int32_t total, std::int32_t received);

// The progress bar's stored position for one report.
std::int32_t ProgressPosition(std::int32_t total, std::int32_t received);

// The display completes when the bar, read back, stands at exactly 100.
constexpr bool CompletesDisplay(std::int32_t position) { return position == 100; }

// The caption's first line, and all of it while a download waits for its first bytes:
// "正在下载网络文件，请等待。。。  ".
inline const Text& DownloadWaitingCaption() { return Gbk<"正在下载网络文件，请等待。。。  ">(); }

// The caption of the k-th of n lessons that a download of all lessons fetches: the
// lesson's own caption with "正在下载第 k / n 课。。。  " for its waiting line.
Text DownloadAllCaption(std::size_t number, std::size_t count, const Text& caption);

// "下载已完成"
inline const Text& DownloadCompleteCaption() { return Gbk<"下载已完成">(); }

}  // namespace pw

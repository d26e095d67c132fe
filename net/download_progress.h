#pragma once

#include <cstdint>

#include "core/main_window_controls.h"
#include "core/text.h"

namespace pw {

// x rounded to `places` decimals, halves away from zero.
double RoundToPlaces(double x, int places);

// The status label's text for one progress report: the waiting line, size, received,
// time taken, speed, and the time left when it can be known.
Text ProgressCaption(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall);

// The percentage received, truncated; 0 when the total is unknown (0).
std::int32_t ProgressPercent(std::int32_t total, std::int32_t received);

// "下载已完成"
const Text& DownloadCompleteCaption();

// `DownloadProgress`: writes the caption and the bar's position for one report. When the
// bar then reads exactly 100 the display completes (bar to 0, "下载已完成") and the result
// is true: the caller plays the file.
bool DownloadProgress(MainWindowControls& controls, std::int32_t total, std::int32_t received,
                      std::int32_t elapsed, std::int32_t receivedThisCall);

// The completion step on its own, for a download that ended well without reaching 100 by
// its count (no Content-Length).
void CompleteDownloadDisplay(MainWindowControls& controls);

}  // namespace pw

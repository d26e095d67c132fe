#include "lessons/download_progress.h"

#include <cmath>

namespace pw {

double RoundToPlaces(double x, int places) {
    if (x == 0.0) return 0.0;
    const double scale = std::pow(10.0, places);
    double whole = 0.0;
    const double fraction = std::modf(std::fabs(x) * scale + 0.000000000001, &whole);
    const double magnitude = (fraction >= 0.5 ? whole + 1.0 : whole) / scale;
    return x < 0 ? -magnitude : magnitude;
}

namespace {

Text Kilobytes(std::int32_t bytes) { return TextFromNumber(RoundToPlaces(bytes / 1024.0, 2)); }

// KB per second, to two places.
double Speed(std::int32_t elapsed, std::int32_t receivedThisCall) {
    const std::int32_t elapsedMs = elapsed == 0 ? 10 : elapsed;  // never divide by zero
    return RoundToPlaces(receivedThisCall * 1000.0 / 1024.0 / elapsedMs, 2);
}

}  // namespace

Text ProgressCaption(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall) {
    Text caption = DownloadWaitingCaption();
    caption += Gbk<"文件大小:">() + Kilobytes(total) + Gbk<"KB\r\n">();
    caption += Gbk<"已下载:">() + Kilobytes(received) + Gbk<"KB  ">();
    caption += Gbk<"所用时间:">() + TextFromInteger((elapsed == 0 ? 10 : elapsed) / 1000) + Gbk<"秒\r\n">();
    const double speed = Speed(elapsed, receivedThisCall);
    caption += Gbk<"下载速度:">() + TextFromNumber(speed) + Gbk<"KB/s  ">();
    // Without a total there is nothing to count down to: leave the time left out rather
    // than show a negative one.
    if (speed > 0.0000001 && total > 0) {
        const std::int32_t left = TruncateToInt32((total - static_cast<double>(received)) / 1024.0 / speed);
        caption += Gbk<"剩余时间:">() + TextFromInteger(left / 3600) + Gbk<"时">() +
                   TextFromInteger((left / 60) % 60) + Gbk<"分">() + TextFromInteger(left % 60) + Gbk<"秒">();
    }
    return caption;
}

Text ProgressFigures(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall) {
    Text line = total > 0 ? TextFromInteger(ProgressPercent(total, received)) + "%  " + Kilobytes(received) + "/" +
                                Kilobytes(total) + "KB  "
                          : Kilobytes(received) + "KB  ";
    return line + TextFromNumber(Speed(elapsed, receivedThisCall)) + "KB/s";
}

std::int32_t ProgressPercent(std::int32_t total, std::int32_t received) {
    if (total == 0) return 0;
    return TruncateToInt32(received * 100.0 / total);
}

std::int32_t ProgressPosition(std::int32_t total, std::int32_t received) {
    return StoredProgressPosition(ProgressPercent(total, received));
}

Text DownloadAllCaption(std::size_t number, std::size_t count, const Text& caption) {
    // In place of the waiting line, which is wider: the label has room for three lines,
    // and the figures keep theirs.
    Text line = Gbk<"正在下载第 ">() + TextFromInteger(static_cast<std::int64_t>(number)) + Gbk<" / ">() +
                TextFromInteger(static_cast<std::int64_t>(count)) + Gbk<" 课。。。  ">();
    const bool waiting = caption.starts_with(DownloadWaitingCaption());
    return line + (waiting ? caption.substr(DownloadWaitingCaption().size()) : caption);
}

}  // namespace pw

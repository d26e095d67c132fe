#include "net/download_progress.h"

#include <cmath>

namespace pw {
namespace {

struct Pieces {
    Text waiting = FromUtf8("正在下载网络文件，请等待。。。  ");
    Text sizeLabel = FromUtf8("文件大小:");
    Text sizeUnit = FromUtf8("KB\r\n");
    Text receivedLabel = FromUtf8("已下载:");
    Text receivedUnit = FromUtf8("KB  ");
    Text timeLabel = FromUtf8("所用时间:");
    Text timeUnit = FromUtf8("秒\r\n");
    Text speedLabel = FromUtf8("下载速度:");
    Text speedUnit = FromUtf8("KB/s  ");
    Text leftLabel = FromUtf8("剩余时间:");
    Text hours = FromUtf8("时");
    Text minutes = FromUtf8("分");
    Text seconds = FromUtf8("秒");
    Text complete = FromUtf8("下载已完成");
};

const Pieces& Texts() {
    static const Pieces pieces;
    return pieces;
}

}  // namespace

double RoundToPlaces(double x, int places) {
    if (x == 0.0) return 0.0;
    const double scale = std::pow(10.0, places);
    double whole = 0.0;
    const double fraction = std::modf(std::fabs(x) * scale + 0.000000000001, &whole);
    const double magnitude = (fraction >= 0.5 ? whole + 1.0 : whole) / scale;
    return x < 0 ? -magnitude : magnitude;
}

Text ProgressCaption(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t receivedThisCall) {
    const Pieces& t = Texts();
    Text caption = t.waiting;
    caption += t.sizeLabel + TextFromNumber(RoundToPlaces(total / 1024.0, 2)) + t.sizeUnit;
    caption += t.receivedLabel + TextFromNumber(RoundToPlaces(received / 1024.0, 2)) + t.receivedUnit;
    const std::int32_t elapsedMs = elapsed == 0 ? 10 : elapsed;  // never divide by zero
    caption += t.timeLabel + TextFromInteger(elapsedMs / 1000) + t.timeUnit;
    const double speed = RoundToPlaces(receivedThisCall * 1000.0 / 1024.0 / elapsedMs, 2);
    caption += t.speedLabel + TextFromNumber(speed) + t.speedUnit;
    // Without a total there is nothing to count down to: leave the time left out rather
    // than show a negative one.
    if (speed > 0.0000001 && total > 0) {
        const std::int32_t left = TruncateToInt32((total - static_cast<double>(received)) / 1024.0 / speed);
        caption += t.leftLabel + TextFromInteger(left / 3600) + t.hours + TextFromInteger((left / 60) % 60) +
                   t.minutes + TextFromInteger(left % 60) + t.seconds;
    }
    return caption;
}

std::int32_t ProgressPercent(std::int32_t total, std::int32_t received) {
    if (total == 0) return 0;
    return TruncateToInt32(received * 100.0 / total);
}

const Text& DownloadCompleteCaption() { return Texts().complete; }

void CompleteDownloadDisplay(MainWindowControls& controls) {
    controls.SetProgressPosition(0);
    controls.SetStatusCaption(DownloadCompleteCaption());
}

bool DownloadProgress(MainWindowControls& controls, std::int32_t total, std::int32_t received,
                      std::int32_t elapsed, std::int32_t receivedThisCall) {
    controls.SetStatusCaption(ProgressCaption(total, received, elapsed, receivedThisCall));
    controls.SetProgressPosition(ProgressPercent(total, received));
    if (controls.ProgressPosition() != 100) return false;
    CompleteDownloadDisplay(controls);
    return true;
}

}  // namespace pw

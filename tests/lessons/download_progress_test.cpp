#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lessons/download_progress.h"

namespace pw {
namespace {

// What the display shows for one report: the caption and the bar's stored position.
struct Report {
    Text caption;
    std::int32_t position;
    bool complete;
};

Report DownloadProgress(std::int32_t total, std::int32_t received, std::int32_t elapsed, std::int32_t thisCall) {
    const std::int32_t position = ProgressPosition(total, received);
    return {ProgressCaption(total, received, elapsed, thisCall), position, CompletesDisplay(position)};
}

// The caption's lines as the label shows them.
std::vector<std::string> Lines(const Text& caption) {
    std::vector<std::string> lines;
    const std::string utf8 = ToUtf8(caption);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = utf8.find("\r\n", start);
        lines.push_back(utf8.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

TEST(DownloadProgress, WorkedExampleGivesThreeLinesAndBar52) {
    const Report report = DownloadProgress(2000000, 1048576, 4096, 1048576);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(Lines(report.caption),
              (std::vector<std::string>{"正在下载网络文件，请等待。。。  文件大小:1953.13KB",
                                        "已下载:1024KB  所用时间:4秒", "下载速度:250KB/s  剩余时间:0时0分3秒"}));
    EXPECT_EQ(report.position, 52);
}

TEST(DownloadProgress, SizesInKilobytesWithAtMostTwoDecimals) {
    EXPECT_EQ(TextFromNumber(RoundToPlaces(1536 / 1024.0, 2)), "1.5");
    EXPECT_EQ(TextFromNumber(RoundToPlaces(1000 / 1024.0, 2)), "0.98");
    const std::string caption = ToUtf8(ProgressCaption(1536, 1000, 500, 1000));
    EXPECT_NE(caption.find("文件大小:1.5KB\r\n"), std::string::npos) << caption;
    EXPECT_NE(caption.find("已下载:0.98KB  "), std::string::npos) << caption;
    EXPECT_NE(caption.find("所用时间:0秒\r\n"), std::string::npos) << caption;  // under a second
}

TEST(DownloadProgress, TimeLeftInHoursMinutesSeconds) {
    // 3725 KB left at 1 KB/s.
    const std::int32_t total = 3726 * 1024, received = 1024;
    const std::string caption = ToUtf8(ProgressCaption(total, received, 1000, 1024));
    EXPECT_NE(caption.find("下载速度:1KB/s  剩余时间:1时2分5秒"), std::string::npos) << caption;
}

TEST(DownloadProgress, RoundToPlacesRoundsHalvesAwayFromZero) {
    EXPECT_DOUBLE_EQ(RoundToPlaces(0.0, 2), 0.0);
    EXPECT_DOUBLE_EQ(RoundToPlaces(1.005, 2), 1.01);   // the 1e-12 nudge carries it over
    EXPECT_DOUBLE_EQ(RoundToPlaces(-1.005, 2), -1.01);
    EXPECT_DOUBLE_EQ(RoundToPlaces(2.0049, 2), 2.0);
    EXPECT_DOUBLE_EQ(RoundToPlaces(1953.125, 2), 1953.13);
}

TEST(DownloadProgress, ReceivingEverythingCompletesTheDisplay) {
    const Report report = DownloadProgress(20480, 20480, 10, 20480);
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(report.position, 100);
    // The last progress text before completion counted down to nothing; the display then
    // puts the bar at 0 and shows this caption.
    EXPECT_NE(ToUtf8(report.caption).find("剩余时间:0时0分0秒"), std::string::npos) << ToUtf8(report.caption);
    EXPECT_EQ(ToUtf8(DownloadCompleteCaption()), "下载已完成");
}

TEST(DownloadProgress, MoreThanTheTotalStoresOver100AndNeverCompletes) {
    const Report report = DownloadProgress(1000, 1500, 10, 1500);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.position, 150);
    EXPECT_NE(report.caption, DownloadCompleteCaption());
}

TEST(DownloadProgress, UnknownTotalShowsSizeZeroNoTimeLeftAndBarZero) {
    const Report report = DownloadProgress(0, 30720, 100, 30720);
    EXPECT_FALSE(report.complete);
    const std::string caption = ToUtf8(report.caption);
    EXPECT_NE(caption.find("文件大小:0KB"), std::string::npos) << caption;
    EXPECT_EQ(caption.find("剩余时间"), std::string::npos) << caption;
    EXPECT_EQ(caption.find('-'), std::string::npos) << caption;
    EXPECT_EQ(report.position, 0);
}

TEST(DownloadProgress, SpeedThatRoundsToZeroLeavesOutTheTimeLeft) {
    // 4 bytes in 1000 ms is 0.0039 KB/s, which rounds to 0.
    const std::string caption = ToUtf8(ProgressCaption(100000, 4, 1000, 4));
    EXPECT_NE(caption.find("下载速度:0KB/s  "), std::string::npos) << caption;
    EXPECT_EQ(caption.find("剩余时间"), std::string::npos) << caption;
}

TEST(ProgressBarRule, StoresClampedTo32767AndDrawsClampedTo100) {
    EXPECT_EQ(StoredProgressPosition(-5), 0);
    EXPECT_EQ(StoredProgressPosition(150), 150);
    EXPECT_EQ(StoredProgressPosition(40000), 32767);
    EXPECT_EQ(DrawnProgressPosition(150), 100);
    EXPECT_EQ(DrawnProgressPosition(52), 52);
}

}  // namespace
}  // namespace pw

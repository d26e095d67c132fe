#include "lessons/lesson_library.h"

#include <algorithm>

#include "lessons/download_progress.h"
#include "lessons/store.h"

namespace pw {

void SortByLastUse(std::vector<LibraryRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const LibraryRow& a, const LibraryRow& b) {
        if (!a.lastUse || !b.lastUse) return a.lastUse.has_value() && !b.lastUse.has_value();
        return *a.lastUse > *b.lastUse;
    });
}

Text SizeText(std::uint64_t bytes) {
    constexpr double kMegabyte = 1024.0 * 1024.0;
    constexpr double kGigabyte = 1024.0 * kMegabyte;
    if (bytes == 0) return Gbk<"0 MB">();
    if (static_cast<double>(bytes) >= kGigabyte)
        return TextFromNumber(RoundToPlaces(static_cast<double>(bytes) / kGigabyte, 1)) + " GB";
    // Under a megabyte to two places, as most lessons are; a small one is never "0 MB".
    const double megabytes = static_cast<double>(bytes) / kMegabyte;
    return TextFromNumber(megabytes < 1 ? std::max(RoundToPlaces(megabytes, 2), 0.01) : RoundToPlaces(megabytes, 1)) +
           " MB";
}

Text LastUseText(std::optional<WallTime> lastUse, WallTime now) {
    if (!lastUse) return Gbk<"还没看过">();
    // A use after now (the clock was set back) is today's.
    const LocalDay daysAgo = std::max<LocalDay>(LocalDayOf(now) - LocalDayOf(*lastUse), 0);
    if (daysAgo == 0) return Gbk<"今天">();
    if (daysAgo == 1) return Gbk<"昨天">();
    return TextFromInteger(daysAgo) + Gbk<" 天前">();
}

Text LibraryTotalsText(const LibraryListing& listing) {
    std::uint64_t used = 0;
    for (const LibraryRow& row : listing.rows) used += row.bytes;
    Text text = Gbk<"共 ">() + TextFromInteger(static_cast<std::int64_t>(listing.rows.size())) + Gbk<" 课，占用 ">() +
                SizeText(used);
    if (listing.freeBytes) text += Gbk<"，磁盘还剩 ">() + SizeText(*listing.freeBytes);
    return text;
}

std::uint64_t KnownDownloadSize(const Catalogue& catalogue, const std::vector<bool>& ready) {
    std::uint64_t needed = 0;
    for (std::size_t i = 0; i < catalogue.lessons.size(); ++i) {
        const LessonEntry& lesson = catalogue.lessons[i];
        if (i < ready.size() && ready[i]) continue;
        if (lesson.digest && lesson.digest->size > 0) needed += static_cast<std::uint64_t>(lesson.digest->size);
    }
    return needed;
}

std::optional<Text> NotEnoughSpaceMessage(std::uint64_t needed, std::optional<std::uint64_t> freeBytes) {
    if (!freeBytes || needed <= *freeBytes) return std::nullopt;
    return Gbk<"磁盘空间不够：需要 ">() + SizeText(needed) + Gbk<"，还剩 ">() + SizeText(*freeBytes);
}

}  // namespace pw

#include "lessons/catalogue.h"


namespace pw {
namespace {

constexpr LessonRow kCatalogue[] = {
    {0, 0, "爱吃糖的老虎", 1, "/erly/爱吃糖的老虎.swf", "actdlh.ylq"},
    {0, 1, "爱美的小公鸡", 1, "/erly/爱美的小公鸡.swf", "amdxgj.ylq"},
    {0, 2, "包公审石头", 1, "/erly/包公审石头.swf", "bgsst.ylq"},
    {0, 3, "大嘴巴龙", 1, "/erly/大嘴巴龙.swf", "dzbl.ylq"},
    {0, 4, "猴子捞月", 1, "/erly/猴子捞月.swf", "hzly.ylq"},
    {0, 5, "狐狸和蝉", 1, "/erly/狐狸和蝉.swf", "hlhc.ylq"},
    {0, 6, "狐狸和山羊", 1, "/erly/狐狸和山羊.swf", "hzhsy.ylq"},
    {0, 7, "狐狸和乌鸦", 1, "/erly/狐狸和乌鸦.swf", "hlhwy.ylq"},
    {0, 8, "骄傲的大公鸡", 1, "/erly/骄傲的大公鸡.swf", "jaddgj.ylq"},
    {0, 9, "口渴的蚂蚁", 1, "/erly/口渴的蚂蚁.swf", "kkdmy.ylq"},
    {0, 10, "狼来了", 1, "/erly/狼来了.swf", "lll.ylq"},
    {0, 11, "烂布片", 2, "/ambervale-com/2010122/201012211560954.swf", "lbp.ylq"},
    {0, 12, "土里的小矮人", 2, "/ambervale-com/2010122/2010122115930482.swf", "tldxar.ylq"},
    {0, 13, "豌豆公主", 2, "/ambervale-com/2010122/201012212026625.swf", "wdgz.ylq"},
    {0, 14, "西瓜王子", 2, "/ambervale-com/2010122/20101221226453.swf", "xgwz.ylq"},
    {0, 15, "三根羽毛", 2, "/ambervale-com/2010122/201012212616182.swf", "sgym.ylq"},
    {1, 0, "田鼠太太项链1", 1, "/erly/田鼠太太的项链1.swf", "tstt1.ylq"},
    {1, 1, "田鼠太太项链2", 1, "/erly/田鼠太太的项链2.swf", "tstt2.ylq"},
    {1, 2, "田鼠太太项链3", 1, "/erly/田鼠太太的项链3.swf", "tstt3.ylq"},
    {1, 3, "田鼠太太项链4", 1, "/erly/田鼠太太的项链4.swf", "tstt4.ylq"},
    {1, 4, "田鼠太太项链5", 1, "/erly/田鼠太太的项链5.swf", "tstt5.ylq"},
    {1, 5, "白雪公主1", 1, "/erly/白雪公主的故事1.swf", "bxgz1.ylq"},
    {1, 6, "白雪公主2", 1, "/erly/白雪公主的故事2.swf", "bxgz2.ylq"},
    {1, 7, "白雪公主3", 1, "/erly/白雪公主的故事3.swf", "bxgz3.ylq"},
    {1, 8, "龟兔赛跑", 1, "/erly/龟兔赛跑.swf", "gtsp.ylq"},
    {1, 9, "丑小鸭", 1, "/erly/丑小鸭.swf", "cxy.ylq"},
    {2, 0, "填色1", 1, "/erly/填色1.swf", "ts1.ylq"},
    {2, 1, "填色2", 1, "/erly/填色2.swf", "ts2.ylq"},
    {2, 2, "填色3", 1, "/erly/填色3.swf", "ts3.ylq"},
    {2, 3, "填色4", 1, "/erly/填色4.swf", "ts4.ylq"},
    {2, 4, "填色5", 1, "/erly/填色5.swf", "ts5.ylq"},
    {2, 5, "填色6", 1, "/erly/填色6.swf", "ts6.ylq"},
};

constexpr const char* kGroupHeaders[] = {"儿童故事", "童话故事", "益智游戏", "我要留言"};

}  // namespace

std::span<const LessonRow> LessonCatalogue() { return kCatalogue; }

std::span<const char* const> LessonGroupHeaders() { return kGroupHeaders; }

std::optional<LessonEntry> Lookup(int group, int item) {
    for (const LessonRow& row : kCatalogue) {
        if (row.group == group && row.item == item)
            return LessonEntry{row.group, row.item, FromUtf8(row.title), row.server, FromUtf8(row.path),
                               Text(row.cacheName), std::nullopt, std::nullopt};
    }
    return std::nullopt;
}

Catalogue BuiltInCatalogue() {
    Catalogue catalogue;
    for (int g = 0; g < kGuestbookGroup; ++g) catalogue.groups.push_back(FromUtf8(kGroupHeaders[g]));
    for (const LessonRow& row : kCatalogue) catalogue.lessons.push_back(*Lookup(row.group, row.item));
    return catalogue;
}

const LessonEntry* FindLesson(const Catalogue& catalogue, int group, int item) {
    for (const LessonEntry& lesson : catalogue.lessons)
        if (lesson.group == group && lesson.item == item) return &lesson;
    return nullptr;
}

std::vector<LessonMenuGroup> LessonMenu(const Catalogue& catalogue) {
    std::vector<LessonMenuGroup> menu;
    for (const Text& header : catalogue.groups) menu.push_back({header, {}});
    for (const LessonEntry& lesson : catalogue.lessons)
        if (lesson.group >= 0 && static_cast<std::size_t>(lesson.group) < menu.size())
            menu[static_cast<std::size_t>(lesson.group)].items.push_back(lesson.title);
    const Text guestbook = FromUtf8(kGroupHeaders[kGuestbookGroup]);
    menu.push_back({guestbook, {guestbook}});
    return menu;
}

Text RemoteAddress(const LessonEntry& entry, const Hosts& hosts) {
    return HostOrigin(hosts.Lesson(entry.server)) + entry.path;
}

std::vector<Text> MirrorAddresses(const Catalogue& catalogue, const LessonEntry& entry) {
    std::vector<Text> addresses;
    if (entry.server == 1 || entry.server == 2)
        for (const Text& mirror : catalogue.mirrors[static_cast<std::size_t>(entry.server - 1)])
            addresses.push_back(mirror + entry.path);
    return addresses;
}

Text SitePageAddress(const Text& siteBaseUrl, int pageIndex) {
    static constexpr const char* kPages[] = {"hybb.html", "txbb.html", "bbgcs.html", "mft.html"};
    if (pageIndex < 1 || pageIndex > 4) return {};
    return siteBaseUrl + kPages[pageIndex - 1];
}

}  // namespace pw

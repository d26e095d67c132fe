#include "lessons/update_check.h"

#include <algorithm>
#include <cctype>

#include "lessons/catalogue_file.h"

namespace pw {
namespace {

bool IsControlByte(unsigned char b) { return b < 0x20 || b == 0x7F; }

// A trail byte that GBK allows after a lead byte. Anything else would let a converter
// resynchronise on the trail byte and read it as a character of its own.
bool IsGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

}  // namespace

Text ExtractBetween(std::string_view text, std::string_view open, std::string_view close) {
    const std::size_t opened = FindText(text, open);
    if (opened == std::string_view::npos) return {};
    // The rest is searched as a text of its own, from its first byte.
    const std::string_view rest = text.substr(opened + open.size());
    const std::size_t closed = FindText(rest, close);
    if (closed == std::string_view::npos) return {};
    return Text(rest.substr(0, closed));
}

UpdateAnnouncement ParseUpdatePage(std::string_view body) {
    const std::string_view text = body.substr(0, body.find('\0'));
    const Text block = ExtractBetween(text, Gbk<"////开始">(), Gbk<"////结束">());

    UpdateAnnouncement announcement;
    announcement.newest = ExtractBetween(block, Gbk<"最新版=">(), "</p>");
    announcement.downloadUrl = ExtractBetween(block, Gbk<"下载地址=">(), "</p>");
    announcement.fileName = ExtractBetween(block, Gbk<"文件命名=">(), "</p>");
    announcement.way = ExtractBetween(block, Gbk<"下载方式=">(), "</p>");
    const Text notes = ExtractBetween(block, Gbk<"更新说明=">(), Gbk<"更新说明结束</p>">());
    announcement.notes = ReplaceAll(ReplaceAll(notes, "<p>", ""), "</p>", "");
    return announcement;
}

bool IsNewerVersion(const Text& announced, const Text& current) {
    return NumberFromText(announced) - NumberFromText(current) > 0.0000001;
}

Text UpdatePrompt(const Text& currentVersion, const Text& newest, const Text& notes) {
    return Gbk<"当前版本：">() + currentVersion + Gbk<"\r\n最新版本：">() + newest + Gbk<"\r\n更新内容：\r\n">() +
           notes;
}

bool IsBareFileName(const Text& name) {
    if (name.empty()) return false;
    bool onlyDots = true;
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (IsGbkLeadByte(b)) {
            // 0x80 and 0xFF lead no GBK character; a lead byte at the end is a cut one.
            if (b == 0x80 || b == 0xFF || i + 1 >= name.size()) return false;
            if (!IsGbkTrailByte(static_cast<unsigned char>(name[i + 1]))) return false;
            onlyDots = false;
            i += 2;  // a trail byte 0x5C is part of the character, not a backslash
            continue;
        }
        if (IsControlByte(b) || b == '/' || b == '\\' || b == ':') return false;
        if (b != '.') onlyDots = false;
        ++i;
    }
    return !onlyDots;
}

bool IsKeptFileName(const Text& name) {
    // Compared in lower case: a folder on a stick or a shared disk may not tell case.
    Text lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    const auto ends = [&](std::string_view tail) { return lower.ends_with(tail); };
    return lower.starts_with(kCatalogueFileName) || lower.starts_with("pebblewick.db") ||
           lower.find(".part") != Text::npos || ends(".ylq") || ends(".meta") || lower == "pictures" ||
           lower == kIdleMovieName;
}

bool IsWebAddress(const Text& url) {
    std::size_t schemeLength = 0;
    if (StartsWithNoCase(url, "http://")) schemeLength = 7;
    else if (StartsWithNoCase(url, "https://")) schemeLength = 8;
    else return false;
    if (url.size() == schemeLength || url[schemeLength] == '/') return false;  // no host
    for (char c : url)
        if (IsControlByte(static_cast<unsigned char>(c))) return false;
    return true;
}

void UpdateCheck(ProgramState& globals, std::string_view pageBody, const UpdatePlatform& platform) {
    const UpdateAnnouncement announcement = ParseUpdatePage(pageBody);
    if (!IsNewerVersion(announcement.newest, globals.CurrentVersion)) return;

    // Set before the question, and kept after a No, as the lesson download expects.
    globals.CurrentUrl = announcement.downloadUrl;
    globals.CurrentFileName = announcement.fileName;

    const Text prompt = UpdatePrompt(globals.CurrentVersion, announcement.newest, announcement.notes);
    if (!AskYesNo(platform.messages, prompt, UpdatePromptCaption())) return;

    if (announcement.way == WayOpenWebPage()) {
        // The browser gets web addresses only, never a local file or another program.
        if (IsWebAddress(globals.CurrentUrl)) {
            if (platform.openInBrowser) platform.openInBrowser(globals.CurrentUrl);
        } else {
            ShowMessage(platform.messages, msg::CannotOpenUrl());
        }
    } else if (announcement.way == WayDownloadFile()) {
        // The download writes into the program's folder: a name with a directory part
        // could write anywhere, and one the program keeps would replace what it trusts.
        if (IsBareFileName(globals.CurrentFileName) && !IsKeptFileName(globals.CurrentFileName)) {
            if (platform.startDownloadWorker) platform.startDownloadWorker();
        } else {
            ShowMessage(platform.messages, msg::CannotOpenLocalFile());
        }
    }
}

}  // namespace pw

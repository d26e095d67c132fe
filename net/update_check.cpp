#include "net/update_check.h"

#include "core/hosts.h"
#include "core/program_state.h"

namespace pw {
namespace {

// The page's literals, as GBK bytes.
struct PageLiterals {
    Text blockOpen = FromUtf8("////开始");
    Text blockClose = FromUtf8("////结束");
    Text newestKey = FromUtf8("最新版=");
    Text urlKey = FromUtf8("下载地址=");
    Text fileNameKey = FromUtf8("文件命名=");
    Text wayKey = FromUtf8("下载方式=");
    Text notesKey = FromUtf8("更新说明=");
    Text valueEnd = "</p>";
    Text notesEnd = FromUtf8("更新说明结束</p>");
    Text paragraphOpen = "<p>";
    Text paragraphClose = "</p>";
};

const PageLiterals& Page() {
    static const PageLiterals literals;
    return literals;
}

bool IsControlByte(unsigned char b) { return b < 0x20 || b == 0x7F; }

// A trail byte that GBK allows after a lead byte. Anything else would let a converter
// resynchronise on the trail byte and read it as a character of its own.
bool IsGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

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
    const PageLiterals& page = Page();
    const std::string_view text = body.substr(0, body.find('\0'));
    const Text block = ExtractBetween(text, page.blockOpen, page.blockClose);

    UpdateAnnouncement announcement;
    announcement.newest = ExtractBetween(block, page.newestKey, page.valueEnd);
    announcement.downloadUrl = ExtractBetween(block, page.urlKey, page.valueEnd);
    announcement.fileName = ExtractBetween(block, page.fileNameKey, page.valueEnd);
    announcement.way = ExtractBetween(block, page.wayKey, page.valueEnd);
    const Text notes = ExtractBetween(block, page.notesKey, page.notesEnd);
    announcement.notes = ReplaceAll(ReplaceAll(notes, page.paragraphOpen, ""), page.paragraphClose, "");
    return announcement;
}

bool IsNewerVersion(const Text& announced, const Text& current) {
    return NumberFromText(announced) - NumberFromText(current) > 0.0000001;
}

Text UpdatePrompt(const Text& currentVersion, const Text& newest, const Text& notes) {
    static const Text currentLabel = FromUtf8("当前版本：");
    static const Text newestLabel = FromUtf8("\r\n最新版本：");
    static const Text notesLabel = FromUtf8("\r\n更新内容：\r\n");
    return currentLabel + currentVersion + newestLabel + newest + notesLabel + notes;
}

const Text& UpdatePromptCaption() {
    static const Text caption = FromUtf8("是否下载最新版？");
    return caption;
}

const Text& WayOpenWebPage() {
    static const Text way = FromUtf8("打开网页");
    return way;
}

const Text& WayDownloadFile() {
    static const Text way = FromUtf8("下载文件");
    return way;
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

void UpdateCheck(const UpdatePlatform& platform) {
    ProgramState& globals = Globals();

    // Let the window finish what is already queued before the request blocks it.
    if (platform.dispatchQueuedMessages) platform.dispatchQueuedMessages();

    const Text body = platform.fetchPage ? platform.fetchPage(SiteBaseUrl() + "test.html") : Text();
    const UpdateAnnouncement announcement = ParseUpdatePage(body);
    if (!IsNewerVersion(announcement.newest, globals.CurrentVersion)) return;

    // Set before the question, and kept after a No, as the lesson download expects.
    globals.CurrentUrl = announcement.downloadUrl;
    globals.CurrentFileName = announcement.fileName;

    const Text prompt = UpdatePrompt(globals.CurrentVersion, announcement.newest, announcement.notes);
    if (!platform.askYesNo || !platform.askYesNo(prompt, UpdatePromptCaption())) return;

    if (announcement.way == WayOpenWebPage()) {
        // The browser gets web addresses only, never a local file or another program.
        if (IsWebAddress(globals.CurrentUrl)) {
            if (platform.openInBrowser) platform.openInBrowser(globals.CurrentUrl);
        } else {
            ShowMessage(msg::CannotOpenUrl());
        }
    } else if (announcement.way == WayDownloadFile()) {
        // The download writes into the program directory: a name with a directory part
        // could write anywhere.
        if (IsBareFileName(globals.CurrentFileName)) {
            if (platform.startDownloadWorker) platform.startDownloadWorker();
        } else {
            ShowMessage(msg::CannotOpenLocalFile());
        }
    }
}

}  // namespace pw

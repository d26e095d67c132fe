#pragma once

#include <functional>
#include <string_view>

#include "core/message.h"
#include "core/text.h"
#include "lessons/program_state.h"

namespace pw {

// The text between the first `open` and the first `close` that follows it; empty when
// either is missing. Positions count bytes; matches never begin on the second byte of a
// double-byte character.
Text ExtractBetween(std::string_view text, std::string_view open, std::string_view close);

// What the update page announces. Each value is empty when its key is missing.
struct UpdateAnnouncement {
    Text newest;       // "最新版="
    Text downloadUrl;  // "下载地址="
    Text fileName;     // "文件命名="
    Text way;          // "下载方式=": "打开网页" or "下载文件"
    Text notes;        // "更新说明=", with "<p>" and "</p>" removed
};

// Reads the announcement from the raw body of the update page: the body up to its
// first zero byte, the block between "////开始" and "////结束", the keys inside it.
UpdateAnnouncement ParseUpdatePage(std::string_view body);

// True when `announced` is higher than `current` by more than 1e-7.
bool IsNewerVersion(const Text& announced, const Text& current);

// The text of the update question, in GBK.
Text UpdatePrompt(const Text& currentVersion, const Text& newest, const Text& notes);

// The caption of the update question.
inline const Text& UpdatePromptCaption() { return Gbk<"是否下载最新版？">(); }

// The two ways the page can name.
inline const Text& WayOpenWebPage() { return Gbk<"打开网页">(); }
inline const Text& WayDownloadFile() { return Gbk<"下载文件">(); }

// True for a name that can only mean a file in the program directory: not empty, no
// directory part, drive or stream (no "/", "\\" or ":" outside double-byte characters),
// not made of dots alone, no control characters, well-formed GBK.
bool IsBareFileName(const Text& name);

// True for a name the program keeps files under in its folder, in any case: the catalogue
// and its signature ("lessons.json*"), lessons ("*.ylq"), parts and their validators
// ("*.part*", "*.meta"), the store ("pebblewick.db*"), the pictures' folder and the idle
// movie. An update saved under one of them would replace what the program trusts.
bool IsKeptFileName(const Text& name);

// True for an http:// or https:// address (scheme in any case) with something after
// the scheme and no control characters.
bool IsWebAddress(const Text& url);

// What the update check needs from the platform.
struct UpdatePlatform {
    MessagePort& messages;  // the question, and what is refused
    std::function<void(const Text& url)> openInBrowser;
    // Starts the DownloadWorker on CurrentUrl and CurrentFileName; does not wait for it.
    std::function<void()> startDownloadWorker;
};

// The update check once the page's body is in: when it announces a newer version than
// `globals.CurrentVersion`, sets CurrentUrl and CurrentFileName to the update's address
// and file name, asks the user and follows the announced way. UI thread.
void UpdateCheck(ProgramState& globals, std::string_view pageBody, const UpdatePlatform& platform);

}  // namespace pw

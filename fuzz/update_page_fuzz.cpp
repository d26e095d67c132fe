// libFuzzer target: arbitrary bytes as the update page, and as a text with two markers
// for ExtractBetween. Besides the sanitizers it checks what the callers rely on: a value
// is the bytes between its markers, a name the download accepts stays inside the
// program directory, the browser only ever gets a web address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/message.h"
#include "lessons/program_state.h"
#include "lessons/update_check.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// Answers every question Yes and every message OK, silently.
class YesPort final : public pw::MessagePort {
public:
    pw::MessageAnswer Ask(const pw::MessageRequest& request) override {
        return request.buttons == pw::MessageButtons::YesNo ? pw::MessageAnswer::Yes : pw::MessageAnswer::Ok;
    }
};

void FuzzExtractBetween(std::string_view input) {
    if (input.size() < 2) return;
    // Two length bytes, then the open marker, the close marker and the text.
    const std::size_t openLength = static_cast<unsigned char>(input[0]) % 17;
    const std::size_t closeLength = static_cast<unsigned char>(input[1]) % 17;
    input.remove_prefix(2);
    if (input.size() < openLength + closeLength) return;
    const std::string_view open = input.substr(0, openLength);
    const std::string_view close = input.substr(openLength, closeLength);
    const std::string_view text = input.substr(openLength + closeLength);

    const pw::Text value = pw::ExtractBetween(text, open, close);
    const std::size_t opened = pw::FindText(text, open);
    if (opened == std::string_view::npos) {
        Require(value.empty());
        return;
    }
    const std::string_view rest = text.substr(opened + open.size());
    Require(value.size() <= rest.size());
    Require(rest.substr(0, value.size()) == value);
    if (!value.empty()) Require(rest.substr(value.size(), close.size()) == close);
}

// A name the download accepts must not leave the program directory once it has been
// made the file system's UTF-8.
void CheckBareName(const pw::Text& name) {
    if (!pw::IsBareFileName(name)) return;
    const std::string onDisk = pw::ToUtf8(name);
    Require(!onDisk.empty());
    Require(onDisk.find('/') == std::string::npos);
    Require(onDisk.find('\0') == std::string::npos);
    Require(onDisk != "." && onDisk != "..");
}

void FuzzUpdatePage(std::string_view body) {
    const pw::UpdateAnnouncement announcement = pw::ParseUpdatePage(body);
    Require(announcement.newest.size() <= body.size());
    const pw::Text prompt = pw::UpdatePrompt("2.0", announcement.newest, announcement.notes);
    Require(prompt.size() == pw::UpdatePrompt("2.0", "", "").size() + announcement.newest.size() +
                                 announcement.notes.size());
    (void)pw::IsNewerVersion(announcement.newest, "2.0");
    CheckBareName(announcement.fileName);
    CheckBareName(pw::Text(body));

    // The whole check, answered Yes, on this page.
    pw::ProgramState globals;
    globals.CurrentVersion = "2.0";
    YesPort messages;
    const pw::UpdatePlatform platform{messages, [](const pw::Text& url) { Require(pw::IsWebAddress(url)); },
                                      [&globals] {
                                          Require(pw::IsBareFileName(globals.CurrentFileName));
                                          CheckBareName(globals.CurrentFileName);
                                      }};
    pw::UpdateCheck(globals, body, platform);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    FuzzExtractBetween(input);
    FuzzUpdatePage(input);
    return 0;
}

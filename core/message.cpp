#include "core/message.h"

namespace pw {

void ShowMessage(MessagePort& port, const Text& text, const Text& caption) {
    port.Ask({text, caption, MessageButtons::Ok, {}, {}});
}

bool AskYesNo(MessagePort& port, const Text& text, const Text& caption) {
    return port.Ask({text, caption, MessageButtons::YesNo, {}, {}}) == MessageAnswer::Yes;
}

bool AskToConfirm(MessagePort& port, const Text& text, const Text& yes, const Text& no) {
    return port.Ask({text, InfoCaption(), MessageButtons::YesNo, yes, no}) == MessageAnswer::Yes;
}

}  // namespace pw

#include "core/message.h"

namespace pw {

void ShowMessage(MessagePort& port, const Text& text, const Text& caption) {
    port.Ask({text, caption, MessageButtons::Ok});
}

bool AskYesNo(MessagePort& port, const Text& text, const Text& caption) {
    return port.Ask({text, caption, MessageButtons::YesNo}) == MessageAnswer::Yes;
}

}  // namespace pw

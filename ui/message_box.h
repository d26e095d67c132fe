#pragma once

#include "core/message.h"

namespace pw {

// The program's message boxes: application-modal, no parent, one OK button (or Yes and
// No, Yes the default; named ones, No the default), no icon. UI thread only.
class MessageBoxes final : public MessagePort {
public:
    MessageAnswer Ask(const MessageRequest& request) override;
};

}  // namespace pw

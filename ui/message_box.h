#pragma once

#include "core/message.h"

namespace pw {

// Installs the message handler that shows real message boxes: application-modal, no
// parent, one OK button (or Yes and No, Yes the default), no icon. From a worker thread
// the box is shown on the UI thread and the worker waits for the answer.
void InstallMessageBoxHandler();

// Called when the program is closing: a worker still waiting for an answer gets the
// default one at once instead of holding up the shutdown.
void ReleaseWaitingMessages();


}  // namespace pw

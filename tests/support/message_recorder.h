#pragma once

#include <mutex>
#include <vector>

#include "core/message.h"

namespace pw::testing {

// A message port that records every message instead of showing it. Yes/No questions are
// answered with `answer`. Callable from any thread.
class MessageRecorder final : public MessagePort {
public:
    explicit MessageRecorder(MessageAnswer answer = MessageAnswer::Yes) : answer_(answer) {}

    MessageAnswer Ask(const MessageRequest& request) override {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        return request.buttons == MessageButtons::YesNo ? answer_ : MessageAnswer::Ok;
    }

    std::vector<MessageRequest> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // The texts shown so far, in order.
    std::vector<Text> Texts() const {
        std::lock_guard lock(mutex_);
        std::vector<Text> texts;
        for (const auto& r : requests_) texts.push_back(r.text);
        return texts;
    }

private:
    mutable std::mutex mutex_;
    std::vector<MessageRequest> requests_;
    MessageAnswer answer_;
};

}  // namespace pw::testing

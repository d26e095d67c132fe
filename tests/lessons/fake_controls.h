#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "core/main_window_controls.h"

namespace pw::testing {

// The main window's controls without a window: keeps their state and a log of the
// writes, from any thread.
class FakeControls final : public MainWindowControls {
public:
    void SetVisible(Control control, bool visible) override {
        std::lock_guard lock(mutex_);
        visible_[static_cast<std::size_t>(control)] = visible;
        log_.push_back(std::string(visible ? "show " : "hide ") + Name(control));
    }
    bool IsVisible(Control control) const override {
        std::lock_guard lock(mutex_);
        return visible_[static_cast<std::size_t>(control)];
    }
    void SetStatusCaption(const Text& caption) override {
        std::lock_guard lock(mutex_);
        caption_ = caption;
        captions_.push_back(caption);
    }
    Text StatusCaption() const override {
        std::lock_guard lock(mutex_);
        return caption_;
    }
    void SetProgressPosition(std::int32_t position) override {
        std::lock_guard lock(mutex_);
        position_ = StoredProgressPosition(position);
        positions_.push_back(position_);
    }
    std::int32_t ProgressPosition() const override {
        std::lock_guard lock(mutex_);
        return position_;
    }
    void SetFlashMovie(const Text& path) override {
        std::lock_guard lock(mutex_);
        movie_ = path;
        log_.push_back("movie " + path);
    }
    void PlayFlash() override {
        std::lock_guard lock(mutex_);
        log_.push_back("play");
    }
    void SetWebAddress(const Text& url) override {
        std::lock_guard lock(mutex_);
        address_ = url;
        log_.push_back("address " + url);
    }

    std::vector<std::string> Log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<Text> Captions() const {
        std::lock_guard lock(mutex_);
        return captions_;
    }
    std::vector<std::int32_t> Positions() const {
        std::lock_guard lock(mutex_);
        return positions_;
    }
    Text Movie() const {
        std::lock_guard lock(mutex_);
        return movie_;
    }
    Text Address() const {
        std::lock_guard lock(mutex_);
        return address_;
    }
    // Which of the three views the content area shows: "web", "lesson", "downloading".
    std::string View() const {
        std::lock_guard lock(mutex_);
        const bool flash = visible_[0], web = visible_[1], label = visible_[2], bar = visible_[3];
        if (flash && !web && !label && !bar) return "lesson";
        if (web && !flash && !label && !bar) return "web";
        if (label && bar && !flash && !web) return "downloading";
        return "mixed";
    }

private:
    static const char* Name(Control c) {
        switch (c) {
        case Control::FlashView: return "flash";
        case Control::WebView: return "web";
        case Control::StatusLabel: return "label";
        case Control::ProgressBar: return "bar";
        }
        return "?";
    }

    mutable std::mutex mutex_;
    std::array<bool, 4> visible_{true, true, true, true};
    Text caption_;
    std::int32_t position_ = 0;
    Text movie_;
    Text address_;
    std::vector<std::string> log_;
    std::vector<Text> captions_;
    std::vector<std::int32_t> positions_;
};

}  // namespace pw::testing

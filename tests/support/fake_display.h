#pragma once

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lessons/display.h"

namespace pw::testing {

// The main window's content area without a window: keeps the four controls' visibility,
// the caption, the bar, and a log of every write. UI thread only, like the real one.
class FakeDisplay final : public Display {
public:
    void ShowView(ContentView view) override {
        switch (view) {
        case ContentView::WebPage:
            flash_ = false;
            web_ = true;
            log_.push_back("view web");
            break;
        case ContentView::Lesson:
            flash_ = true;
            web_ = label_ = bar_ = false;
            log_.push_back("view lesson");
            break;
        case ContentView::Downloading:
            label_ = bar_ = true;
            flash_ = web_ = false;
            log_.push_back("view downloading");
            break;
        }
    }
    void HideDownloadDisplay() override {
        label_ = bar_ = false;
        log_.push_back("hide download display");
    }
    void SetStatusCaption(const Text& caption) override {
        caption_ = caption;
        captions_.push_back(caption);
    }
    void SetProgressPosition(std::int32_t position) override {
        position_ = StoredProgressPosition(position);
        positions_.push_back(position_);
    }
    void SetFlashMovie(const Text& path) override {
        movie_ = path;
        log_.push_back("movie " + path);
    }
    void PlayFlash() override { log_.push_back("play"); }
    void SetWebAddress(const Text& url) override {
        address_ = url;
        log_.push_back("address " + url);
    }

    void SetLessonReady(int group, int item, bool ready) override {
        ready_[{group, item}] = ready;
        log_.push_back("ready " + std::to_string(group) + " " + std::to_string(item) + " " + (ready ? "yes" : "no"));
    }

    void SetUpdateFigures(const Text& line) override {
        updateFigures_ = line;
        log_.push_back(line.empty() ? "no update figures" : "update figures");
    }

    const std::vector<std::string>& Log() const { return log_; }
    // The lessons marked whole on disk, as (group, item).
    std::set<std::pair<int, int>> ReadyLessons() const {
        std::set<std::pair<int, int>> ready;
        for (const auto& [lesson, isReady] : ready_)
            if (isReady) ready.insert(lesson);
        return ready;
    }
    const std::vector<Text>& Captions() const { return captions_; }
    const std::vector<std::int32_t>& Positions() const { return positions_; }
    const Text& Caption() const { return caption_; }
    std::int32_t Position() const { return position_; }
    const Text& Movie() const { return movie_; }
    const Text& Address() const { return address_; }
    const Text& UpdateFigures() const { return updateFigures_; }
    bool DownloadDisplayShown() const { return label_ && bar_; }

    // Which of the views the content area shows: "web", "web+download" (a download's
    // display over the page), "lesson", "downloading", or "mixed".
    std::string View() const {
        if (flash_ && !web_ && !label_ && !bar_) return "lesson";
        if (web_ && !flash_ && !label_ && !bar_) return "web";
        if (web_ && !flash_ && label_ && bar_) return "web+download";
        if (label_ && bar_ && !flash_ && !web_) return "downloading";
        return "mixed";
    }

private:
    bool flash_ = true, web_ = true, label_ = true, bar_ = true;  // all visible at creation
    Text caption_;
    std::int32_t position_ = 0;
    Text movie_;
    Text address_;
    Text updateFigures_;
    std::vector<std::string> log_;
    std::vector<Text> captions_;
    std::vector<std::int32_t> positions_;
    std::map<std::pair<int, int>, bool> ready_;
};

}  // namespace pw::testing

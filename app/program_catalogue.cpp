// The program's lessons from the site's signed catalogue: the one kept from an earlier run
// is verified before the window shows; a newer one is fetched on a worker after it shows
// and replaces the menu's lessons, their marks, and what download-all has still to fetch.
#include "app/program.h"

#include <unordered_map>

#include "lessons/lesson_folder.h"
#include "lessons/site_catalogue.h"

namespace pw {

void Program::StartCatalogueFetch() {
    if (catalogueKey_.empty()) return;
    const FetchTimeouts timeouts{timeouts_.downloadConnect, timeouts_.downloadStall};
    catalogueFetch_.Start([this, base = hosts_.SiteBaseUrl(), folder = dataDirectory_, key = catalogueKey_,
                           kept = catalogue_.serial, timeouts](std::stop_token stop) {
        auto catalogue = FetchSiteCatalogue(base, folder, key, kept, timeouts, stop, store_.get());
        if (catalogue && !stop.stop_requested())
            PostToUiThread([this, catalogue = std::move(*catalogue)] { OnCatalogueFetched(catalogue); });
        if (!stop.stop_requested()) PostToUiThread([this] { StartPictureFetch(); });
    });
}

void Program::OnCatalogueFetched(Catalogue catalogue) {
    if (ended_) return;
    // A lesson is the same lesson when its cache file is: it keeps its mark while its file
    // is judged as before (the same size and hash, or none).
    std::unordered_map<Text, std::size_t> former;
    for (std::size_t i = 0; i < catalogue_.lessons.size(); ++i) former[catalogue_.lessons[i].cacheName] = i;
    std::vector<std::optional<std::size_t>> renumbered(catalogue_.lessons.size());
    std::vector<bool> ready(catalogue.lessons.size(), false);
    for (std::size_t i = 0; i < catalogue.lessons.size(); ++i) {
        const auto was = former.find(catalogue.lessons[i].cacheName);
        if (was == former.end()) continue;
        renumbered[was->second] = i;
        ready[i] = lessonReady_[was->second] && catalogue_.lessons[was->second].digest == catalogue.lessons[i].digest;
    }

    // Download all goes on with the lessons it listed that are still offered.
    DownloadAll& all = downloadAll_;
    auto renumber = [&renumbered](auto& lessons) {
        std::erase_if(lessons, [&](std::size_t lesson) { return !renumbered[lesson]; });
        for (std::size_t& lesson : lessons) lesson = *renumbered[lesson];
    };
    renumber(all.lessons);
    renumber(all.pending);
    if (all.current && !renumbered[*all.current]) {
        // Its lesson is no longer offered: it stops, and the next one comes.
        if (currentDownloadJob_ == all.job) {
            downloads_.SupersedeCurrent();
            currentDownloadJob_ = 0;
        }
        all.current.reset();
        --all.number;
    } else if (all.current) {
        all.current = *renumbered[*all.current];
    }

    catalogue_ = std::move(catalogue);
    lessonReady_ = std::move(ready);
    fileChecks_.clear();  // answers about the former lessons are dropped when they come
    display_->SetLessonMenu(LessonMenu(catalogue_));
    for (std::size_t lesson = 0; lesson < lessonReady_.size(); ++lesson)
        if (lessonReady_[lesson]) MarkLesson(lesson, true);
    // Every file is judged again by the new catalogue's rule; a hash known already costs
    // nothing.
    for (std::size_t lesson = 0; lesson < lessonReady_.size(); ++lesson) CheckLessonFile(lesson);
}

void Program::CarryLessons(bool importing, const Text& folder, FolderProgress progress,
                           std::function<void(const Text& summary)> done) {
    folderWork_.Start([=, this](std::stop_token stop) {
        const FolderProgress tell = [&](const FolderStep& step) {
            if (progress) PostToUiThread([progress, step] { progress(step); });
        };
        const FolderOutcome outcome = importing
                                          ? ImportLessons(folder, dataDirectory_, catalogueKey_, store_.get(), tell, stop)
                                          : ExportLessons(dataDirectory_, folder, catalogueKey_, tell, stop);
        if (stop.stop_requested()) return;
        PostToUiThread([this, importing, done, summary = outcome.summary] {
            if (importing && !ended_) OnLessonsImported();
            if (done) done(summary);
        });
    });
}

void Program::OnLessonsImported() {
    // A newer catalogue came with the files: it takes the menu, as one fetched would.
    if (auto kept = ReadKeptCatalogue(dataDirectory_, catalogueKey_, store_.get()); kept && kept->serial != catalogue_.serial) {
        OnCatalogueFetched(std::move(*kept));
        return;
    }
    for (std::size_t lesson = 0; lesson < catalogue_.lessons.size(); ++lesson) CheckLessonFile(lesson);
}

const LessonEntry* Program::LessonByCacheFile(const Text& fileName) const {
    for (const LessonEntry& lesson : catalogue_.lessons)
        if (lesson.cacheName == fileName) return &lesson;
    return nullptr;
}

std::function<bool(const Text&, const SwfByteSource&)> Program::WholeLessonRule(const Text& fileName) {
    const LessonEntry* lesson = LessonByCacheFile(fileName);
    if (!lesson || !lesson->digest) return nullptr;
    return [this, digest = *lesson->digest](const Text& file, const SwfByteSource& arriving) {
        return hashes_.Matches(file, digest, arriving);
    };
}

}  // namespace pw

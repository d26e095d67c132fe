#pragma once

#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "lessons/catalogue.h"
#include "tests/support/fake_display.h"
#include "tests/support/fixture_server.h"
#include "tests/support/gui_test_support.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace pw::testing {

// Probe and page time-outs short enough that a test of a silent server ends soon, long
// enough that a loaded machine never runs into them on loopback; transfers keep theirs.
inline NetworkTimeouts ShortTimeouts(std::chrono::milliseconds total = std::chrono::seconds(3)) {
    NetworkTimeouts t;
    t.probe = {total, total};
    t.page = {total, total};
    return t;
}

// A Program on a fake display and a message recorder, its hosts all pointed at one
// fixture server and its data in a temporary folder.
class ProgramHarness {
public:
    // `lessonHost`, `siteHost` empty: the fixture server serves the lessons, the site.
    // `catalogueKey`: the key of the site's catalogue; empty: none is looked for.
    // `isWholeMovie`: the menu's check of a cache file, when not the program's own.
    explicit ProgramHarness(NetworkTimeouts timeouts = ShortTimeouts(), const std::string& lessonHost = {},
                            const std::string& siteHost = {}, const std::string& catalogueKey = {},
                            std::function<bool(const Text& path)> isWholeMovie = {})
        : timeouts_(timeouts), catalogueKey_(catalogueKey), isWholeMovie_(std::move(isWholeMovie)) {
        Restart(lessonHost, siteHost);
    }
    ~ProgramHarness() { program.reset(); }

    // The program ends, and starts again on the same data folder, with a fresh display;
    // empty hosts are the fixture server.
    void Restart(const std::string& lessonHost = {}, const std::string& siteHost = {}) {
        program.reset();
        display = {};
        const std::string host = siteHost.empty() ? server.HostPort() : siteHost;
        const std::string lessons = lessonHost.empty() ? server.HostPort() : lessonHost;
        ProgramSetup setup;
        setup.hosts = Hosts{host, lessons, lessons};
        setup.dataDirectory = dir.Path();
        setup.catalogueKey = catalogueKey_;
        setup.messages = &messages;
        setup.openInBrowser = [this](const Text& url) { browserOpened.push_back(url); };
        setup.openFolder = [this](const Text& folder) { foldersOpened.push_back(folder); };
        setup.timeouts = timeouts_;
        setup.isWholeMovie = isWholeMovie_;
        setup.storeFile = stateDir.File("pebblewick.db");
        program = std::make_unique<Program>(std::move(setup));
        program->AttachDisplay(display);
    }

    // Serves lesson (group, item) and returns its body.
    std::string ServeLesson(int group, int item, std::size_t size, FixtureResource resource = {}) {
        resource.body = FixtureServer::GeneratedBody(size);
        server.Serve(Lookup(group, item)->path, resource);
        return resource.body;
    }
    std::string CacheFile(int group, int item) const { return dir.File(Lookup(group, item)->cacheName); }

    // Processes events until every worker has ended and what they posted is applied.
    // A worker's last event may start the next worker (a probe starts the download), so
    // the program has settled only when the events of every ended worker were applied
    // and none started meanwhile.
    bool Settle(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return ProcessEventsUntil(
            [&] {
                const std::uint64_t started = program->WorkersStarted();
                // A file check counts until its answer is applied: that may start the next download.
                if (program->WorkersRunning() || program->FileChecksPending()) return false;
                QCoreApplication::processEvents();
                return !program->WorkersRunning() && !program->FileChecksPending() && program->WorkersStarted() == started;
            },
            limit);
    }
    template <class Predicate>
    bool Until(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return ProcessEventsUntil(done, limit);
    }

    FixtureServer server;
    TempDir dir;
    TempDir stateDir;  // the store's folder, apart from the data folder as the program's is
    FakeDisplay display;
    MessageRecorder messages;
    std::vector<Text> browserOpened;
    std::vector<Text> foldersOpened;
    std::unique_ptr<Program> program;

private:
    NetworkTimeouts timeouts_;
    std::string catalogueKey_;
    std::function<bool(const Text& path)> isWholeMovie_;
};

// True when `path` was handed to the player and played.
inline bool Played(const FakeDisplay& display, const std::string& path) {
    const auto& log = display.Log();
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        if (log[i] == "movie " + path && log[i + 1] == "play") return true;
    return false;
}

inline int CountRequests(const FixtureServer& server, const std::string& method) {
    int n = 0;
    for (const auto& r : server.Requests()) n += r.method == method;
    return n;
}

}  // namespace pw::testing

// The demo site on 127.0.0.1 until SIGINT or SIGTERM, or with --export written out as static
// files. See demo_site.h; --help for the options.
#include <csignal>
#include <cstdio>
#include <span>

#include "core/hosts.h"
#include "tools/demo_site/demo_site.h"

int main(int argc, char** argv) {
    const pw::demo::CommandLine commandLine =
        pw::demo::ParseCommandLine(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
    if (commandLine.helpRequested) {
        std::fputs(pw::demo::Usage(), stdout);
        return 0;
    }
    if (!commandLine.options) {
        std::fprintf(stderr, "%s\n%s", commandLine.error.c_str(), pw::demo::Usage());
        return 2;
    }

    if (commandLine.exportTo) {
        const std::string problem = pw::demo::ExportSite(*commandLine.options, *commandLine.exportTo);
        if (!problem.empty()) {
            std::fprintf(stderr, "pebblewick_demo_site: %s\n", problem.c_str());
            return 1;
        }
        std::printf("Pebblewick site exported to %s, for %s/tovel/\n", commandLine.exportTo->directory.c_str(),
                    pw::HostOrigin(commandLine.exportTo->siteHost).c_str());
        return 0;
    }

    // The signals are taken by sigwait below, so every thread the server starts must
    // have them blocked: they inherit this mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto site = pw::demo::DemoSite::Start(*commandLine.options);
    if (!site) {
        std::fprintf(stderr, "pebblewick_demo_site: cannot listen on 127.0.0.1:%d\n", commandLine.options->port);
        return 1;
    }
    std::printf("Pebblewick demo site on %s\n", site->BaseUrl().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    site->Stop();
    return 0;
}

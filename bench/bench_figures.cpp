#include "bench/bench_figures.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_set>

extern char** environ;

namespace pw::bench {

Summary Summarise(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

int CountArgument(int argc, char** argv, int at, int fallback, int least) {
    return argc > at ? std::max(least, std::atoi(argv[at])) : fallback;
}

void PairedRounds::Add(double a, double b) {
    a_.push_back(a);
    b_.push_back(b);
}

Summary PairedRounds::RatioSummary(bool ratioIsBOverA) const {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a_.size(); ++i) ratios.push_back(ratioIsBOverA ? b_[i] / a_[i] : a_[i] / b_[i]);
    return Summarise(ratios);
}

void PairedRounds::AddAlternating(int rounds, const std::function<double()>& a, const std::function<double()>& b) {
    for (int i = 0; i < rounds; ++i) {
        double first = 0, second = 0;
        if (i % 2 == 0) {
            first = a();
            second = b();
        } else {
            second = b();
            first = a();
        }
        Add(first, second);
    }
}

void PairedRounds::Print(const char* title, const char* nameA, const char* nameB, const char* unit,
                         const char* ratioLabel, bool ratioIsBOverA, const char* target) const {
    const Summary a = Summarise(a_);
    const Summary b = Summarise(b_);
    const Summary r = RatioSummary(ratioIsBOverA);
    std::printf("%s (%d rounds, alternating; load average %.2f)\n", title, Count(), LoadAverage());
    std::printf("  %-52s median %9.3f %s  (min %.3f, max %.3f)\n", nameA, a.median, unit, a.min, a.max);
    std::printf("  %-52s median %9.3f %s  (min %.3f, max %.3f)\n", nameB, b.median, unit, b.min, b.max);
    std::printf("  %-52s median %9.3f     (min %.3f, max %.3f)  target %s%s\n", ratioLabel, r.median, r.min, r.max,
                target, Verdict(r.median, target));
    std::fflush(stdout);
}

Summary PairedRounds::DifferenceSummary() const {
    std::vector<double> differences;
    for (std::size_t i = 0; i < a_.size(); ++i) differences.push_back(a_[i] - b_[i]);
    return Summarise(std::move(differences));
}

const char* Verdict(double value, const char* target) {
    double bound = 0;
    if (std::sscanf(target, "<= %lf", &bound) == 1) return value <= bound ? ": met" : ": NOT met";
    if (std::sscanf(target, ">= %lf", &bound) == 1) return value >= bound ? ": met" : ": NOT met";
    return "";
}

void PairedRounds::PrintEach(const char* label) const {
    std::printf("  %s", label);
    for (std::size_t i = 0; i < a_.size(); ++i) std::printf(" %.0f/%.0f", a_[i], b_[i]);
    std::printf("\n");
    std::fflush(stdout);
}

double LoadAverage() {
    std::ifstream in("/proc/loadavg");
    double load = -1;
    in >> load;
    return load;
}

std::vector<int> ProcessTree(int pid) {
    std::multimap<int, int> children;  // parent -> child
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            const int child = std::atoi(entry->d_name);
            if (child <= 0) continue;
            std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
            std::string line;
            if (!std::getline(stat, line)) continue;
            // pid (comm) state ppid ...: comm may hold spaces, so read after the last ')'.
            const auto close = line.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(line.substr(close + 1));
            char state = 0;
            int parent = 0;
            rest >> state >> parent;
            children.emplace(parent, child);
        }
        closedir(proc);
    }
    std::vector<int> tree{pid};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto [first, last] = children.equal_range(tree[i]);
        for (auto it = first; it != last; ++it) tree.push_back(it->second);
    }
    return tree;
}

namespace {

long long FieldKiB(const std::string& file, const char* key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
    return -1;
}

}  // namespace

long long StatusKiB(int pid, const char* key) { return FieldKiB("/proc/" + std::to_string(pid) + "/status", key); }

long long PssKiB(int pid) { return FieldKiB("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss:"); }

namespace {

struct Mapping {
    std::uint64_t start = 0, end = 0;
};

// The mappings of `pid` that hold resident pages, from /proc/PID/smaps.
std::vector<Mapping> ResidentMappings(int pid) {
    std::vector<Mapping> mappings;
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::string line;
    Mapping current;
    while (std::getline(in, line)) {
        if (line.rfind("Rss:", 0) == 0) {
            if (std::atoll(line.c_str() + 4) > 0) mappings.push_back(current);
            continue;
        }
        // A mapping's first line: "start-end perms ..." (field lines start with a name and ':').
        unsigned long long start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2 && line.find('-') < line.find(' '))
            current = {start, end};
    }
    return mappings;
}

}  // namespace

long long DistinctResidentKiB(const std::vector<int>& pids) {
    const auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    constexpr std::uint64_t kPresent = 1ULL << 63;
    constexpr std::uint64_t kFrameMask = (1ULL << 55) - 1;
    std::unordered_set<std::uint64_t> frames;
    frames.reserve(1 << 18);
    std::vector<std::uint64_t> entries(1 << 14);
    for (const int pid : pids) {
        const int pagemap = open(("/proc/" + std::to_string(pid) + "/pagemap").c_str(), O_RDONLY | O_CLOEXEC);
        if (pagemap < 0) continue;  // ended meanwhile
        bool hidden = false;
        for (const Mapping& mapping : ResidentMappings(pid)) {
            for (std::uint64_t page = mapping.start / pageSize; page < mapping.end / pageSize && !hidden;) {
                const std::size_t count = std::min<std::uint64_t>(entries.size(), mapping.end / pageSize - page);
                const ssize_t got = pread(pagemap, entries.data(), count * sizeof entries[0],
                                          static_cast<off_t>(page * sizeof entries[0]));
                if (got <= 0) break;
                const auto read = static_cast<std::size_t>(got) / sizeof entries[0];
                for (std::size_t i = 0; i < read; ++i) {
                    if (!(entries[i] & kPresent)) continue;
                    const std::uint64_t frame = entries[i] & kFrameMask;
                    if (frame == 0) hidden = true;  // not root: the kernel hides the frame numbers
                    frames.insert(frame);
                }
                page += read;
            }
        }
        close(pagemap);
        if (hidden) return -1;
    }
    return static_cast<long long>(frames.size() * pageSize / 1024);
}

TreeMemory MeasureTree(int pid) {
    TreeMemory memory;
    const std::vector<int> tree = ProcessTree(pid);
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const long long peak = StatusKiB(tree[i], "VmHWM:");
        const long long pss = PssKiB(tree[i]);
        if (peak < 0 || pss < 0) continue;  // ended meanwhile
        ++memory.processes;
        (i == 0 ? memory.ownPeakKiB : memory.childrenPeakKiB) += peak;
        memory.totalPssKiB += pss;
    }
    memory.footprintKiB = DistinctResidentKiB(tree);
    return memory;
}

double ToolSeconds(const std::vector<std::string>& arguments, const std::function<void()>& whileRunning) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    pid_t waited = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0)
        while ((waited = waitpid(pid, &status, whileRunning ? WNOHANG : 0)) == 0) whileRunning();
    if (waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CurlToolSeconds(const std::string& url, const std::string& file, const std::function<void()>& whileRunning) {
    std::remove(file.c_str());
    return ToolSeconds({"curl", "-s", "-o", file, url}, whileRunning);
}

}  // namespace pw::bench

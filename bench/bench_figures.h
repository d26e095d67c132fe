#pragma once

#include <functional>
#include <string>
#include <vector>

// Figures of the benchmarks: rounds of two ways measured alternately in one run, and the
// memory of a process with its descendants. No Qt here.
namespace pw::bench {

// The median, smallest and largest of a series.
struct Summary {
    double median = 0;
    double min = 0;
    double max = 0;
};
Summary Summarise(std::vector<double> values);

// Times of the measured way (A) and its baseline (B), one pair per round.
class PairedRounds {
public:
    void Add(double a, double b);
    // Runs `rounds` rounds of measuring A and B, turning the order every round (A first in
    // the even rounds), so a drift of the machine's load falls on both alike.
    void AddAlternating(int rounds, const std::function<double()>& a, const std::function<double()>& b);
    int Count() const { return static_cast<int>(a_.size()); }
    // Prints both ways' medians with their spread (min..max), and the median and spread of
    // the per-round ratios: A/B, or B/A when `ratioIsBOverA` (for times that stand for a
    // throughput: B/A is then A's throughput as a share of B's).
    void Print(const char* title, const char* nameA, const char* nameB, const char* unit, const char* ratioLabel,
               bool ratioIsBOverA, const char* target) const;
    Summary RatioSummary(bool ratioIsBOverA) const;
    // The per-round differences A - B.
    Summary DifferenceSummary() const;
    // Every round's pair "a/b", in the order measured, on one line after `label`.
    void PrintEach(const char* label) const;

private:
    std::vector<double> a_;
    std::vector<double> b_;
};

// ": met" or ": NOT met" when `target` reads "<= x" or ">= x" (as the benchmarks print
// their targets), else "".
const char* Verdict(double value, const char* target);

// The whole number given as argument `at` of the command line (a count of rounds), at
// least `least`; `fallback` when there is none.
int CountArgument(int argc, char** argv, int at, int fallback, int least = 1);

// The current 1-minute load average, for the printed figures.
double LoadAverage();

// Seconds that a tool takes, run as a process with `arguments` (the first names it, found
// on PATH), from its start to its exit. Ends the benchmark when it fails. `whileRunning`,
// when given, is called again and again until the tool has exited.
double ToolSeconds(const std::vector<std::string>& arguments, const std::function<void()>& whileRunning = {});

// Seconds that the curl command-line tool takes to fetch `url` into `file` (`curl -s -o
// FILE URL`, its process start included; the file is deleted first, untimed). It does not
// flush the file. Ends the benchmark when curl fails.
// `whileRunning`, when given, is called again and again until the tool has exited (a GUI
// bench keeps its event loop going, as it does while its own way runs).
double CurlToolSeconds(const std::string& url, const std::string& file,
                       const std::function<void()>& whileRunning = {});

// One process and every process below it (the web engine's helpers are children and
// grandchildren of the program), from /proc.
std::vector<int> ProcessTree(int pid);

// A number field of /proc/PID/status in KiB ("VmHWM:", "VmRSS:"); -1 when unreadable.
long long StatusKiB(int pid, const char* key);
// The proportional set size of the process in KiB (/proc/PID/smaps_rollup): shared pages
// are divided among the processes that map them, so a sum over processes counts each page
// once. -1 when unreadable.
long long PssKiB(int pid);

// The physical pages that the processes `pids` map, each counted once however many of
// them map it, in KiB: the group's footprint whatever else runs on the machine. (A sum of
// Pss is not: a page of a library is divided among every process of the machine that maps
// it, so another program using the same web engine lowers it by tens of MiB.) Read from
// /proc/PID/pagemap, whose page frame numbers only root may see: -1 without them.
long long DistinctResidentKiB(const std::vector<int>& pids);

struct TreeMemory {
    int processes = 0;
    long long ownPeakKiB = 0;       // VmHWM of the process itself
    long long childrenPeakKiB = 0;  // sum of the descendants' VmHWM (an upper bound)
    long long totalPssKiB = 0;      // sum of Pss over the tree, at the moment of reading
    long long footprintKiB = -1;    // DistinctResidentKiB of the tree, at the same moment
};
TreeMemory MeasureTree(int pid);

}  // namespace pw::bench

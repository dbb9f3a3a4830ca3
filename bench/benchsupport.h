#pragma once

// What the benchmarks share: timing work in a child process, medians of rounds that take
// turns, the source file of random bytes, and the folder they work in.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Run {
    double seconds;
    double peakMiB;
    double cpuSeconds; // user and system time of the child
};

// Runs the work in a child process, so that its peak memory is its own, after a sync() so that
// what earlier runs left unwritten is not written during this one. A run that fails (does not
// return 0) ends the benchmark.
Run measure(const std::function<int()>& work);

// Runs the command through the shell: 0 when it succeeded, 1 otherwise, as a measured work returns.
int shell(const std::string& command);

// The text in single quotes, for a shell command (the benchmarks' paths hold none).
std::string quoted(const std::string& text);

double median(std::vector<double> values);

// `length` bytes that do not compress, the same on every run.
void writeRandomFile(const std::string& path, std::uint64_t length);

// The first line of /proc/loadavg.
std::string loadAverage();

struct Timed {
    std::string name;
    std::function<int()> work; // run in a child process
};

// Runs every entry once per round, in turn, each after `prepare`; returns for each its median
// seconds, median CPU time and peak memory.
std::vector<Run> alternate(const std::vector<Timed>& entries, const std::function<void()>& prepare, int rounds);

// A new folder "<prefix>-XXXXXX" in the folder the command line names (argv[1]) or else in the
// system's temporary folder; empty, after saying why, when it cannot be made.
std::string makeWorkFolder(int argc, char** argv, const std::string& prefix);

} // namespace bench

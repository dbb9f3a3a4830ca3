#include "benchsupport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace bench {

Run measure(const std::function<int()>& work)
{
    ::sync();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work());
    int status = 0;
    rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a benchmark run failed\n");
        std::exit(1);
    }
    const auto inSeconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {seconds, double(usage.ru_maxrss) / 1024.0, inSeconds(usage.ru_utime) + inSeconds(usage.ru_stime)};
}

int shell(const std::string& command)
{
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void writeRandomFile(const std::string& path, std::uint64_t length)
{
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t written = 0; written < length;) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const std::uint64_t count = std::min<std::uint64_t>(length - written, block.size() * 8);
        out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(count));
        written += count;
    }
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string text;
    std::getline(in, text);
    return text;
}

std::vector<Run> alternate(const std::vector<Timed>& entries, const std::function<void()>& prepare, int rounds)
{
    std::vector<std::vector<double>> seconds(entries.size());
    std::vector<std::vector<double>> cpu(entries.size());
    std::vector<Run> result(entries.size(), Run{0, 0, 0});
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            prepare();
            const Run run = measure(entries[i].work);
            seconds[i].push_back(run.seconds);
            cpu[i].push_back(run.cpuSeconds);
            result[i].peakMiB = std::max(result[i].peakMiB, run.peakMiB);
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        result[i].seconds = median(seconds[i]);
        result[i].cpuSeconds = median(cpu[i]);
    }
    return result;
}

std::string makeWorkFolder(int argc, char** argv, const std::string& prefix)
{
    namespace fs = std::filesystem;
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

} // namespace bench

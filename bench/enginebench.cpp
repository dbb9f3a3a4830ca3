// Measures the split and the join against the coreutils commands people would use instead,
// on the same machine, file system and cache state, alternating the two. Prints one line per
// case: our median seconds, the peer's, the ratio, and our peak memory. The cases of 1 MiB
// pieces are also run through the `quarb` program, as a user would run it, in the same rounds;
// their line says how far its ratio is from the engine's, and compares the CPU time of both,
// which a busy machine disturbs less than the elapsed time. The checksum cases
// compare the split that writes checksums and the join that verifies them with the shell way
// (split, then sha256sum; sha256sum -c, then cat) and with our own split without checksums.
// Our runs flush what they wrote to the disk before they report success, which the peers do
// not: every case of ours is also run without the flushes, and a line gives what they cost;
// the main cases also run the peer followed by `sync -f` on the folder, the same flush as ours.
// The destination cases split from one loop-mounted ext4 image to another (GNU split run in
// the destination folder) and join from the second, remounted read-only, into the first.
//
// Plain pieces are split and joined against the same peers.
//
//   engine_bench [folder [plain]]     (default: the system's temporary folder; "plain": only
//                                      the plain pieces' cases)
#include "engine/fs/folderlisting.h"
#include "engine/joiner.h"
#include "engine/copy/sha256.h"
#include "engine/splitter.h"

#include "benchsupport.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::measure;
using bench::median;
using bench::quoted;
using bench::Run;

Run shell(const std::string& command)
{
    return measure([&] { return bench::shell(command); });
}

// The quarb program itself, started without a shell in the measured child.
Run program(const std::vector<std::string>& args)
{
    return measure([&] {
        std::vector<const char*> argv{QUARB_PATH};
        for (const auto& arg : args)
            argv.push_back(arg.c_str());
        argv.push_back(nullptr);
        ::execv(argv[0], const_cast<char* const*>(argv.data()));
        return 1;
    });
}

// The system's file layer with the flushes to the disk left out: what our runs would cost
// without them, which is what the peers do.
class UnflushedLayer : public qfs::FileLayer {
public:
    int fdatasync(int) override { return 0; }
    int fsync(int) override { return 0; }
    int syncfs(int) override { return 0; }
};

qfs::FileLayer& layerFor(bool flush)
{
    static UnflushedLayer unflushed;
    return flush ? qfs::FileLayer::system() : unflushed;
}

int split(const std::string& folder, const std::string& file, std::uint64_t pieceBytes, bool flush = true,
          qfs::PieceFormat format = qfs::PieceFormat::Signed)
{
    qfs::SplitObserver quiet;
    qfs::SplitRequest request{folder, file, qfs::SplitMode::BySize, pieceBytes, false};
    request.format = format;
    request.writeNote = false;
    return qfs::Splitter(layerFor(flush)).run(request, quiet).failed();
}

int join(const std::string& folder, bool flush = true)
{
    qfs::JoinObserver quiet;
    return qfs::Joiner(layerFor(flush)).run({folder}, quiet).failed();
}

void reportFlushes(double flushed, double unflushed)
{
    std::printf("%-34s ours %7.3f s   without %7.3f s   the flushes %+.3f s (%+.0f %%)\n",
                "  with and without the flushes", flushed, unflushed, flushed - unflushed,
                100.0 * (flushed / unflushed - 1.0));
}

struct Case {
    std::string name;
    std::function<void()> prepare; // untimed, before every run of either side
    std::function<int()> ours;
    std::string peer; // shell command; empty: no peer
    std::vector<std::string> quarbArgs; // the same work through the quarb program; empty: none
    std::function<int()> unflushed = {}; // ours without the flushes to the disk; empty: none
    std::string flushedFolder = {}; // the peer is also run followed by `sync -f` of this; empty: not
};


void reportFlushedPeer(double ours, double peer)
{
    std::printf("%-34s ours %7.3f s   peer %7.3f s   ratio %5.2f\n", "  against the peer and sync -f", ours, peer,
                ours / peer);
}

// The command, then the flush of the folder's file system, as our runs end.
std::string syncAfter(const std::string& command, const std::string& folder)
{
    return "{ " + command + "; } && sync -f " + quoted(folder);
}

// How far the program's ratio may be from the engine's before the line says so.
constexpr double programTolerance = 0.05;

void report(const Case& c, int rounds)
{
    std::vector<double> ours;
    std::vector<double> peer;
    std::vector<double> viaProgram;
    std::vector<double> oursCpu;
    std::vector<double> programCpu;
    std::vector<double> unflushed;
    std::vector<double> flushedPeer;
    double peak = 0;
    double programPeak = 0;
    const auto runOurs = [&] {
        c.prepare();
        const Run run = measure(c.ours);
        ours.push_back(run.seconds);
        oursCpu.push_back(run.cpuSeconds);
        peak = std::max(peak, run.peakMiB);
    };
    const auto runProgram = [&] {
        if (c.quarbArgs.empty())
            return;
        c.prepare();
        const Run run = program(c.quarbArgs);
        viaProgram.push_back(run.seconds);
        programCpu.push_back(run.cpuSeconds);
        programPeak = std::max(programPeak, run.peakMiB);
    };
    for (int round = 0; round < rounds; ++round) {
        // The engine and the program take turns at going first, so that neither always
        // follows the other's deleted output still being released by the file system.
        if (round % 2 == 0) {
            runOurs();
            runProgram();
        } else {
            runProgram();
            runOurs();
        }
        if (!c.peer.empty()) {
            c.prepare();
            peer.push_back(shell(c.peer).seconds);
        }
        if (c.unflushed) {
            c.prepare();
            unflushed.push_back(measure(c.unflushed).seconds);
        }
        if (!c.flushedFolder.empty()) {
            c.prepare();
            flushedPeer.push_back(shell(syncAfter(c.peer, c.flushedFolder)).seconds);
        }
    }
    if (peer.empty()) {
        std::printf("%-34s ours %7.3f s   peak memory %6.1f MiB\n", c.name.c_str(), median(ours), peak);
    } else {
        std::printf("%-34s ours %7.3f s   peer %7.3f s   ratio %5.2f   peak memory %6.1f MiB\n",
                    c.name.c_str(), median(ours), median(peer), median(ours) / median(peer), peak);
    }
    if (!viaProgram.empty() && !peer.empty()) {
        // Both ratios have the same peer time below them: they differ as the medians of the
        // program's and the engine's own times do.
        const double difference = median(viaProgram) / median(ours) - 1.0;
        const double programRatio = median(viaProgram) / median(peer);
        std::printf("%-34s ours %7.3f s   peer %7.3f s   ratio %5.2f   peak memory %6.1f MiB"
                    "   %+5.1f %% of the engine's ratio: %s   (CPU time %.3f s, engine's %.3f s)\n",
                    "  the same with quarb", median(viaProgram), median(peer), programRatio,
                    programPeak, difference * 100.0,
                    std::abs(difference) <= programTolerance ? "within 5 %" : "NOT within 5 %",
                    median(programCpu), median(oursCpu));
    }
    if (!unflushed.empty())
        reportFlushes(median(ours), median(unflushed));
    if (!flushedPeer.empty())
        reportFlushedPeer(median(ours), median(flushedPeer));
    std::fflush(stdout);
}

// ---- Checksums: the split that writes them, the join that verifies them -------------------

int splitWithChecksums(const std::string& folder, const std::string& file, bool flush = true)
{
    qfs::SplitObserver quiet;
    return qfs::Splitter(layerFor(flush)).run({folder, file, qfs::SplitMode::BySize, 1 << 20, true}, quiet).failed();
}

// libcrypto's SHA-256 on one stream, through the engine's wrapper, in bytes per second: the
// pace a split with checksums cannot beat on any one stream.
double sha256Rate()
{
    const std::string block(64ull << 20, 'x');
    constexpr int passes = 8;
    qfs::Sha256 hash;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i)
        hash.update(block.data(), block.size());
    hash.finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return double(block.size()) * passes / seconds;
}

void checksumCases(const std::string& dir, const std::string& big, std::uint64_t bigBytes, int rounds)
{
    const double shaRate = sha256Rate();
    std::printf("SHA-256 through libcrypto, one stream: %.2f GB/s\n", shaRate / 1e9);
    const std::string ours = dir + "/" + big + "_split";
    const std::string shell = dir + "/shell";
    const std::string shellSplit = "mkdir " + quoted(shell) + " && split -b 1048576 -a 4 -d " + quoted(dir + "/" + big)
                                   + " " + quoted(shell + "/" + big + ".") + " && cd " + quoted(shell)
                                   + " && sha256sum " + big + ".[0-9]* > " + big + ".sha256 && cd " + quoted(dir)
                                   + " && sha256sum " + big + " >> " + quoted(shell + "/" + big + ".sha256");
    const auto cleanSplits = [=] {
        fs::remove_all(ours);
        fs::remove_all(shell);
    };
    const std::vector<Run> splits = bench::alternate(
        {{"ours", [=] { return splitWithChecksums(dir, big); }},
         {"shell", [=] { return bench::shell(shellSplit); }},
         {"plain", [=] { return split(dir, big, 1 << 20); }},
         {"unflushed", [=] { return splitWithChecksums(dir, big, false); }},
         {"shell, sync", [=] { return bench::shell(syncAfter(shellSplit, dir)); }}},
        cleanSplits, rounds);
    std::printf("%-34s ours %7.3f s   shell %7.3f s   ratio %5.2f   peak memory %6.1f MiB\n",
                "split 1 GiB, 1 MiB, checksums", splits[0].seconds, splits[1].seconds,
                splits[0].seconds / splits[1].seconds, splits[0].peakMiB);
    std::printf("%-34s ours %7.3f s   no sums %6.3f s   ratio %5.2f\n", "  against our split without them",
                splits[0].seconds, splits[2].seconds, splits[0].seconds / splits[2].seconds);
    reportFlushes(splits[0].seconds, splits[3].seconds);
    reportFlushedPeer(splits[0].seconds, splits[4].seconds);
    const double sourceRate = double(bigBytes) / splits[0].seconds;
    std::printf("%-34s %.2f GB/s of source, %.0f%% of one SHA-256 stream (two streams are hashed)\n",
                "  pace", sourceRate / 1e9, 100 * sourceRate / shaRate);

    // One set of pieces of each kind, with their checksum files, for the joins.
    cleanSplits();
    splitWithChecksums(dir, big);
    if (bench::shell(shellSplit) != 0)
        std::fprintf(stderr, "the shell's split failed\n");
    const std::string shellJoin = "cd " + quoted(shell) + " && sha256sum --quiet --ignore-missing -c " + big
                                  + ".sha256 && cat " + big + ".[0-9]* > " + quoted(dir + "/cat.out");
    const std::vector<Run> joins = bench::alternate(
        {{"ours", [=] { return join(ours); }},
         {"shell", [=] { return bench::shell(shellJoin); }},
         {"unflushed", [=] { return join(ours, false); }},
         {"shell, sync", [=] { return bench::shell(syncAfter(shellJoin, dir)); }}},
        [=] {
            fs::remove(ours + "/" + big);
            fs::remove(dir + "/cat.out");
        },
        rounds);
    std::printf("%-34s ours %7.3f s   shell %7.3f s   ratio %5.2f   peak memory %6.1f MiB\n",
                "join 1024 pieces, verified", joins[0].seconds, joins[1].seconds, joins[0].seconds / joins[1].seconds,
                joins[0].peakMiB);
    reportFlushes(joins[0].seconds, joins[2].seconds);
    reportFlushedPeer(joins[0].seconds, joins[3].seconds);
    cleanSplits();
    fs::remove(dir + "/cat.out");
}

// ---- Destinations: from one file system to another, and from a read-only one ---------------

// The ext4 images mounted so far, unmounted at exit however the bench ends.
std::vector<std::string> mountedImages;

void unmountImages()
{
    for (auto point = mountedImages.crbegin(); point != mountedImages.crend(); ++point) {
        const std::string& path = *point;
        if (std::system(("umount " + quoted(path) + " || umount -l " + quoted(path)).c_str()) != 0)
            std::fprintf(stderr, "cannot unmount %s\n", path.c_str());
    }
    mountedImages.clear();
}

// An ext4 file system of this size in an image file beside its mount point, dir/name; empty
// when it cannot be made or mounted here.
std::string ext4Image(const std::string& dir, const std::string& name, const std::string& size)
{
    const std::string image = quoted(dir + "/" + name + ".img");
    const std::string point = dir + "/" + name;
    fs::create_directory(point);
    const std::string make = "truncate -s " + size + " " + image + " && mkfs.ext4 -q -F " + image
                             + " && mount -o loop " + image + " " + quoted(point);
    if (std::system(make.c_str()) != 0)
        return {};
    mountedImages.push_back(point);
    return point;
}

// The split from one loop-mounted ext4 to another, against split run in the destination, and
// the join from the second, now read-only, into the first, against cat.
void destinationCases(const std::string& dir, int rounds)
{
    std::atexit(unmountImages);
    const std::string from = ext4Image(dir, "from", "4G");
    const std::string to = from.empty() ? std::string() : ext4Image(dir, "to", "3G");
    if (to.empty()) {
        std::printf("destinations: skipped, ext4 images cannot be mounted here\n");
        unmountImages();
        return;
    }
    const std::string big = "big.bin";
    bench::writeRandomFile(from + "/" + big, 1ull << 30);
    const std::string ours = to + "/" + big + "_split";
    const std::string theirs = to + "/coreutils";
    const std::string joined = from + "/joined";
    fs::create_directory(joined);
    const auto splitAcross = [=](bool flush) {
        qfs::SplitRequest request{from, big, qfs::SplitMode::BySize, 1 << 20, false};
        request.destinationDirectory = to;
        qfs::SplitObserver quiet;
        return int(qfs::Splitter(layerFor(flush)).run(request, quiet).failed());
    };
    const std::string peerSplit = "mkdir " + quoted(theirs) + " && cd " + quoted(theirs) + " && split -b 1M -a 4 -d "
                                  + quoted(from + "/" + big) + " " + big + ".";
    const auto cleanSplits = [=] {
        fs::remove_all(ours);
        fs::remove_all(theirs);
    };
    report({"split 1 GiB, 1 MiB, ext4 to ext4", cleanSplits, [=] { return splitAcross(true); }, peerSplit,
            {"split", from + "/" + big, "--size", "1M", "--no-checksums", "--quiet", "--output", to},
            [=] { return splitAcross(false); }, to},
           rounds);

    // One set of pieces of each kind, on a file system that is read-only from then on.
    cleanSplits();
    if (splitAcross(true) != 0 || std::system(peerSplit.c_str()) != 0
        || std::system(("mount -o remount,ro " + quoted(to)).c_str()) != 0) {
        std::fprintf(stderr, "cannot make the read-only pieces for the join\n");
        unmountImages();
        return;
    }
    const auto joinAcross = [=](bool flush) {
        qfs::JoinObserver quiet;
        return int(qfs::Joiner(layerFor(flush)).run({ours, joined}, quiet).failed());
    };
    report({"join 1024 pieces, read-only to ext4",
            [=] {
                fs::remove(joined + "/" + big);
                fs::remove(from + "/cat.out");
            },
            [=] { return joinAcross(true); }, "cat " + quoted(theirs) + "/* > " + quoted(from + "/cat.out"),
            {"join", ours, "--output", joined, "--quiet"}, [=] { return joinAcross(false); }, from},
           rounds);
    unmountImages();
}

// Removes every one of the paths, with all they hold.
std::function<void()> clean(const std::vector<std::string>& paths)
{
    return [=] {
        for (const auto& p : paths)
            fs::remove_all(p);
    };
}

// Where coreutils' split writes its pieces.
constexpr const char* theirFolder = "/coreutils";

// A split of `file` in `dir` into pieces of `pieceBytes`, against coreutils' split into the
// same pieces, numbered with `digits` digits; through the quarb program too when `quarbArgs`
// are given.
Case splitCase(const std::string& name, const std::string& dir, const std::string& file, std::uint64_t pieceBytes,
               int digits, std::vector<std::string> quarbArgs = {})
{
    const std::string theirPieces = dir + theirFolder;
    return {name,
            clean({dir + "/" + file + "_split", theirPieces}),
            [=] { return split(dir, file, pieceBytes); },
            "mkdir " + quoted(theirPieces) + " && split -b " + std::to_string(pieceBytes) + " -a "
                + std::to_string(digits) + " -d " + quoted(dir + "/" + file) + " " + quoted(theirPieces + "/" + file + "."),
            std::move(quarbArgs),
            [=] { return split(dir, file, pieceBytes, false); },
            dir};
}

// ---- Plain pieces: bare slices, the peers' own format -------------------------------------

// The split into 1 MiB plain pieces against split -b 1M, and their join against cat: the same
// bytes in the same files on both sides (GNU split numbers from 1 with four digits here, as
// 1,024 pieces need; ours widen past 999).
void plainCases(const std::string& dir, const std::string& big, int rounds)
{
    const std::string ourPieces = dir + "/" + big + "_split";
    const std::string theirPieces = dir + theirFolder;
    const std::string peerSplit = "mkdir " + quoted(theirPieces) + " && split -b 1M -a 4 --numeric-suffixes=1 "
                                  + quoted(dir + "/" + big) + " " + quoted(theirPieces + "/" + big + ".");
    report({"split 1 GiB into 1 MiB plain pieces", clean({ourPieces, theirPieces}),
            [=] { return split(dir, big, 1 << 20, true, qfs::PieceFormat::Plain); }, peerSplit,
            {"split", dir + "/" + big, "--size", "1M", "--plain", "--no-note", "--no-checksums", "--recovery", "0",
             "--quiet"},
            [=] { return split(dir, big, 1 << 20, false, qfs::PieceFormat::Plain); }, dir},
           rounds);
    clean({ourPieces, theirPieces})();
    if (split(dir, big, 1 << 20, true, qfs::PieceFormat::Plain) != 0 || std::system(peerSplit.c_str()) != 0) {
        std::fprintf(stderr, "cannot make the plain pieces for the join\n");
        return;
    }
    report({"join 1024 plain pieces of 1 MiB", clean({ourPieces + "/" + big, dir + "/cat.out"}),
            [=] { return join(ourPieces); }, "cat " + quoted(theirPieces) + "/* > " + quoted(dir + "/cat.out"),
            {"join", ourPieces, "--quiet"}, [=] { return join(ourPieces, false); }, dir},
           rounds);
    clean({ourPieces, theirPieces, dir + "/cat.out"})();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::makeWorkFolder(argc, argv, "qfs-bench");
    if (dir.empty())
        return 1;
    const int rounds = 5;
    std::printf("load average before: %s\n", bench::loadAverage().c_str());

    const std::string big = "big.bin";
    bench::writeRandomFile(dir + "/" + big, 1ull << 30);
    // "engine_bench FOLDER plain" measures the plain pieces alone.
    const bool plainOnly = argc > 2 && std::string(argv[2]) == "plain";
    plainCases(dir, big, rounds);
    if (plainOnly) {
        fs::remove_all(dir);
        return 0;
    }
    const std::string ourPieces = dir + "/" + big + "_split";
    const std::string theirPieces = dir + theirFolder;

    report(splitCase("split 1 GiB into 1 MiB pieces", dir, big, 1 << 20, 4,
                     {"split", dir + "/" + big, "--size", "1M", "--no-checksums", "--quiet"}),
           rounds);
    // Leave one set of pieces of each kind for the join.
    clean({ourPieces, theirPieces})();
    fs::create_directory(theirPieces);
    if (split(dir, big, 1 << 20) != 0 ||
        std::system(("split -b 1048576 -a 4 -d " + quoted(dir + "/" + big) + " " +
                     quoted(theirPieces + "/" + big + "."))
                        .c_str()) != 0) {
        std::fprintf(stderr, "cannot make the pieces for the join\n");
        return 1;
    }
    report({"join 1024 pieces of 1 MiB", clean({ourPieces + "/" + big, dir + "/cat.out"}),
            [=] { return join(ourPieces); },
            "cat " + quoted(theirPieces) + "/* > " + quoted(dir + "/cat.out"),
            {"join", ourPieces, "--quiet"},
            [=] { return join(ourPieces, false); },
            dir},
           rounds);
    clean({ourPieces, theirPieces, dir + "/cat.out"})();

    checksumCases(dir, big, 1ull << 30, rounds);

    report(splitCase("split 1 GiB into 256 MiB pieces", dir, big, 256 << 20, 4), 3);
    clean({ourPieces, dir + "/" + big})();

    const std::string small = "many.bin";
    bench::writeRandomFile(dir + "/" + small, 100000ull * 4096);
    report(splitCase("split 400 MB into 100000 pieces", dir, small, 4 << 10, 5), 3);

    destinationCases(dir, rounds);

    fs::remove_all(dir);
    std::printf("load average after: %s\n", bench::loadAverage().c_str());
    return 0;
}

// Measures the recovery volumes against what people would do instead, on the same machine,
// file system and cache state, taking turns. Each run is a child process, so its peak memory
// is its own. Prints one line per case: our median seconds, the peer's, the ratio, and our
// peak memory.
//
// On 1 GiB of random data in 1 MiB pieces: the split with checksums and one recovery piece
// against the split with checksums alone and against the shell's way (split, sha256sum,
// par2 create); the repair of one missing piece against a verify of the same folder and
// against par2 repair. On 1 GiB in 64 MiB pieces with 4 recovery pieces: the split against the
// split alone, the recovery arithmetic's pace (data times recovery slices per second) and peak
// memory.
//
//   recovery_bench [folder]     (default: the system's temporary folder)
#include "engine/recovery/galoisfield.h"
#include "engine/recovery/piecehasher.h"
#include "engine/recovery/recoverycreator.h"
#include "engine/repairer.h"
#include "engine/splitter.h"
#include "engine/verifier.h"

#include "benchsupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::measure;
using bench::quoted;
using bench::Run;
using bench::shell;

constexpr int rounds = 3;
constexpr std::uint64_t bigBytes = 1ull << 30;
constexpr std::size_t readBlock = std::size_t(1) << 20;
// The piece deleted before each repair.
constexpr std::size_t lostPiece = 500;

// Every case takes `rounds` turns.
std::vector<Run> alternate(const std::vector<bench::Timed>& entries, const std::function<void()>& prepare)
{
    return bench::alternate(entries, prepare, rounds);
}

void line(const char* name, const Run& ours, const Run& peer, const char* peerName)
{
    std::printf("%-40s ours %7.3f s   %-10s %7.3f s   ratio %5.2f   peak memory %6.1f MiB   (CPU time %.2f s, %.2f s)\n",
                name, ours.seconds, peerName, peer.seconds, ours.seconds / peer.seconds, ours.peakMiB, ours.cpuSeconds,
                peer.cpuSeconds);
    std::fflush(stdout);
}

// ---- The pieces and what we do with them ----------------------------------------------------

// Pieces of `mebibytes` MiB each.
int split(const std::string& dir, const std::string& file, std::uint64_t mebibytes, bool checksums,
          std::uint32_t recoveryPieces)
{
    qfs::SplitObserver quiet;
    qfs::SplitRequest request{dir, file, qfs::SplitMode::BySize, mebibytes << 20, checksums};
    request.recoveryPieces = recoveryPieces;
    return qfs::Splitter().run(request, quiet).failed();
}

bool isPiece(const std::string& name)
{
    return !name.ends_with(".par2") && !name.ends_with(".sha256");
}

std::vector<qfs::RecoveryPiece> piecesIn(const std::string& folder)
{
    std::vector<qfs::RecoveryPiece> pieces;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (isPiece(name))
            pieces.push_back({name, entry.file_size()});
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const qfs::RecoveryPiece& a, const qfs::RecoveryPiece& b) { return a.name < b.name; });
    return pieces;
}

void removeRecoveryFiles(const std::string& folder)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".par2")
            fs::remove(entry.path());
}

class Folder {
public:
    explicit Folder(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~Folder() { ::close(m_fd); }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

int create(const std::string& folder, const std::string& baseName, std::uint32_t recoveryPieces,
           const std::vector<qfs::PieceDigest>& digests = {})
{
    const std::vector<qfs::RecoveryPiece> pieces = piecesIn(folder);
    const qfs::RecoveryPlan plan = qfs::planRecovery(baseName, pieces, recoveryPieces);
    Folder dir(folder);
    const qfs::Error error =
        qfs::RecoveryCreator(qfs::FileLayer::system()).create(dir.fd(), folder, plan, pieces, {}, digests);
    if (error.failed())
        std::fprintf(stderr, "%s\n", error.message().c_str());
    return error.failed();
}

// The pieces' checksums as a split would compute them while writing them.
std::vector<qfs::PieceDigest> digestsOf(const std::string& folder, std::uint64_t sliceSize)
{
    std::vector<qfs::PieceDigest> digests;
    std::vector<char> buffer(readBlock);
    for (const qfs::RecoveryPiece& piece : piecesIn(folder)) {
        std::ifstream in(folder + "/" + piece.name, std::ios::binary);
        qfs::PieceHasher hasher(sliceSize);
        while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
            hasher.add(buffer.data(), std::size_t(in.gcount()));
        digests.push_back(hasher.finish());
    }
    return digests;
}

// The engine's repair run, and its verification of the same folder.
int repair(const std::string& folder)
{
    qfs::VerifyObserver quiet;
    const auto result = qfs::Repairer().run({folder}, quiet);
    if (result.failed())
        std::fprintf(stderr, "%s\n", result.error().message().c_str());
    return result.failed() || result->rebuilt.size() != 1;
}

int verify(const std::string& folder)
{
    qfs::VerifyObserver quiet;
    return qfs::Verifier().run({folder}, quiet).failed();
}

// GF-Complete's multiply-and-add on one thread, in memory: bytes per second.
double multiplyAddRate()
{
    constexpr std::size_t regionBytes = std::size_t(8) << 20;
    constexpr int passes = 64;
    constexpr std::uint16_t factor = 0x1234;
    qfs::GaloisField field;
    qfs::AlignedBuffer source(regionBytes);
    qfs::AlignedBuffer target(regionBytes);
    std::memset(source.data(), 0x5A, regionBytes);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i)
        field.multiplyAdd(source.data(), target.data(), std::uint16_t(factor + i), regionBytes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return double(regionBytes) * passes / seconds;
}

void smallPieces(const std::string& dir, const std::string& big)
{
    const std::string folder = dir + "/" + big + "_split";
    const std::string shellFolder = dir + "/shell";
    const auto removeSplits = [=] {
        fs::remove_all(folder);
        fs::remove_all(shellFolder);
    };

    // The split with checksums and one recovery piece, against the split with checksums alone
    // and against the shell's way: split, sha256sum of the pieces and the original, par2 create
    // with the same slice size and one recovery slice, and a flush as the split's.
    split(dir, big, 1, true, 1);
    const std::vector<qfs::RecoveryPiece> pieces = piecesIn(folder);
    const qfs::RecoveryPlan plan = qfs::planRecovery(big, pieces, 1);
    fs::remove_all(folder);
    const std::string shellWay = "mkdir " + quoted(shellFolder) + " && cd " + quoted(shellFolder) + " && split -b 1M -a 4 -d ../"
                                 + quoted(big) + " " + quoted(big + ".") + " && sha256sum " + quoted(big) + ".* ../"
                                 + quoted(big) + " > sums && par2 create -q -q -s" + std::to_string(plan.sliceSize)
                                 + " -c1 -n1 " + quoted(big + ".par2") + " " + quoted(big) + ".0* && sync -f .";
    const std::vector<Run> splits = alternate({{"split+recovery", [=] { return split(dir, big, 1, true, 1); }},
                                               {"split", [=] { return split(dir, big, 1, true, 0); }},
                                               {"shell", [=] { return shell(shellWay); }}},
                                              removeSplits);
    line("split 1 GiB, 1 MiB, checksums + 1 recov.", splits[0], splits[1], "no recov.");
    line("  against the shell's way", splits[0], splits[2], "shell");

    // Repair of one missing piece, against a verify of the same folder and par2 repair.
    split(dir, big, 1, true, 1);
    const std::string lost = folder + "/" + pieces[lostPiece].name;
    const std::string original = dir + "/lost.piece";
    fs::copy_file(lost, original);
    const std::string par2Repair = "cd " + quoted(folder) + " && par2 repair -q -q " + quoted(big + ".par2")
                                   + " && rm -f *.1";
    const std::vector<Run> repairs = alternate({{"ours", [=] { return repair(folder); }},
                                                {"verify", [=] { return verify(folder); }},
                                                {"par2", [=] { return shell(par2Repair); }}},
                                               [=] { fs::remove(lost); });
    fs::remove(lost);
    if (repair(folder) != 0 || shell("cmp -s " + quoted(lost) + " " + quoted(original)) != 0)
        std::fprintf(stderr, "the repaired piece differs from the original\n");
    line("repair 1 of 1024 pieces of 1 MiB", repairs[0], repairs[1], "verify");
    line("  against par2 repair", repairs[0], repairs[2], "par2");
    fs::remove(original);
    removeSplits();
}

void largePieces(const std::string& dir, const std::string& big)
{
    constexpr std::uint32_t recoveryPieces = 4;
    const std::string folder = dir + "/" + big + "_split";
    const std::vector<Run> splits =
        alternate({{"split+recovery", [=] { return split(dir, big, 64, true, recoveryPieces); }},
                   {"split", [=] { return split(dir, big, 64, true, 0); }}},
                  [=] { fs::remove_all(folder); });
    line("split 1 GiB, 64 MiB, checksums + 4 recov.", splits[0], splits[1], "no recov.");

    // The arithmetic alone, from the checksums the split takes as it goes.
    split(dir, big, 64, false, 0);
    const std::vector<qfs::RecoveryPiece> pieces = piecesIn(folder);
    const qfs::RecoveryPlan plan = qfs::planRecovery(big, pieces, recoveryPieces);
    const std::vector<qfs::PieceDigest> digests = digestsOf(folder, plan.sliceSize);
    const std::vector<Run> creates = alternate({{"digests", [=] { return create(folder, big, recoveryPieces, digests); }}},
                                               [=] { removeRecoveryFiles(folder); });
    const double product = double(bigBytes) * plan.recoverySlices;
    std::printf("%-40s %7.3f s   %.2f GB/s of data x %u recovery slices   peak memory %6.1f MiB\n",
                "  its recovery arithmetic alone", creates[0].seconds, product / creates[0].seconds / 1e9,
                plan.recoverySlices, creates[0].peakMiB);
    std::printf("%-40s %.2f GB/s on one thread, in memory\n", "  multiply-and-add", multiplyAddRate() / 1e9);
    fs::remove_all(folder);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = bench::makeWorkFolder(argc, argv, "qfs-recovery-bench");
    if (dir.empty())
        return 1;
    std::printf("load average before: %s\n", bench::loadAverage().c_str());
    const std::string big = "big.bin";
    bench::writeRandomFile(dir + "/" + big, bigBytes);
    smallPieces(dir, big);
    largePieces(dir, big);
    fs::remove_all(dir);
    std::printf("load average after: %s\n", bench::loadAverage().c_str());
    return 0;
}

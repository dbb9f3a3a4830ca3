// Measures the recovery volumes against the command people would use instead (par2), on the
// same machine, file system and cache state, taking turns. Each run is a child process, so its
// peak memory is its own. Prints one line per case: our median seconds, the peer's, the ratio,
// and our peak memory.
//
// On 1 GiB of random data in 1 MiB pieces: the split with checksums and one recovery piece
// against the split with checksums alone; the recovery data alone (computing the pieces'
// checksums, or given them as a split would compute them) against `par2 create` with the same
// slices; the repair of one missing piece against `par2 repair` and against reading and hashing
// the folder (what a verify does). On 1 GiB in 64 MiB pieces with 4 recovery pieces: the field
// arithmetic's pace (data times recovery slices per second) and peak memory.
//
//   recovery_bench [folder]     (default: the system's temporary folder)
#include "engine/recovery/galoisfield.h"
#include "engine/recovery/piecehasher.h"
#include "engine/recovery/recoverycreator.h"
#include "engine/recovery/recoveryrepairer.h"
#include "engine/recovery/recoveryset.h"
#include "engine/copy/sha256.h"
#include "engine/splitter.h"

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
int split(const std::string& dir, const std::string& file, std::uint64_t mebibytes, bool checksums)
{
    qfs::SplitObserver quiet;
    return qfs::Splitter().run({dir, file, qfs::SplitMode::BySize, mebibytes << 20, checksums}, quiet).failed();
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

// Hashes a file as if it were cut into pieces of 1 MiB: the cost of computing the recovery
// checksums while a split writes its pieces.
int hashAsPieces(const std::string& path, std::uint64_t sliceSize)
{
    std::vector<char> buffer(readBlock);
    std::ifstream in(path, std::ios::binary);
    while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0) {
        qfs::PieceHasher hasher(sliceSize);
        hasher.add(buffer.data(), std::size_t(in.gcount()));
        hasher.finish();
    }
    return 0;
}

// With `afterVerify`, the pieces on disk count as checked already, as after a verify.
int repair(const std::string& folder, bool afterVerify = false)
{
    std::vector<std::string> names;
    std::set<std::string> verified;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename());
        if (afterVerify && isPiece(names.back()))
            verified.insert(names.back());
    }
    Folder dir(folder);
    qfs::RecoverySetReader reader(qfs::FileLayer::system());
    qfs::RecoverySet set;
    bool found = false;
    qfs::RecoveryCheck check;
    qfs::Error error = reader.read(dir.fd(), folder, names, {}, set, found);
    if (!error.failed())
        error = reader.check(dir.fd(), folder, set, {}, check, verified);
    if (!error.failed())
        error = qfs::RecoveryRepairer(qfs::FileLayer::system()).repair(dir.fd(), folder, set, check, {});
    if (error.failed())
        std::fprintf(stderr, "%s\n", error.message().c_str());
    return error.failed() || check.lostPieces != 1;
}

// Reads every file of the folder and hashes it with SHA-256: what a verify does at least.
int readAndHash(const std::string& folder)
{
    std::vector<char> buffer(readBlock);
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        qfs::Sha256 hash;
        while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
            hash.update(buffer.data(), std::size_t(in.gcount()));
        hash.finish();
    }
    return 0;
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
    const auto removeSplit = [=] { fs::remove_all(folder); };

    // The split with checksums, with and without one recovery piece.
    const std::vector<Run> splits = alternate(
        {{"split+recovery", [=] { return split(dir, big, 1, true) || create(folder, big, 1); }},
         {"split", [=] { return split(dir, big, 1, true); }}},
        removeSplit);
    line("split 1 GiB, 1 MiB, checksums + 1 recov.", splits[0], splits[1], "no recov.");

    // The recovery data alone, against par2 with the same slices.
    split(dir, big, 1, true);
    const std::vector<qfs::RecoveryPiece> pieces = piecesIn(folder);
    const qfs::RecoveryPlan plan = qfs::planRecovery(big, pieces, 1);
    const std::vector<qfs::PieceDigest> digests = digestsOf(folder, plan.sliceSize);
    std::string names;
    for (const qfs::RecoveryPiece& piece : pieces)
        names += " " + quoted(piece.name);
    const std::string par2Create = "cd " + quoted(folder) + " && par2 create -q -q -s" + std::to_string(plan.sliceSize)
                                   + " -c" + std::to_string(plan.recoverySlices) + " -n"
                                   + std::to_string(plan.files.size() - 1) + " " + quoted(big + ".par2") + names;
    const std::vector<Run> creates = alternate({{"ours", [=] { return create(folder, big, 1); }},
                                                {"digests", [=] { return create(folder, big, 1, digests); }},
                                                {"par2", [=] { return shell(par2Create); }}},
                                               [=] { removeRecoveryFiles(folder); });
    line("recovery data for 1 GiB, 1 MiB pieces", creates[0], creates[2], "par2");
    line("  the same from the split's checksums", creates[1], creates[2], "par2");
    const Run hashing = measure([&] { return digestsOf(folder, plan.sliceSize).empty(); });
    std::printf("%-40s %7.3f s on one thread (the work a split would take on)\n", "  the pieces' checksums alone",
                hashing.seconds);

    // What a split that computes the recovery checksums as it writes would take: the split with
    // the same hashing of as many bytes on a thread beside it, then the arithmetic from them.
    const std::string source = dir + "/" + big;
    const std::uint64_t sliceSize = plan.sliceSize;
    const std::vector<Run> beside = alternate(
        {{"split+hash beside", [=] {
              std::thread hasher([=] { hashAsPieces(source, sliceSize); });
              const int failed = split(dir, big, 1, true);
              hasher.join();
              return failed;
          }},
         {"split", [=] { return split(dir, big, 1, true); }}},
        [=] { fs::remove_all(dir + "/" + big + "_split"); });
    fs::remove_all(folder);
    split(dir, big, 1, true);
    const Run estimate{beside[0].seconds + creates[1].seconds, std::max(beside[0].peakMiB, creates[1].peakMiB),
                       beside[0].cpuSeconds + creates[1].cpuSeconds};
    line("  estimate: checksums computed in the split", estimate, beside[1], "no recov.");

    // Repair of one missing piece.
    removeRecoveryFiles(folder);
    create(folder, big, 1);
    const std::string lost = folder + "/" + pieces[lostPiece].name;
    const std::string original = dir + "/lost.piece";
    fs::copy_file(lost, original);
    const std::string par2Repair = "cd " + quoted(folder) + " && par2 repair -q -q " + quoted(big + ".par2");
    const std::vector<Run> repairs =
        alternate({{"ours", [=] { return repair(folder); }},
                   {"par2", [=] { return shell(par2Repair); }},
                   {"hash", [=] { return readAndHash(folder); }},
                   {"verify+ours", [=] { return readAndHash(folder) || repair(folder, true); }}},
                  [=] { fs::remove(lost); });
    fs::remove(lost);
    if (repair(folder) != 0 || shell("cmp -s " + quoted(lost) + " " + quoted(original)) != 0)
        std::fprintf(stderr, "the repaired piece differs from the original\n");
    line("repair 1 of 1024 pieces of 1 MiB", repairs[0], repairs[1], "par2");
    line("  against reading and hashing the folder", repairs[0], repairs[2], "read+hash");
    line("  the same after a read+hash of the pieces", repairs[3], repairs[2], "read+hash");
    fs::remove(original);
    removeSplit();
}

void largePieces(const std::string& dir, const std::string& big)
{
    constexpr std::uint32_t recoveryPieces = 4;
    const std::string folder = dir + "/" + big + "_split";
    split(dir, big, 64, false);
    const std::vector<qfs::RecoveryPiece> pieces = piecesIn(folder);
    const qfs::RecoveryPlan plan = qfs::planRecovery(big, pieces, recoveryPieces);
    const std::vector<qfs::PieceDigest> digests = digestsOf(folder, plan.sliceSize);
    const std::vector<Run> creates = alternate({{"digests", [=] { return create(folder, big, recoveryPieces, digests); }},
                                                {"ours", [=] { return create(folder, big, recoveryPieces); }}},
                                               [=] { removeRecoveryFiles(folder); });
    const double product = double(bigBytes) * plan.recoverySlices;
    std::printf("%-40s %7.3f s   %.2f GB/s of data x %u recovery slices   peak memory %6.1f MiB\n",
                "1 GiB, 64 MiB, 4 recov., from checksums", creates[0].seconds, product / creates[0].seconds / 1e9,
                plan.recoverySlices, creates[0].peakMiB);
    std::printf("%-40s %7.3f s   %.2f GB/s of data x %u recovery slices   peak memory %6.1f MiB\n",
                "  the same computing the checksums", creates[1].seconds, product / creates[1].seconds / 1e9,
                plan.recoverySlices, creates[1].peakMiB);
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

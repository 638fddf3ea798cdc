// Document transfer benchmark: adding a large document by copy (HomeTree::CopyFileNoReplace, as
// the add-document command does) against `cp` followed by `sync` of the copied file, and by move
// within one file system (HomeTree::MoveFileNoReplace) against `mv`, the same file in the same
// run, the tools started as processes and timed from here. Prints figures and ratios; never
// passes or fails on speed.

#include "bench_common.h"
#include "platform/home_fs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::BestOf;
using mwdx::bench::MedianOf;

constexpr double kTargetCopyRatio = 1.2;
constexpr double kTargetMoveRatio = 2.0;

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\ntransfer_bench: FATAL: %s\n", what.c_str());
    std::exit(1);
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Run(const std::vector<std::string>& args) {
    if (!mwdx::bench::RunTool(args)) {
        Fail(args[0] + " failed");
    }
}

// "1G", "512M", "64K" or plain bytes; 0 when not a size.
std::int64_t ParseSize(std::string_view text) {
    char* end = nullptr;
    const std::string copy(text);
    const long long value = std::strtoll(copy.c_str(), &end, 10);
    const std::string_view unit(end);
    const std::int64_t scale = unit.empty()  ? 1
                               : unit == "K" ? 1 << 10
                               : unit == "M" ? 1 << 20
                               : unit == "G" ? std::int64_t{1} << 30
                                             : 0;
    return value > 0 ? value * scale : 0;
}

// A file of `bytes` bytes that no file system can shortcut (no zeros, no repeats), on disk
// before anything is timed.
void MakeSource(const fs::path& path, std::int64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot create " + path.string());
    }
    constexpr std::size_t kChunk = 1 << 20;
    const std::unique_ptr<std::uint64_t[]> buffer(new std::uint64_t[kChunk / 8]);
    std::uint64_t state = 0x5EED0003u;
    for (std::int64_t done = 0; done < bytes;) {
        for (std::size_t i = 0; i < kChunk / 8; ++i) {
            std::uint64_t z = (state += 0x9E3779B97F4A7C15ull); // splitmix64
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            buffer[i] = z ^ (z >> 31);
        }
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, bytes - done));
        if (::write(fd, buffer.get(), n) != static_cast<ssize_t>(n)) {
            Fail("cannot write " + path.string());
        }
        done += static_cast<std::int64_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        Fail("cannot flush " + path.string());
    }
}

bool SameContent(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) {
        return false;
    }
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
    constexpr std::size_t kChunk = 1 << 20;
    const std::unique_ptr<char[]> ba(new char[kChunk]);
    const std::unique_ptr<char[]> bb(new char[kChunk]);
    bool same = fa >= 0 && fb >= 0;
    while (same) {
        const ssize_t na = ::read(fa, ba.get(), kChunk);
        const ssize_t nb = ::read(fb, bb.get(), kChunk);
        same = na == nb && na >= 0 && std::equal(ba.get(), ba.get() + std::max<ssize_t>(na, 0), bb.get());
        if (na <= 0) {
            break;
        }
    }
    ::close(fa);
    ::close(fb);
    return same;
}

// The figures mean something only on a disk: a tmpfs /tmp measures memory copies.
std::string FileSystemOf(const fs::path& path) {
    struct statfs st {};
    if (::statfs(path.c_str(), &st) != 0) {
        return "unknown file system";
    }
    switch (static_cast<unsigned long>(st.f_type)) {
    case 0xEF53:
        return "ext4";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    case 0x01021994:
        return "tmpfs (memory, not a disk!)";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "file system type 0x%lx", static_cast<unsigned long>(st.f_type));
        return text;
    }
    }
}

// Removes a copy and lets the file system settle, so the next measurement starts from the same
// quiet state.
void Discard(const fs::path& copy) {
    fs::remove(copy);
    ::sync();
}

std::string Cell(const std::vector<double>& seconds, double scale, const char* format) {
    char best[32];
    char median[32];
    std::snprintf(best, sizeof best, format, BestOf(seconds) * scale);
    std::snprintf(median, sizeof median, format, MedianOf(seconds) * scale);
    return std::string(best) + " (" + median + ")";
}

} // namespace

int main(int argc, char** argv) {
    std::int64_t size = std::int64_t{1} << 30;
    int copyRepeats = 5;
    int moveRepeats = 21;
    fs::path workDir;
    bool keep = false;
    mwdx::bench::Options options(
        "marrowdex_transfer_bench --work-dir=DIR [--size=1G|512M|...] [--repeats=N] [--move-repeats=N] [--keep]");
    options.Folder("work-dir", workDir)
        .Value("size",
               [&size](std::string_view text) {
                   size = ParseSize(text);
                   return size > 0;
               })
        .Number("repeats", copyRepeats)
        .Number("move-repeats", moveRepeats)
        .Flag("keep", keep);
    if (!options.Parse(argc, argv)) {
        return 2;
    }

    const mwdx::HomeTree home(workDir.string());
    const fs::path source = workDir / "chosen-document.bin";
    const fs::path docs = workDir / "catalog";
    const fs::path programCopy = docs / "by-program.bin";
    const fs::path referenceCopy = docs / "by-cp.bin";
    fs::remove(source);
    fs::remove_all(docs);
    fs::create_directory(docs);
    const auto made = Clock::now();
    MakeSource(source, size);
    const double mb = static_cast<double>(size) / (1 << 20);
    std::printf("Document transfer: a %.0f MiB file in %s on %s (made and flushed in %.1f s)\n", mb, workDir.c_str(),
                FileSystemOf(workDir).c_str(), Seconds(made));
    std::printf("copy: HomeTree::CopyFileNoReplace (copy, fsync, publish, fsync of the folder) against `cp` then `sync "
                "FILE`\n");
    std::printf(
        "move: HomeTree::MoveFileNoReplace within one file system against `mv`; both started and timed from here\n");
    std::printf("best (median); ratio from the bests; order alternating; copies removed and `sync` run untimed\n\n");

    std::vector<double> copyProgram;
    std::vector<double> copyReference;
    for (int round = 0; round < copyRepeats; ++round) {
        const auto program = [&] {
            std::string error;
            const auto start = Clock::now();
            if (!home.CopyFileNoReplace(source.string(), programCopy.string(), &error)) {
                Fail("CopyFileNoReplace: " + error);
            }
            copyProgram.push_back(Seconds(start));
            if (round == 0 && !SameContent(source, programCopy)) {
                Fail("the program's copy differs from the source");
            }
            Discard(programCopy);
        };
        const auto reference = [&] {
            const auto start = Clock::now();
            Run({"cp", source.string(), referenceCopy.string()});
            Run({"sync", referenceCopy.string()});
            copyReference.push_back(Seconds(start));
            Discard(referenceCopy);
        };
        mwdx::bench::InTurn(round, program, reference);
    }

    std::vector<double> moveProgram;
    std::vector<double> moveReference;
    const fs::path moved = docs / "moved.bin";
    for (int round = 0; round < moveRepeats; ++round) {
        const auto moveBack = [&] {
            if (fs::exists(source) || !fs::exists(moved)) {
                Fail("the move did not take the file");
            }
            fs::rename(moved, source);
        };
        const auto program = [&] {
            std::string error;
            const auto start = Clock::now();
            if (!home.MoveFileNoReplace(source.string(), moved.string(), &error)) {
                Fail("MoveFileNoReplace: " + error);
            }
            moveProgram.push_back(Seconds(start));
            moveBack();
        };
        const auto reference = [&] {
            const auto start = Clock::now();
            Run({"mv", source.string(), moved.string()});
            moveReference.push_back(Seconds(start));
            moveBack();
        };
        mwdx::bench::InTurn(round, program, reference);
    }
    fs::remove(source);
    fs::remove_all(docs);

    const double copyRatio = BestOf(copyProgram) / BestOf(copyReference);
    const double moveRatio = BestOf(moveProgram) / BestOf(moveReference);
    std::printf("%-5s %3s | %21s %21s | %6s %s\n", "", "N", "program", "reference", "ratio", "target");
    std::printf("%-5s %3d | %19s s %19s s | %6.2f <= %.1f %s\n", "copy", copyRepeats,
                Cell(copyProgram, 1, "%.3f").c_str(), Cell(copyReference, 1, "%.3f").c_str(), copyRatio,
                kTargetCopyRatio, copyRatio <= kTargetCopyRatio ? "ok" : "MISSED");
    std::printf("%-5s %3d | %18s ms %18s ms | %6.3f <= %.1f %s\n", "move", moveRepeats,
                Cell(moveProgram, 1000, "%.3f").c_str(), Cell(moveReference, 1000, "%.3f").c_str(), moveRatio,
                kTargetMoveRatio, moveRatio <= kTargetMoveRatio ? "ok" : "MISSED");
    std::printf("\ncopy throughput, best: program %.0f MiB/s, cp + sync %.0f MiB/s\n", mb / BestOf(copyProgram),
                mb / BestOf(copyReference));
    return 0;
}

// Deleting a large catalog folder with its files: the program's delete (HomeTree::DeletePath:
// moved aside, then removed folder by folder through descriptors without following a link)
// against `rm -rf` and std::filesystem::remove_all on the same tree, made anew before every
// measurement. Prints figures and ratios; never passes or fails on speed.

#include "bench_common.h"
#include "platform/home_fs.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using mwdx::bench::BestOf;
using mwdx::bench::MedianOf;

constexpr int kFilesPerFolder = 50;
constexpr int kFoldersPerArchive = 20;

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nhome_delete_bench: FATAL: %s\n", what.c_str());
    std::exit(1);
}

// A catalog of `files` small documents, 50 to a folder, 20 folders to an archive folder.
void MakeCatalog(const fs::path& catalog, std::int64_t files) {
    const std::string content(200, 'd');
    for (std::int64_t i = 0; i < files; ++i) {
        const std::int64_t folder = i / kFilesPerFolder;
        const fs::path dir = catalog / ("Archive " + std::to_string(folder / kFoldersPerArchive)) /
                             ("Folder " + std::to_string(folder % kFoldersPerArchive));
        if (i % kFilesPerFolder == 0) {
            fs::create_directories(dir);
        }
        const fs::path file = dir / ("report-" + std::to_string(i) + ".txt");
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
            ::close(fd) != 0) {
            Fail("cannot write " + file.string());
        }
    }
}

struct Method {
    const char* name;
    std::function<void(const fs::path& home, const fs::path& catalog)> remove;
    std::vector<double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {10000, 100000};
    options.repeats = 3;
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options, "marrowdex_home_delete_bench --work-dir=DIR [--sizes=N,...] [--repeats=N]")) {
        return 2;
    }
    std::printf("Deleting a catalog folder of N small files (%d to a folder) in %s\n", kFilesPerFolder,
                options.workDir.c_str());
    std::printf("program: HomeTree::DeletePath; references: `rm -rf` (started and timed from here) and "
                "std::filesystem::remove_all\n");
    std::printf(
        "best (median) of %d; the tree made anew (in the page cache) and untimed before each; order rotating\n\n",
        options.repeats);
    std::printf("%8s | %20s %20s %20s | %13s %13s\n", "N", "program", "rm -rf", "remove_all", "program/rm",
                "/remove_all");

    for (const std::int64_t files : options.sizes) {
        const fs::path home = options.workDir / "home";
        const fs::path catalog = home / "Catalog";
        std::vector<Method> methods = {
            {"program",
             [](const fs::path& h, const fs::path& c) {
                 std::string error;
                 if (!mwdx::HomeTree(h.string()).DeletePath(c.string(), &error)) {
                     Fail(error);
                 }
             },
             {}},
            {"rm",
             [](const fs::path&, const fs::path& c) {
                 if (!mwdx::bench::RunTool({"rm", "-rf", c.string()})) {
                     Fail("rm -rf failed");
                 }
             },
             {}},
            {"remove_all", [](const fs::path&, const fs::path& c) { fs::remove_all(c); }, {}},
        };
        for (int round = 0; round < options.repeats; ++round) {
            for (std::size_t k = 0; k < methods.size(); ++k) {
                Method& method = methods[(k + static_cast<std::size_t>(round)) % methods.size()];
                fs::remove_all(home);
                MakeCatalog(catalog, files);
                const auto start = Clock::now();
                method.remove(home, catalog);
                method.seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
                if (fs::exists(catalog) || !fs::is_empty(home)) {
                    Fail(std::string(method.name) + " left something behind");
                }
            }
        }
        fs::remove_all(home);
        auto cell = [](const std::vector<double>& s) {
            char text[64];
            std::snprintf(text, sizeof text, "%.1f (%.1f) ms", BestOf(s) * 1000, MedianOf(s) * 1000);
            return std::string(text);
        };
        std::printf("%8lld | %20s %20s %20s | %13.2f %13.2f\n", static_cast<long long>(files),
                    cell(methods[0].seconds).c_str(), cell(methods[1].seconds).c_str(),
                    cell(methods[2].seconds).c_str(), BestOf(methods[0].seconds) / BestOf(methods[1].seconds),
                    BestOf(methods[0].seconds) / BestOf(methods[2].seconds));
        std::fflush(stdout);
    }
    return 0;
}

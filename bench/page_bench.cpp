// Index page benchmark: how long the program takes to write the page for a large catalog tree,
// against writing the same bytes, line by line, with a plain std::ofstream in the same run, both
// flushed to disk with their folder.
// Prints figures and ratios; never passes or fails on speed.

#include "bench_common.h"
#include "catalog/loader.h"
#include "catalog/model.h"
#include "index/page_texts.h"
#include "index/page_writer.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/settings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kTargetRatioAt1M = 1.5;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Figures {
    std::int64_t nodes = 0;
    std::int64_t bytes = 0;
    double page = 1e9;      // best time of WriteIndexPage
    double reference = 1e9; // best time of the plain stream
};

bool Measure(const fs::path& workDir, std::int64_t rows, int repeats, Figures* figures) {
    const std::string db = (workDir / ("sample-" + std::to_string(rows) + ".db")).string();
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog(db, mwdx::bench::Shape::Wide, rows, nullptr, &error)) {
        std::fprintf(stderr, "page_bench: cannot build the sample store: %s\n", error.c_str());
        return false;
    }
    const fs::path home = workDir / ("home-" + std::to_string(rows));
    fs::create_directory(home);

    mwdx::OpenStore(db);
    mwdx::SettingsRecord settings{};
    if (mwdx::LoadSettings() != 1 || mwdx::GetSettings(&settings) != 1) {
        std::fprintf(stderr, "page_bench: cannot read the sample store's settings\n");
        return false;
    }
    mwdx::SetRootDir(settings, home.string());
    mwdx::ReplaceSettings(settings);
    mwdx::CatalogModel model;
    const int loaded = mwdx::LoadCatalog(model);
    mwdx::CloseStore();
    if (loaded != 1) {
        std::fprintf(stderr, "page_bench: cannot load the sample store\n");
        return false;
    }
    figures->nodes = model.NodeCount();

    const mwdx::LanguageStrings texts(true);
    const fs::path page = mwdx::IndexPagePath(home.string());
    const fs::path copy = home / "reference.html";
    std::string pageBytes;
    std::vector<std::string_view> lines;

    const auto writePage = [&] {
        fs::remove(page);
        const auto start = Clock::now();
        const mwdx::PageWriteResult result = mwdx::WriteIndexPage(model, texts, mwdx::PageBackup::kNone);
        const double seconds = Seconds(start);
        if (!result.Ok()) {
            std::fprintf(stderr, "page_bench: %s\n", result.detail.c_str());
            std::exit(1);
        }
        figures->page = std::min(figures->page, seconds);
    };
    const auto writeReference = [&] {
        fs::remove(copy);
        const auto start = Clock::now();
        std::ofstream out(copy, std::ios::binary);
        for (const std::string_view line : lines) {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
        }
        out.close();
        // Flushed as the page is: the file, then its folder.
        bool flushed = true;
        for (const fs::path& path : {copy, copy.parent_path()}) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            flushed = flushed && fd >= 0 && ::fsync(fd) == 0;
            if (fd >= 0) {
                ::close(fd);
            }
        }
        const double seconds = Seconds(start);
        if (!out || !flushed) {
            std::fprintf(stderr, "page_bench: cannot write %s\n", copy.c_str());
            std::exit(1);
        }
        figures->reference = std::min(figures->reference, seconds);
    };

    // A first page, untimed, gives the reference its lines: the same bytes in the same pieces.
    writePage();
    figures->page = 1e9;
    pageBytes = ReadFile(page);
    figures->bytes = static_cast<std::int64_t>(pageBytes.size());
    for (std::size_t start = 0; start < pageBytes.size();) {
        const std::size_t end = pageBytes.find('\n', start);
        const std::size_t next = end == std::string::npos ? pageBytes.size() : end + 1;
        lines.emplace_back(pageBytes.data() + start, next - start);
        start = next;
    }
    for (int round = 0; round < repeats; ++round) {
        mwdx::bench::InTurn(round, writePage, writeReference);
    }
    if (ReadFile(copy) != pageBytes) {
        std::fprintf(stderr, "page_bench: the reference did not write the page's bytes\n");
        return false;
    }
    fs::remove_all(home);
    fs::remove(db);
    mwdx::FreeSettings();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    mwdx::bench::SizedRunOptions options;
    options.sizes = {100000, 1000000};
    if (!mwdx::bench::ParseSizedRunOptions(
            argc, argv, options, "marrowdex_page_bench --work-dir=DIR [--sizes=100000,1000000] [--repeats=N]")) {
        return 2;
    }
    const auto& [sizes, repeats, workDir, keep] = options;

    std::printf("Index page: WriteIndexPage against std::ofstream writing the same lines, both flushed (best of %d, wide "
                "shape)\n\n",
                repeats);
    std::printf("%10s %10s %12s %12s %8s\n", "nodes", "MB", "page s", "stream s", "ratio");
    for (const std::int64_t rows : sizes) {
        Figures figures;
        if (!Measure(workDir, rows, repeats, &figures)) {
            return 1;
        }
        std::printf("%10lld %10.1f %12.3f %12.3f %8.2f\n", static_cast<long long>(figures.nodes),
                    static_cast<double>(figures.bytes) / 1e6, figures.page, figures.reference,
                    figures.page / figures.reference);
        if (rows == 1000000) {
            std::printf("%56s (target at 1M: at most %.1f)\n", "", kTargetRatioAt1M);
        }
    }
    return 0;
}

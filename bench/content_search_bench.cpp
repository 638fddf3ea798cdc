// Content search at scale: a generated corpus of mixed Chinese and English documents (100,000 of
// about 20 KB each: 2 GB of extracted text) put into the content index; then the time to the first
// 20 hits with snippets for English words and Chinese of 1 to 4 characters (p50 / p95), the index's
// size against the text, a few queries checked against a plain scan of the stored texts, and the
// indexing rate of real 10-page PDFs through the extraction worker against pdftotext on the same
// files. Figures only: nothing here passes or fails on speed.
//
//   marrowdex_content_search_bench --work-dir=DIR [--documents=N] [--pdfs=N] [--corpus=PATH] [--no-scan]
//
// --corpus=PATH keeps the corpus's index at PATH and uses it again when it is there.

#include "bench_common.h"
#include "platform/text.h"
#include "support/document_files.h"
#include "textindex/indexer.h"
#include "textindex/text_index.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Ranks drawn with Zipf's law (weight 1/rank), as words and characters occur in real text.
class Zipf final {
public:
    explicit Zipf(std::size_t count) : m_cumulative(count) {
        double sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            sum += 1.0 / static_cast<double>(i + 1);
            m_cumulative[i] = sum;
        }
    }
    std::size_t Draw(std::mt19937_64& random) const {
        const double at = std::uniform_real_distribution<double>(0, m_cumulative.back())(random);
        return static_cast<std::size_t>(std::lower_bound(m_cumulative.begin(), m_cumulative.end(), at) -
                                        m_cumulative.begin());
    }

private:
    std::vector<double> m_cumulative;
};

class Corpus final {
public:
    Corpus() : m_wordRanks(20000), m_charRanks(3000) {
        const char* onsets[] = {"b", "c", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r", "s", "t", "v", "w", "st", "tr", "pl", "gr"};
        const char* vowels[] = {"a", "e", "i", "o", "u", "ai", "ou", "ea"};
        std::mt19937_64 random(11);
        std::set<std::string> seen;
        while (m_words.size() < 20000) {
            std::string word;
            const int syllables = 1 + static_cast<int>(random() % 4);
            for (int s = 0; s < syllables; ++s) {
                word += onsets[random() % std::size(onsets)];
                word += vowels[random() % std::size(vowels)];
            }
            if (random() % 3 == 0) {
                word += "n";
            }
            if (seen.insert(word).second) {
                m_words.push_back(word);
            }
        }
        for (char32_t i = 0; i < 3000; ++i) {
            m_chars.push_back(U'\u4E00' + i * 7);
        }
    }

    std::string Document(std::mt19937_64& random) const {
        const std::size_t target = 10000 + random() % 20000;
        std::string text;
        text.reserve(target + 256);
        while (text.size() < target) {
            if (random() % 2 == 0) {
                const int length = 10 + static_cast<int>(random() % 30);
                for (int i = 0; i < length; ++i) {
                    mwdx::AppendUtf8(text, m_chars[m_charRanks.Draw(random)]);
                    if (random() % 12 == 0) {
                        mwdx::AppendUtf8(text, U'，');
                    }
                }
                mwdx::AppendUtf8(text, U'。');
            } else {
                const int length = 6 + static_cast<int>(random() % 12);
                for (int i = 0; i < length; ++i) {
                    std::string word = m_words[m_wordRanks.Draw(random)];
                    if (i == 0) {
                        word[0] = static_cast<char>(word[0] - 'a' + 'A');
                    }
                    text += word;
                    text += i + 1 == length ? ". " : " ";
                }
            }
            if (random() % 6 == 0) {
                text += "\n";
            }
        }
        return text;
    }

    const std::string& Word(std::size_t rank) const { return m_words[rank]; }

private:
    std::vector<std::string> m_words;
    std::vector<char32_t> m_chars;
    Zipf m_wordRanks;
    Zipf m_charRanks;
};

std::int64_t FileBytes(const std::string& path) {
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 ? static_cast<std::int64_t>(file.st_size) : 0;
}

struct Options {
    fs::path workDir;
    std::int64_t documents = 100000;
    int pdfs = 200;
    std::string corpus;
    bool scan = true;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(std::ceil(p * values.size())) - 1);
    return values[at];
}

// Chinese of `length` characters taken from a stored text at random.
std::string ChineseFrom(const std::string& text, std::size_t length, std::mt19937_64& random) {
    for (int tries = 0; tries < 200; ++tries) {
        std::size_t at = random() % text.size();
        while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            --at;
        }
        std::string piece;
        std::size_t chars = 0;
        while (at + 3 <= text.size() && chars < length) {
            const unsigned char lead = static_cast<unsigned char>(text[at]);
            if (lead != 0xE4 && lead != 0xE5 && lead != 0xE6 && lead != 0xE7 && lead != 0xE8 && lead != 0xE9) {
                break;
            }
            piece.append(text, at, 3);
            at += 3;
            ++chars;
        }
        if (chars == length) {
            return piece;
        }
    }
    return {};
}

int Run(const Options& options) {
    const Corpus corpus;
    const std::string indexPath = options.corpus.empty() ? (options.workDir / "corpus_text.db").string() : options.corpus;
    std::string error;
    const auto opening = Clock::now();
    std::unique_ptr<mwdx::TextIndex> index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kWrite, &error);
    if (!index) {
        std::fprintf(stderr, "%s: %s\n", indexPath.c_str(), error.c_str());
        return 1;
    }
    // An index kept from a run with another folding or other terms is given new terms here.
    std::printf("opened %s in %.1f s\n", indexPath.c_str(), Seconds(Clock::now() - opening));
    std::int64_t have = static_cast<std::int64_t>(index->Documents().size());
    std::int64_t textBytes = 0;
    if (have != options.documents) {
        if (have != 0) {
            index.reset();
            for (const char* suffix : {"", "-wal", "-shm"}) {
                fs::remove(indexPath + suffix);
            }
            index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kWrite, &error);
        }
        std::printf("corpus: %lld documents into %s\n", static_cast<long long>(options.documents), indexPath.c_str());
        std::mt19937_64 random(2026);
        const auto start = Clock::now();
        constexpr std::int64_t kBatch = 500;
        for (std::int64_t id = 1; id <= options.documents; id += kBatch) {
            if (!index->BeginBatch()) {
                std::fprintf(stderr, "cannot begin a batch\n");
                return 1;
            }
            for (std::int64_t k = id; k < std::min(id + kBatch, options.documents + 1); ++k) {
                mwdx::Extraction extraction;
                extraction.format = mwdx::DocFormat::kPlainText;
                extraction.text = corpus.Document(random);
                textBytes += static_cast<std::int64_t>(extraction.text.size());
                if (!index->Put(k, "/corpus/" + std::to_string(k) + ".txt", {k, k, k}, extraction)) {
                    std::fprintf(stderr, "cannot put document %lld\n", static_cast<long long>(k));
                    return 1;
                }
            }
            if (!index->CommitBatch()) {
                std::fprintf(stderr, "cannot commit\n");
                return 1;
            }
            if ((id - 1) % 10000 == 0) {
                std::printf("  %lld documents, %.0f s\n", static_cast<long long>(id - 1), Seconds(Clock::now() - start));
                std::fflush(stdout);
            }
        }
        std::printf("corpus built in %.0f s: %.0f MB/s of text into the index\n", Seconds(Clock::now() - start),
                    static_cast<double>(textBytes) / 1e6 / Seconds(Clock::now() - start));
        index.reset();
        index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kWrite, &error);
    }
    // The stored texts' total is the extracted text.
    {
        textBytes = 0;
        for (const auto& [id, document] : index->Documents()) {
            (void)id;
            textBytes += document.chars; // characters; bytes are counted below from the texts
        }
        std::int64_t bytes = 0;
        for (std::int64_t id = 1; id <= options.documents; ++id) {
            if (const std::optional<std::string> text = index->Text(id)) {
                bytes += static_cast<std::int64_t>(text->size());
            }
        }
        std::printf("\nextracted text: %.2f GB (%.0f M characters) in %lld documents\n", static_cast<double>(bytes) / 1e9,
                    static_cast<double>(textBytes) / 1e6, static_cast<long long>(options.documents));
        index.reset();
        {
            sqlite3* db = nullptr;
            sqlite3_open(indexPath.c_str(), &db);
            sqlite3_exec(db, "pragma wal_checkpoint(truncate);", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        const std::int64_t fileBytes = FileBytes(indexPath) + FileBytes(indexPath + "-wal");
        std::printf("index file (stored text and terms): %.2f GB = %.2f x the extracted text\n",
                    static_cast<double>(fileBytes) / 1e9, static_cast<double>(fileBytes) / static_cast<double>(bytes));
        index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kRead, &error);
    }

    // Queries: English words from common to rare, two words, a prefix; Chinese of 1 to 4 characters
    // taken from the texts.
    std::mt19937_64 random(99);
    struct Category {
        std::string name;
        std::vector<std::string> queries;
        std::vector<double> ms;
        std::vector<double> idsMs; // every matching document, unranked: what marks the tree
        std::size_t matching = 0;
        std::size_t hits = 0;
        std::size_t capped = 0;
    };
    std::vector<Category> categories;
    for (const char* name : {"english word", "two words", "prefix of 3", "chinese 1", "chinese 2", "chinese 3",
                             "chinese 4", "prefix of 2"}) {
        categories.emplace_back();
        categories.back().name = name;
    }
    const auto logRank = [&] {
        return static_cast<std::size_t>(std::exp(std::uniform_real_distribution<double>(0, std::log(20000.0))(random))) % 20000;
    };
    for (int q = 0; q < 40; ++q) {
        categories[0].queries.push_back(corpus.Word(logRank()) + " ");
        categories[1].queries.push_back(corpus.Word(logRank()) + " " + corpus.Word(logRank()) + " ");
        categories[2].queries.push_back(corpus.Word(logRank()).substr(0, 3));
        const std::optional<std::string> text = index->Text(1 + static_cast<std::int64_t>(random() % options.documents));
        for (std::size_t length = 1; length <= 4; ++length) {
            std::string piece = text ? ChineseFrom(*text, length, random) : std::string();
            categories[2 + length].queries.push_back(piece.empty() ? "中" : piece);
        }
        categories[7].queries.push_back(corpus.Word(logRank()).substr(0, 2));
    }
    for (int round = 0; round < 4; ++round) {
        for (Category& category : categories) {
            for (const std::string& query : category.queries) {
                const auto start = Clock::now();
                const mwdx::ContentResults results = index->Search(mwdx::ParseQuery(query), 20, 1000);
                const double ms = Seconds(Clock::now() - start) * 1000;
                const auto idsStart = Clock::now();
                const std::vector<mwdx::NodeId> ids = index->MatchingIds(mwdx::ParseQuery(query));
                const double idsMs = Seconds(Clock::now() - idsStart) * 1000;
                if (round > 0) { // the first round warms the page cache
                    category.ms.push_back(ms);
                    category.idsMs.push_back(idsMs);
                    category.matching += ids.size();
                    category.hits += results.hits.size();
                    category.capped += results.capped;
                }
            }
        }
    }
    std::printf("\nfirst 20 hits with snippets, ranked by bm25 among the first 1000 matches (40 queries x 3 rounds):\n");
    std::printf("%-14s %8s %8s %8s %10s %8s   %s\n", "query", "p50 ms", "p95 ms", "max ms", "hits/query", "capped",
                "every match unranked: p95 ms, matches/query");
    for (const Category& category : categories) {
        const double samples = static_cast<double>(category.ms.size());
        std::printf("%-14s %8.1f %8.1f %8.1f %10.1f %7.0f%%   %8.1f %9.0f\n", category.name.c_str(),
                    Percentile(category.ms, 0.5), Percentile(category.ms, 0.95),
                    *std::max_element(category.ms.begin(), category.ms.end()),
                    static_cast<double>(category.hits) / samples, 100.0 * static_cast<double>(category.capped) / samples,
                    Percentile(category.idsMs, 0.95), static_cast<double>(category.matching) / samples);
    }

    if (options.scan) {
        // Nothing missed: a few queries of each kind against a plain scan of every stored text.
        std::vector<std::string> queries;
        for (const Category& category : categories) {
            if (category.name != "two words") {
                queries.push_back(category.queries[0]);
                queries.push_back(category.queries[1]);
            }
        }
        std::vector<std::set<mwdx::NodeId>> scanned(queries.size());
        const auto start = Clock::now();
        for (std::int64_t id = 1; id <= options.documents; ++id) {
            const std::optional<std::string> text = index->Text(id);
            if (!text) {
                continue;
            }
            const std::string folded = " " + mwdx::FoldText(*text) + " ";
            for (std::size_t q = 0; q < queries.size(); ++q) {
                const std::string& query = queries[q];
                bool found;
                if (static_cast<unsigned char>(query[0]) >= 0x80) {
                    found = folded.find(query) != std::string::npos;
                } else {
                    const bool prefix = query.back() != ' ';
                    const std::string word = query.substr(0, query.find(' '));
                    found = false;
                    for (std::size_t at = folded.find(word); at != std::string::npos && !found; at = folded.find(word, at + 1)) {
                        const auto isWord = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
                        found = !isWord(folded[at - 1]) && (prefix || !isWord(folded[at + word.size()]));
                    }
                }
                if (found) {
                    scanned[q].insert(id);
                }
            }
        }
        int agree = 0;
        for (std::size_t q = 0; q < queries.size(); ++q) {
            const std::vector<mwdx::NodeId> ids = index->MatchingIds(mwdx::ParseQuery(queries[q]));
            const bool same = std::set<mwdx::NodeId>(ids.begin(), ids.end()) == scanned[q];
            agree += same;
            std::printf("%s  %-10s index %6zu  scan %6zu\n", same ? "same" : "DIFF", queries[q].c_str(), ids.size(),
                        scanned[q].size());
        }
        std::printf("nothing missed: %d of %zu queries find exactly what a scan of the texts finds (scan %.0f s)\n",
                    agree, queries.size(), Seconds(Clock::now() - start));
    }
    index.reset();

    // Indexing rate: real 10-page PDFs through the worker, against pdftotext on the same files.
    if (options.pdfs > 0) {
        const fs::path folder = options.workDir / "pdfs";
        fs::create_directories(folder);
        std::vector<mwdx::DocumentFile> files;
        std::mt19937_64 pdfRandom(5);
        for (int i = 0; i < options.pdfs; ++i) {
            const std::string text = corpus.Document(pdfRandom);
            std::vector<std::string> pages;
            std::string page;
            for (std::size_t at = 0; at < text.size() && pages.size() < 10;) {
                // About 2,000 bytes a page, in lines of about 80, cut at character boundaries.
                std::size_t end = std::min(text.size(), at + 80);
                while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
                    ++end;
                }
                std::string line = text.substr(at, end - at);
                std::replace(line.begin(), line.end(), '\n', ' ');
                page += line + "\n";
                at = end;
                if (page.size() > 2000) {
                    pages.push_back(page);
                    page.clear();
                }
            }
            while (pages.size() < 10) {
                pages.push_back("last page");
            }
            const std::string path = (folder / ("doc" + std::to_string(i) + ".pdf")).string();
            std::ofstream(path, std::ios::binary) << mwdx::test::PdfBytes(pages);
            files.push_back({i + 1, path});
        }
        const std::string pdfIndex = (options.workDir / "pdf_text.db").string();
        mwdx::IndexerOptions indexer;
        indexer.workerProgram = EXTRACT_PATH;
        double ours = 0;
        double reference = 0;
        for (int round = 0; round < 3; ++round) {
            mwdx::bench::InTurn(
                round,
                [&] {
                    for (const char* suffix : {"", "-wal", "-shm"}) {
                        fs::remove(pdfIndex + suffix);
                    }
                    std::unique_ptr<mwdx::TextIndex> target = mwdx::TextIndex::Open(pdfIndex, mwdx::TextIndex::Mode::kWrite);
                    const auto start = Clock::now();
                    const mwdx::IndexPassReport report = mwdx::UpdateTextIndex(*target, files, indexer);
                    const double seconds = Seconds(Clock::now() - start);
                    if (report.read != files.size() || !report.skipped.empty()) {
                        std::fprintf(stderr, "indexing read %zu of %zu, %zu skipped: %s\n", report.read, files.size(),
                                     report.skipped.size(), report.failure.c_str());
                    }
                    ours = std::max(ours, static_cast<double>(files.size()) / seconds);
                },
                [&] {
                    const auto start = Clock::now();
                    for (const mwdx::DocumentFile& file : files) {
                        const std::string out = file.path + ".txt";
                        mwdx::bench::RunTool({"pdftotext", "-enc", "UTF-8", file.path, out});
                    }
                    reference = std::max(reference, static_cast<double>(files.size()) / Seconds(Clock::now() - start));
                });
        }
        std::printf("\nindexing %d PDFs of 10 pages (about 2,000 bytes of text a page), best of 3:\n", options.pdfs);
        std::printf("  the indexer (one worker process, extraction, folding, terms, stored text): %.1f PDFs/s\n", ours);
        std::printf("  pdftotext, one process a file, the same files:                          %.1f PDFs/s\n", reference);
        std::printf("  ratio: %.2f (the indexer's rate / pdftotext's)\n", ours / reference);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.starts_with("--work-dir=")) {
            options.workDir = std::string(arg.substr(11));
        } else if (arg.starts_with("--documents=")) {
            options.documents = std::atoll(std::string(arg.substr(12)).c_str());
        } else if (arg.starts_with("--pdfs=")) {
            options.pdfs = std::atoi(std::string(arg.substr(7)).c_str());
        } else if (arg.starts_with("--corpus=")) {
            options.corpus = std::string(arg.substr(9));
        } else if (arg == "--no-scan") {
            options.scan = false;
        } else if (arg != "--keep") {
            std::fprintf(stderr, "usage: marrowdex_content_search_bench --work-dir=DIR [--documents=N] [--pdfs=N] "
                                 "[--corpus=PATH] [--no-scan] [--keep]\n");
            return 2;
        }
    }
    if (options.workDir.empty() || !fs::is_directory(options.workDir) || options.documents <= 0) {
        std::fprintf(stderr, "a work folder is needed (--work-dir=DIR)\n");
        return 2;
    }
    return Run(options);
}

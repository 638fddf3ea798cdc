// marrowdex-search [DATABASE] QUERY [--json] [--no-update] [--limit N]: finds the documents whose
// text matches QUERY, from the content index beside the store (mymwdx_text.db). First it brings the
// index up to date (what is new or changed is read, with progress on stderr) unless --no-update is
// given. Prints each match's catalog path and a snippet, in the locale's language, or JSON.
// It never writes to the store. Exit status: 0 matches, 1 none, 2 usage, a store it cannot read,
// or an index it cannot bring up to date.

#include "catalog/loader.h"
#include "platform/language.h"
#include "platform/program_dir.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"
#include "textindex/extraction_worker.h"
#include "textindex/indexer.h"
#include "textindex/text_index.h"
#include "tools/json_text.h"
#include "tools/read_store.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFound = 0;
constexpr int kNothing = 1;
constexpr int kCannot = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "marrowdex-search: %s\n", message.c_str());
    return kCannot;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: marrowdex-search [DATABASE] QUERY [--json] [--no-update] [--limit N]\n"
                 "Finds the documents of the knowledge base DATABASE (default: mymwdx.db beside this tool)\n"
                 "whose text matches QUERY: words in any order (the last one may be the start of a word),\n"
                 "\"quoted phrases\", Chinese of any length. First brings the content index up to date, unless\n"
                 "--no-update. Exit status: 0 matches, 1 none, 2 usage or a database that cannot be read.\n"
                 "It never writes to the database.\n");
    return kCannot;
}

std::string Text(const mwdx::LanguageStrings& texts, int id) {
    return mwdx::ToStoreText(texts.Text(id));
}

// The text of `id` with %1 (and %2) replaced.
std::string Filled(const mwdx::LanguageStrings& texts, int id, const std::string& first,
                   const std::string& second = {}) {
    std::string text = Text(texts, id);
    if (const std::size_t at = text.find("%1"); at != std::string::npos) {
        text.replace(at, 2, first);
    }
    if (const std::size_t at = text.find("%2"); at != std::string::npos) {
        text.replace(at, 2, second);
    }
    return text;
}

// Progress on stderr: on a terminal one line rewritten in place, elsewhere a line now and then.
class ProgressLine final {
public:
    explicit ProgressLine(const mwdx::LanguageStrings& texts) : m_texts(texts), m_terminal(::isatty(2) != 0) {}

    void Show(std::size_t done, std::size_t total) {
        if (total == 0) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        const bool last = done == total;
        if (!last && done != 0 && now - m_shown < (m_terminal ? std::chrono::milliseconds(200) : std::chrono::seconds(2))) {
            return;
        }
        m_shown = now;
        const std::string line =
            Filled(m_texts, mwdx::text::kIndexingProgress, mwdx::GroupedCount(done), mwdx::GroupedCount(total));
        std::fprintf(stderr, m_terminal ? "\r%s%s" : "%s%s", line.c_str(), m_terminal && !last ? "" : "\n");
        std::fflush(stderr);
    }

private:
    const mwdx::LanguageStrings& m_texts;
    bool m_terminal;
    std::chrono::steady_clock::time_point m_shown{};
};

// The snippet with its marks: brackets, or bold on a terminal.
std::string Marked(const mwdx::Snippet& snippet, bool terminal) {
    const char* open = terminal ? "\033[1m" : "[";
    const char* close = terminal ? "\033[0m" : "]";
    std::string out;
    std::size_t at = 0;
    for (const mwdx::Highlight& highlight : snippet.highlights) {
        out.append(snippet.text, at, highlight.begin - at);
        out += open;
        out.append(snippet.text, highlight.begin, highlight.length);
        out += close;
        at = highlight.begin + highlight.length;
    }
    out.append(snippet.text, at, std::string::npos);
    return mwdx::SanitizeUtf8(out);
}

} // namespace

int main(int argc, char** argv) {
    std::string databasePath;
    std::string query;
    bool json = false;
    bool update = true;
    std::size_t limit = 20;
    int positional = 0;
    std::string positionals[2];
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--no-update") {
            update = false;
        } else if (arg == "--limit" && i + 1 < argc) {
            const long long value = std::atoll(argv[++i]);
            if (value <= 0) {
                return Usage();
            }
            limit = static_cast<std::size_t>(value);
        } else if (arg.starts_with("--") || positional == 2) {
            return Usage();
        } else {
            positionals[positional++] = std::string(arg);
        }
    }
    if (positional == 0) {
        return Usage();
    }
    if (positional == 2) {
        databasePath = positionals[0];
        query = positionals[1];
    } else {
        query = positionals[0];
    }
    const mwdx::ParsedQuery parsed = mwdx::ParseQuery(query);
    if (parsed.Empty()) {
        std::fprintf(stderr, "marrowdex-search: the query has no words to look for\n");
        return Usage();
    }
    if (const std::string failure = mwdx::OpenStoreToRead(&databasePath); !failure.empty()) {
        return Fail(failure);
    }
    mwdx::CatalogModel catalog;
    mwdx::LoadCatalog(catalog);
    mwdx::FreeSettings();
    mwdx::CloseStore();

    const mwdx::LanguageStrings texts(mwdx::UseEnglishFor(mwdx::SystemDefaultLangId()));
    const std::string indexPath = mwdx::TextIndexPathFor(databasePath);
    std::string error;
    std::unique_ptr<mwdx::TextIndex> index;
    if (update) {
        index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kWrite, &error);
        if (!index) {
            return Fail(Text(texts, mwdx::text::kContentIndexUnusable) + ": " + indexPath + ": " + error);
        }
        mwdx::IndexerOptions options;
        options.workerProgram = mwdx::WorkerBesideProgram();
        if (const char* worker = std::getenv("MARROWDEX_EXTRACT"); worker != nullptr && *worker != '\0') {
            options.workerProgram = worker;
        }
        ProgressLine progress(texts);
        const mwdx::IndexPassReport report = mwdx::UpdateTextIndex(
            *index, mwdx::DocumentsOf(catalog), options, [&](std::size_t done, std::size_t total) {
                progress.Show(done, total);
            });
        if (!report.failure.empty()) {
            return Fail("cannot bring the content index up to date: " + report.failure);
        }
        if (!report.skipped.empty()) {
            std::fprintf(stderr, "%s\n",
                         Filled(texts, mwdx::text::kDocumentsNotIndexed, mwdx::GroupedCount(report.skipped.size()))
                             .c_str());
            for (const auto& [id, reason] : report.skipped) {
                const mwdx::CatalogNode* node = catalog.NodeById(id);
                std::fprintf(stderr, "  %s: %s\n",
                             node != nullptr ? mwdx::SanitizeUtf8(mwdx::CatalogPathOf(*node)).c_str() : "?",
                             Text(texts, mwdx::SkipReasonText(reason)).c_str());
            }
        }
    } else {
        index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kRead, &error);
        if (!index) {
            return Fail(Text(texts, mwdx::text::kContentIndexUnusable) + ": " + indexPath + ": " + error);
        }
    }

    mwdx::ContentResults results = index->Search(parsed, limit, std::max<std::size_t>(1000, limit));
    // An index not brought up to date may still name documents that are gone.
    std::erase_if(results.hits, [&](const mwdx::ContentHit& hit) { return catalog.NodeById(hit.id) == nullptr; });
    const bool terminal = ::isatty(1) != 0;
    if (json) {
        std::printf("{\"database\":%s,\"index\":%s,\"query\":%s,\"matches\":%zu,\"capped\":%s,\"hits\":[",
                    mwdx::Json(databasePath).c_str(), mwdx::Json(indexPath).c_str(),
                    mwdx::Json(mwdx::SanitizeUtf8(query)).c_str(), results.matches, results.capped ? "true" : "false");
        bool first = true;
        for (const mwdx::ContentHit& hit : results.hits) {
            const mwdx::CatalogNode& node = *catalog.NodeById(hit.id);
            std::printf("%s{\"id\":%lld,\"path\":%s,\"file\":%s,\"page\":%s,\"snippet\":%s,\"highlights\":[",
                        first ? "" : ",", static_cast<long long>(hit.id),
                        mwdx::Json(mwdx::SanitizeUtf8(mwdx::CatalogPathOf(node))).c_str(),
                        mwdx::Json(mwdx::SanitizeUtf8(hit.path)).c_str(),
                        hit.paged ? std::to_string(hit.snippet.page).c_str() : "null",
                        mwdx::Json(hit.snippet.text).c_str());
            for (std::size_t k = 0; k < hit.snippet.highlights.size(); ++k) {
                std::printf("%s[%zu,%zu]", k == 0 ? "" : ",", hit.snippet.highlights[k].begin,
                            hit.snippet.highlights[k].length);
            }
            std::printf("]}");
            first = false;
        }
        std::printf("]}\n");
    } else if (results.hits.empty()) {
        std::printf("%s\n", Text(texts, mwdx::text::kNoContentMatch).c_str());
    } else {
        for (const mwdx::ContentHit& hit : results.hits) {
            const mwdx::CatalogNode& node = *catalog.NodeById(hit.id);
            std::string heading = mwdx::SanitizeUtf8(mwdx::CatalogPathOf(node));
            if (hit.paged) {
                heading += " (" + Filled(texts, mwdx::text::kPageNumber, std::to_string(hit.snippet.page)) + ")";
            }
            std::printf("%s\n    %s\n", heading.c_str(), Marked(hit.snippet, terminal).c_str());
        }
        std::printf("%s%s\n", Filled(texts, mwdx::text::kContentMatchCount, mwdx::GroupedCount(results.matches)).c_str(),
                    results.capped ? "+" : "");
    }
    return results.hits.empty() ? kNothing : kFound;
}

// marrowdex-check [DATABASE] [--json]: checks a knowledge base against its Home Directory and
// prints what disagrees, grouped by kind, in the locale's language (or as JSON). It never writes.
// Exit status: 0 healthy, 1 findings, 2 usage, a store that cannot be read, or a Home Directory that
// is not a full folder path (the report, which says so, is printed all the same).

#include "operations/check.h"

#include "catalog/loader.h"
#include "platform/language.h"
#include "platform/program_dir.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"
#include "textindex/indexer.h"
#include "textindex/text_index.h"
#include "tools/json_text.h"
#include "tools/read_store.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr int kHealthy = 0;
constexpr int kFound = 1;
constexpr int kCannot = 2;

constexpr const char* kKindKeys[mwdx::kFindingKinds] = {
    "missing",   "wrong-type",    "untracked",     "unplaced",      "wrong-level",   "shared-path",
    "bad-name",  "unfinished",    "script-folder", "refused-entry", "home-directory", "not-indexed",
    "index-stale", "trash"};

int Fail(const std::string& message) {
    std::fprintf(stderr, "marrowdex-check: %s\n", message.c_str());
    return kCannot;
}

std::string Text(const mwdx::LanguageStrings& texts, int id) {
    return mwdx::ToStoreText(texts.Text(id));
}

void PrintJson(const std::string& database, const std::string& home, const mwdx::CheckReport& report) {
    std::printf("{\"database\":%s,\"home\":%s,\"healthy\":%s,\"nodes\":%zu,\"entries\":%zu,\"counts\":{",
                mwdx::Json(database).c_str(), mwdx::Json(home).c_str(), report.Healthy() ? "true" : "false", report.nodes,
                report.entries);
    for (int kind = 0; kind < mwdx::kFindingKinds; ++kind) {
        std::printf("%s%s:%zu", kind == 0 ? "" : ",", mwdx::Json(kKindKeys[kind]).c_str(),
                    report.Count(static_cast<mwdx::FindingKind>(kind)));
    }
    std::printf("},\"findings\":[");
    bool first = true;
    for (const mwdx::Finding& finding : report.findings) {
        std::printf("%s{\"kind\":%s,\"node\":%lld,\"path\":%s,\"detail\":%s}", first ? "" : ",",
                    mwdx::Json(kKindKeys[static_cast<int>(finding.kind)]).c_str(), static_cast<long long>(finding.nodeId),
                    mwdx::Json(mwdx::SanitizeUtf8(finding.path)).c_str(), mwdx::Json(finding.detail).c_str());
        first = false;
    }
    std::printf("]}\n");
}

void PrintText(const mwdx::CheckReport& report) {
    const mwdx::LanguageStrings texts(mwdx::UseEnglishFor(mwdx::SystemDefaultLangId()));
    if (report.Healthy()) {
        std::printf("%s\n", Text(texts, mwdx::text::kCheckHealthy).c_str());
        return;
    }
    std::printf("%s%zu\n", Text(texts, mwdx::text::kCheckFindings).c_str(), report.findings.size());
    for (int kind = 0; kind < mwdx::kFindingKinds; ++kind) {
        const std::size_t count = report.Count(static_cast<mwdx::FindingKind>(kind));
        if (count == 0) {
            continue;
        }
        std::printf("\n%s: %zu\n", Text(texts, mwdx::FindingTitle(static_cast<mwdx::FindingKind>(kind))).c_str(),
                    count);
        for (const mwdx::Finding& finding : report.findings) {
            if (static_cast<int>(finding.kind) == kind) {
                std::printf("  %s (%s)\n", finding.path.c_str(), finding.detail.c_str());
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string databasePath;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (databasePath.empty() && !arg.empty() && !arg.starts_with("-")) {
            databasePath = arg;
        } else {
            std::fprintf(stderr,
                         "usage: marrowdex-check [DATABASE] [--json]\n"
                         "Checks the knowledge base DATABASE (default: mymwdx.db beside this tool) against its\n"
                         "Home Directory and lists what disagrees. Exit status: 0 healthy, 1 problems found,\n"
                         "2 usage, a database that cannot be read or a Home Directory that is not a full\n"
                         "folder path. It never writes.\n");
            return kCannot;
        }
    }
    if (const std::string failure = mwdx::OpenStoreToRead(&databasePath); !failure.empty()) {
        return Fail(failure);
    }
    const std::string home(mwdx::RootDirOf(mwdx::SettingsCopy()));
    mwdx::CheckReport report = mwdx::CheckOpenStore({mwdx::ProgramDirectory(), databasePath});
    // The content index, where there is one (the program makes it at its first start): opened for
    // reading only, like the store.
    const std::string indexPath = mwdx::TextIndexPathFor(databasePath);
    struct stat file {};
    if (report.Count(mwdx::FindingKind::kHomeDirectory) == 0 && ::stat(indexPath.c_str(), &file) == 0) {
        std::string error;
        if (const auto index = mwdx::TextIndex::Open(indexPath, mwdx::TextIndex::Mode::kRead, &error)) {
            mwdx::CatalogModel catalog;
            mwdx::LoadCatalog(catalog);
            mwdx::AddContentIndexFindings(*index, mwdx::DocumentsOf(catalog), report);
        } else {
            std::fprintf(stderr, "marrowdex-check: %s: %s\n", indexPath.c_str(), error.c_str());
        }
    }
    mwdx::FreeSettings();
    mwdx::CloseStore();
    if (json) {
        PrintJson(databasePath, home, report);
    } else {
        PrintText(report);
    }
    // The disk was not looked at: the report says what it can, and the exit status that nothing
    // could be checked.
    if (report.Count(mwdx::FindingKind::kHomeDirectory) != 0) {
        return Fail(databasePath + ": the Home Directory \"" + home +
                    "\" is not a full folder path other than /; choose it again with the program's Option button");
    }
    return report.Healthy() ? kHealthy : kFound;
}

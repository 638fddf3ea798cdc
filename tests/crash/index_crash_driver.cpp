// The content index's crash driver, for index_kill_loop.sh:
//   index_crash_driver prepare FOLDER DOCUMENTS   a knowledge base (FOLDER/mymwdx.db, FOLDER/home)
//                                                 of text files, 10-page PDFs, Word files, bad files
//   index_crash_driver check FOLDER               the index beside it whole, and nothing missed
// check opens the index as the next start would (a file killed before it had its tables is made
// again) and prints "indexed N texts T" (documents the index knows, and with a text) and exits 1 when
// the index is damaged or a query finds other documents than a plain scan of its texts.

#include "catalog/loader.h"
#include "store/connection.h"
#include "store/fresh_database.h"
#include "store/settings.h"
#include "support/document_files.h"
#include "textindex/indexer.h"
#include "textindex/text_index.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sqlite3.h>
#include <string>

namespace {

namespace fs = std::filesystem;

const char* const kWords[] = {"river", "stone", "quantum", "ledger", "harbor", "violet", "cipher", "meadow",
                              "lantern", "orbit", "知识", "管理", "文档", "学习"};

bool Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), message != nullptr ? message : "");
        sqlite3_free(message);
        return false;
    }
    return true;
}

int Prepare(const std::string& folder, int documents) {
    const std::string home = folder + "/home";
    fs::create_directories(home);
    std::string error;
    if (!mwdx::CreateFreshDatabase(folder + "/mymwdx.db", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    sqlite3* db = nullptr;
    sqlite3_open((folder + "/mymwdx.db").c_str(), &db);
    std::string sql = "begin; update SYS_CONFIG set ROOT_DIR = '" + home + "', FIRST_RUNNING = 0;";
    std::mt19937 random(7);
    const int catalogs = 5;
    for (int c = 1; c <= catalogs; ++c) {
        fs::create_directories(home + "/c" + std::to_string(c));
        sql += "insert into FILE_NODE values(" + std::to_string(c) + ", 'c" + std::to_string(c) + "', 0, '', 0, '', 1);";
    }
    for (int d = 0; d < documents; ++d) {
        const int catalog = 1 + d % catalogs;
        std::string text;
        for (int w = 0; w < 200; ++w) {
            text += kWords[random() % std::size(kWords)];
            text += w % 17 == 16 ? "\n" : " ";
        }
        std::string name;
        const std::string folderOf = home + "/c" + std::to_string(catalog) + "/";
        if (d % 5 == 0) {
            name = "d" + std::to_string(d) + ".pdf";
            std::vector<std::string> pages;
            for (int p = 0; p < 10; ++p) {
                pages.push_back(text.substr(static_cast<std::size_t>(p) * text.size() / 10, text.size() / 10));
            }
            std::ofstream(folderOf + name, std::ios::binary) << mwdx::test::PdfBytes(pages);
        } else if (d % 7 == 0) {
            name = "d" + std::to_string(d) + ".docx";
            mwdx::test::WriteDocx(folderOf + name, text);
        } else if (d % 29 == 0) {
            name = "d" + std::to_string(d) + ".pdf";
            std::ofstream(folderOf + name, std::ios::binary) << "%PDF-1.4\ndamaged beyond reading";
        } else {
            name = "d" + std::to_string(d) + ".txt";
            std::ofstream(folderOf + name, std::ios::binary) << text;
        }
        sql += "insert into FILE_NODE values(" + std::to_string(100 + d) + ", '" + name + "', " +
               std::to_string(catalog) + ", '', 1, '" + name + "', 2);";
    }
    sql += "commit;";
    const bool done = Exec(db, sql);
    sqlite3_close(db);
    return done ? 0 : 1;
}

int Check(const std::string& folder) {
    const std::string path = folder + "/mymwdx_text.db";
    if (!fs::exists(path)) {
        std::printf("indexed 0 texts 0\n");
        return 0;
    }
    std::string error;
    const std::unique_ptr<mwdx::TextIndex> index = mwdx::TextIndex::Open(path, mwdx::TextIndex::Mode::kWrite, &error);
    if (!index) {
        std::fprintf(stderr, "the index cannot be opened: %s\n", error.c_str());
        return 1;
    }
    std::string problem;
    if (!index->Verify(&problem)) {
        std::fprintf(stderr, "the index is damaged: %s\n", problem.c_str());
        return 1;
    }
    const auto documents = index->Documents();
    std::size_t texts = 0;
    std::vector<std::pair<mwdx::NodeId, std::string>> folded;
    for (const auto& [id, document] : documents) {
        if (document.hasText) {
            ++texts;
            const std::optional<std::string> text = index->Text(id);
            if (!text) {
                std::fprintf(stderr, "document %lld: its stored text cannot be read\n", static_cast<long long>(id));
                return 1;
            }
            folded.emplace_back(id, " " + mwdx::FoldText(*text) + " ");
        }
    }
    for (const char* word : kWords) {
        std::set<mwdx::NodeId> expected;
        for (const auto& [id, text] : folded) {
            if (text.find(word) != std::string::npos) {
                expected.insert(id);
            }
        }
        const std::vector<mwdx::NodeId> ids = index->MatchingIds(mwdx::ParseQuery(std::string(word) + " "));
        if (std::set<mwdx::NodeId>(ids.begin(), ids.end()) != expected) {
            std::fprintf(stderr, "\"%s\" finds %zu documents, a scan of the texts %zu\n", word, ids.size(),
                         expected.size());
            return 1;
        }
    }
    std::printf("indexed %zu texts %zu\n", documents.size(), texts);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "prepare" && argc == 4) {
        return Prepare(argv[2], std::atoi(argv[3]));
    }
    if (command == "check" && argc == 3) {
        return Check(argv[2]);
    }
    std::fprintf(stderr, "usage: index_crash_driver prepare FOLDER DOCUMENTS | check FOLDER\n");
    return 2;
}

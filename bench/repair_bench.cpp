// A knowledge base of N nodes (10k by default) damaged on purpose in every way the check knows,
// then mended through the check window as a user would (offscreen, every question answered with
// OK): marrowdex-check's counts by kind before and after, and how long the check window and each
// repair took. Prints figures; never passes or fails.
//
//   marrowdex_repair_bench --work-dir=DIR --check-tool=PATH --script=DIR [--nodes=N]
//
// The damage: one document in fifty has lost its file (twenty of those files wait in a backup
// folder, to be located), three sub-catalogs their folders, ten sub-catalogs their parent row
// (their folders stay, untracked), two pairs of rows point at each other, a hundred documents
// carry a wrong level, scans and inbox folders lie about untracked, the page's style sheet is
// gone, a crash left an added document's row unwritten, and one each of a folder where a file
// belongs, two rows on one path and a name that cannot be a file name.

#include "bench_common.h"
#include "app/marrowdex_dlg.h"
#include "commands/command_list.h"
#include "catalog/loader.h"
#include "check/check_dlg.h"
#include "offscreen.h"
#include "sample_catalog.h"
#include "store/connection.h"
#include "store/journal.h"
#include "store/settings.h"
#include "store/statements.h"

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kKinds[] = {"missing",     "wrong-type", "untracked",  "unplaced",     "wrong-level",
                                  "shared-path", "bad-name",   "unfinished", "script-folder"};

[[noreturn]] void Fail(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nrepair_bench: FATAL: %s\n", what.c_str());
    std::_Exit(1);
}

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

struct ToolRun {
    int status = -1;
    std::map<std::string, long long> counts;
    long long nodes = 0;
    long long entries = 0;
};

long long NumberAfter(const std::string& json, const std::string& key) {
    const auto at = json.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + key.size() + 3);
}

// marrowdex-check DATABASE --json, its exit status and its counts.
ToolRun RunCheckTool(const std::string& tool, const std::string& db) {
    ToolRun run;
    const std::string command = "'" + tool + "' '" + db + "' --json";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        Fail("cannot run " + tool);
    }
    std::string json;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        json.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const char* kind : kKinds) {
        run.counts[kind] = NumberAfter(json, kind);
    }
    run.nodes = NumberAfter(json, "nodes");
    run.entries = NumberAfter(json, "entries");
    return run;
}

// Answers every question the window asks: OK to each message and confirmation, and in a file
// chooser the file `next` names (in its folder), once the chooser lists it.
class Answerer final : public QObject {
public:
    Answerer() {
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start(5);
    }
    fs::path next;
    std::vector<std::string> messages;

private:
    void Poll() {
        QWidget* top = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(top); box != nullptr && box->isVisible()) {
            messages.push_back(box->text().section(QLatin1Char('\n'), 0, 0).toStdString());
            box->button(QMessageBox::Ok)->click();
        } else if (auto* chooser = qobject_cast<QFileDialog*>(top); chooser != nullptr && chooser->isVisible()) {
            chooser->setDirectory(QString::fromStdString(next.parent_path().string()));
            auto* list = chooser->findChild<QListView*>(QStringLiteral("listView"));
            const QModelIndex root = list->rootIndex();
            for (int r = 0; r < list->model()->rowCount(root); ++r) {
                if (list->model()->index(r, 0, root).data().toString().toStdString() == next.filename().string()) {
                    list->setCurrentIndex(list->model()->index(r, 0, root));
                    static_cast<QDialog*>(chooser)->accept();
                    return;
                }
            }
        }
    }
    QTimer m_timer;
};

struct Damage {
    std::vector<std::pair<mwdx::NodeId, fs::path>> backedUp; // node, where its file waits
};

// Makes every node's folder or file real, then damages the knowledge base as the header says.
Damage MakeAndDamage(const fs::path& program, const fs::path& home, const std::string& script) {
    Damage damage;
    const std::string db = (program / "mymwdx.db").string();
    mwdx::OpenStore(db);
    mwdx::ExecStatement("update SYS_CONFIG set ROOT_DIR='" + mwdx::EscapeSqlText(home.string()) + "';");
    mwdx::LoadSettings();
    mwdx::CatalogModel catalog;
    mwdx::LoadCatalog(catalog);
    fs::copy(script, home / "js", fs::copy_options::recursive);
    std::vector<const mwdx::CatalogNode*> documents;
    std::vector<const mwdx::CatalogNode*> subCatalogs;
    mwdx::ForEachDescendant(*catalog.RootNode(), [&](const mwdx::CatalogNode& node) {
        if (node.IsCatalog()) {
            fs::create_directories(node.Path());
            if (node.PathLevel() == 2) {
                subCatalogs.push_back(&node);
            }
        } else {
            WriteFile(node.Path(), "document " + std::to_string(node.FileId()));
            documents.push_back(&node);
        }
    });
    if (subCatalogs.size() < 40 || documents.size() < 200) {
        Fail("the sample is too small to damage");
    }
    const fs::path backup = program.parent_path() / "backup";
    const auto willBeUnplaced = [&](const mwdx::CatalogNode* document) {
        return std::find(subCatalogs.begin() + 10, subCatalogs.begin() + 20, document->Parent()) !=
               subCatalogs.begin() + 20;
    };
    for (std::size_t i = 0; i < documents.size(); i += 50) {
        const fs::path file = documents[i]->Path();
        if (damage.backedUp.size() < 20 && !willBeUnplaced(documents[i])) {
            const fs::path kept = backup / (std::to_string(documents[i]->FileId()) + "-" + file.filename().string());
            fs::create_directories(backup);
            fs::rename(file, kept);
            damage.backedUp.emplace_back(documents[i]->FileId(), kept);
        } else {
            fs::remove(file);
        }
    }
    for (const std::size_t i : {5, 25, 35}) {
        fs::remove_all(subCatalogs[i]->Path());
    }
    std::string sql = "BEGIN;";
    for (std::size_t i = 10; i < 20; ++i) {
        sql +=
            "update FILE_NODE set PARENT_ID=999999999 where FILE_ID=" + std::to_string(subCatalogs[i]->FileId()) + ";";
    }
    sql += "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values"
           "('Loop A1',-1,'',0,'',1),('Loop A2',-1,'',0,'',2),('Loop B1',-1,'',0,'',1),('Loop B2',-1,'',0,'',2);"
           "update FILE_NODE set PARENT_ID=(select FILE_ID from FILE_NODE where FILE_NAME='Loop A2') "
           "where FILE_NAME='Loop A1';"
           "update FILE_NODE set PARENT_ID=(select FILE_ID from FILE_NODE where FILE_NAME='Loop A1') "
           "where FILE_NAME='Loop A2';"
           "update FILE_NODE set PARENT_ID=(select FILE_ID from FILE_NODE where FILE_NAME='Loop B2') "
           "where FILE_NAME='Loop B1';"
           "update FILE_NODE set PARENT_ID=(select FILE_ID from FILE_NODE where FILE_NAME='Loop B1') "
           "where FILE_NAME='Loop B2';";
    for (std::size_t i = 7, n = 0; i < documents.size() && n < 100; i += 37, ++n) {
        sql += "update FILE_NODE set PATH_LEVEL=9 where FILE_ID=" + std::to_string(documents[i]->FileId()) + ";";
    }
    // Two rows on one path, and a name that cannot be a file name (its file is there).
    const mwdx::CatalogNode* twin = documents[13];
    sql += "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values('Twin'," +
           std::to_string(twin->Parent()->FileId()) + ",'',1,'" + mwdx::EscapeSqlText(std::string(twin->NameOnDisk())) +
           "',3);";
    sql += "insert into FILE_NODE(FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) values('Odd'," +
           std::to_string(subCatalogs[1]->FileId()) + ",'',1,'odd'||char(1)||'name.txt',3);";
    sql += "COMMIT;";
    if (mwdx::ExecStatement(sql) != mwdx::kStatementOk) {
        Fail("cannot damage the rows");
    }
    WriteFile(subCatalogs[1]->Path() + "/odd\x01name.txt", "odd");
    // A folder where a document's file belongs.
    fs::remove(documents[17]->Path());
    fs::create_directories(documents[17]->Path());
    // Untracked: scans among the catalogs' files, and folders of them at the top.
    for (int i = 0; i < 150; ++i) {
        WriteFile(subCatalogs[static_cast<std::size_t>(i) % subCatalogs.size()]->Path() + "/scan-" +
                      std::to_string(1000 + i) + ".pdf",
                  "scan");
    }
    for (int f = 0; f < 5; ++f) {
        for (int i = 0; i < 10; ++i) {
            WriteFile(home / ("Inbox " + std::to_string(f)) / ("note-" + std::to_string(i) + ".txt"), "note");
        }
    }
    fs::remove(home / "js" / "dtree.css");
    // A crash after an added document's file arrived, before its row was written.
    WriteFile(subCatalogs[2]->Path() + "/late.pdf", "late");
    mwdx::JournalEntry late;
    late.kind = mwdx::kJournalAddDocument;
    late.parentId = subCatalogs[2]->FileId();
    late.toPath = subCatalogs[2]->Path() + "/late.pdf";
    late.name = "Late";
    late.rawFileName = "late.pdf";
    late.fileType = mwdx::kDocumentType;
    late.pathLevel = 3;
    if (mwdx::WriteJournalEntry(late) != mwdx::kStatementOk) {
        Fail("cannot write the journal");
    }
    catalog.Clear();
    mwdx::FreeSettings();
    mwdx::CloseStore();
    return damage;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Selects the kind's row in the check window (by its position among FindingKind) or one of its
// findings by node id.
bool SelectKind(mwdx::CCheckDlg& dialog, mwdx::FindingKind kind, mwdx::NodeId node = 0) {
    auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("findingsTree"));
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* group = tree->topLevelItem(i);
        if (group->data(0, Qt::UserRole).toInt() != static_cast<int>(kind)) {
            continue;
        }
        if (node == 0) {
            tree->setCurrentItem(group);
            return true;
        }
        for (int j = 0; j < group->childCount(); ++j) {
            const auto index = group->child(j)->data(0, Qt::UserRole + 1).toLongLong();
            if (dialog.Report().findings[static_cast<std::size_t>(index)].nodeId == node) {
                tree->setCurrentItem(group->child(j));
                return true;
            }
        }
    }
    return false;
}

void Press(mwdx::CCheckDlg& dialog, const char* button) {
    dialog.findChild<QPushButton*>(QLatin1String(button))->click();
}

} // namespace

int main(int argc, char** argv) {
    fs::path work;
    std::string tool;
    std::string script;
    std::int64_t nodes = 10000;
    bool keep = false;
    mwdx::bench::Options options("marrowdex_repair_bench --work-dir=DIR --check-tool=PATH --script=DIR [--nodes=N] "
                                 "[--keep]");
    options.Folder("work-dir", work)
        .Text("check-tool", tool, true)
        .Text("script", script, true)
        .Number("nodes", nodes, 2000)
        .Flag("keep", keep);
    if (!options.Parse(argc, argv)) {
        return 2;
    }
    const fs::path program = work / "program";
    const fs::path home = work / "home";
    const std::string db = (program / "mymwdx.db").string();
    fs::create_directories(program);
    fs::create_directories(home);
    fs::copy(script, program / "js", fs::copy_options::recursive);
    std::string error;
    if (!mwdx::bench::BuildSampleCatalog(db, mwdx::bench::Shape::Wide, nodes, nullptr, &error)) {
        Fail(error);
    }
    const Damage damage = MakeAndDamage(program, home, script);
    const ToolRun before = RunCheckTool(tool, db);

    mwdx::bench::UseOffscreenPlatform();
    QApplication app(argc, argv);
    Answerer answerer;
    std::vector<std::pair<std::string, double>> times;
    auto start = Clock::now();
    auto window = std::make_unique<mwdx::CMarrowdexDlg>(program.string(), mwdx::MakeCommands);
    window->show();
    times.emplace_back("start (the unfinished command settled)", MsSince(start));
    // The start's message about the rows that cannot be shown.
    for (const auto until = Clock::now() + std::chrono::seconds(3); Clock::now() < until;) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    {
        start = Clock::now();
        mwdx::CCheckDlg dialog(*window);
        dialog.show();
        times.emplace_back("check window opened (the check)", MsSince(start));
        const auto repair = [&](const char* what, mwdx::FindingKind kind, const char* button) {
            if (!SelectKind(dialog, kind)) {
                return;
            }
            const auto began = Clock::now();
            Press(dialog, button);
            times.emplace_back(what, MsSince(began));
        };
        repair("import in place (untracked)", mwdx::FindingKind::kUntracked, "importButton");
        repair("remove the rows that cannot be shown", mwdx::FindingKind::kUnplaced, "removeButton");
        repair("rewrite levels", mwdx::FindingKind::kWrongLevel, "rewriteButton");
        start = Clock::now();
        int located = 0;
        for (const auto& [node, file] : damage.backedUp) {
            answerer.next = file;
            if (SelectKind(dialog, mwdx::FindingKind::kMissing, node)) {
                Press(dialog, "locateButton");
                ++located;
            }
        }
        times.emplace_back("locate " + std::to_string(located) + " documents from the backup", MsSince(start));
        repair("remove the rest of the missing", mwdx::FindingKind::kMissing, "removeButton");
        repair("copy the script files again", mwdx::FindingKind::kScriptFolder, "copyScriptButton");
        repair("finish or undo", mwdx::FindingKind::kUnfinished, "finishButton");
    }
    const std::size_t treeNodes = window->Catalog().NodeCount();
    window.reset();
    const ToolRun after = RunCheckTool(tool, db);

    std::printf("A knowledge base of %lld nodes damaged on purpose, mended in the check window (offscreen).\n\n",
                static_cast<long long>(nodes));
    std::printf("marrowdex-check, before and after:\n");
    std::printf("  %-14s %8s %8s\n", "kind", "before", "after");
    for (const char* kind : kKinds) {
        std::printf("  %-14s %8lld %8lld\n", kind, before.counts.at(kind), after.counts.at(kind));
    }
    std::printf("  %-14s %8lld %8lld\n", "nodes", before.nodes, after.nodes);
    std::printf("  %-14s %8lld %8lld\n", "entries", before.entries, after.entries);
    std::printf("  %-14s %8d %8d\n", "exit status", before.status, after.status);
    std::printf("\nThe window (tree of %zu nodes at the end), ms:\n", treeNodes);
    for (const auto& [what, ms] : times) {
        std::printf("  %-48s %9.1f\n", what.c_str(), ms);
    }
    std::printf("\nMessages answered:\n");
    for (const std::string& message : answerer.messages) {
        std::printf("  %s\n", message.c_str());
    }
    return 0;
}

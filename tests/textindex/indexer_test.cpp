// The indexer with a real knowledge base: a store, its Home Directory with real documents, the
// extraction worker as a process. It reads what is new or changed, follows moves without reading
// again, forgets what is gone, goes on where it stopped, and puts what a command changed ahead of
// a long pass.

#include "catalog/paths.h"
#include "support/catalog_fixture.h"
#include "support/document_files.h"
#include "textindex/content_queries.h"
#include "textindex/indexer.h"

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {
namespace {

namespace fs = std::filesystem;

const std::string kWorker = EXTRACT_PATH;

std::set<NodeId> Found(TextIndex& index, const std::string& query) {
    const std::vector<NodeId> ids = index.MatchingIds(ParseQuery(query));
    return {ids.begin(), ids.end()};
}

class Indexer : public test::CatalogFixture {
protected:
    void SetUp() override {
        m_home = m_dir.File("Knowledge");
        CatalogFixture::SetUp();
        SetHome(m_home);
        m_options.workerProgram = kWorker;
        m_index = TextIndex::Open(TextIndexPathFor(m_db), TextIndex::Mode::kWrite);
        ASSERT_TRUE(m_index);
    }
    void Write(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(m_home + "/" + relative).parent_path());
        std::ofstream(m_home + "/" + relative, std::ios::binary) << bytes;
    }

    IndexerOptions m_options;
    std::unique_ptr<TextIndex> m_index;
};

TEST_F(Indexer, ReadsWhatIsNewOrChangedFollowsMovesForgetsWhatIsGoneAndGoesOnWhereItStopped) {
    Write("Physics/lecture.pdf", test::PdfBytes({"Introduction", "Quantum field theory"}));
    Write("Physics/notes.txt", "handwritten notes about entropy");
    test::WriteDocx(m_home + "/笔记.docx", "中文笔记：知识管理");
    Write("Physics/damaged.pdf", "%PDF-1.4\nnothing else");
    Write("Physics/empty.txt", "");
    AddRow(1, "Physics", 0, kCatalogType, 1);
    AddRow(2, "Lecture", 1, kDocumentType, 2, "lecture.pdf");
    AddRow(3, "Notes", 1, kDocumentType, 2, "notes.txt");
    AddRow(4, "笔记", 0, kDocumentType, 1, "笔记.docx");
    AddRow(5, "Damaged", 1, kDocumentType, 2, "damaged.pdf");
    AddRow(6, "Empty", 1, kDocumentType, 2, "empty.txt");
    ASSERT_EQ(Reload(), 1);
    const std::vector<DocumentFile> documents = DocumentsOf(m_model);
    ASSERT_EQ(documents.size(), 5u);
    EXPECT_EQ(documents[0].id, 2);
    EXPECT_EQ(documents[0].path, m_home + "/Physics/lecture.pdf");
    EXPECT_EQ(CatalogPathOf(*m_model.NodeById(2)), "Physics/Lecture");
    const std::vector<DocumentFile> physics = DocumentsUnder(*m_model.NodeById(1));
    ASSERT_EQ(physics.size(), 4u);
    EXPECT_EQ(physics.back().id, 6);
    EXPECT_EQ(DocumentsUnder(*m_model.NodeById(4)).at(0).path, m_home + "/笔记.docx");

    std::vector<std::pair<std::size_t, std::size_t>> progress;
    IndexPassReport report = UpdateTextIndex(*m_index, documents, m_options, [&](std::size_t done, std::size_t total) {
        progress.emplace_back(done, total);
    });
    EXPECT_TRUE(report.failure.empty()) << report.failure;
    EXPECT_EQ(report.read, 5u);
    EXPECT_EQ(progress.front(), std::make_pair(std::size_t{0}, std::size_t{5}));
    EXPECT_EQ(progress.back(), std::make_pair(std::size_t{5}, std::size_t{5}));
    EXPECT_EQ(report.skipped, (std::vector<std::pair<NodeId, SkipReason>>{{5, SkipReason::kMalformed},
                                                                         {6, SkipReason::kEmpty}}));
    EXPECT_EQ(Found(*m_index, "quantum"), (std::set<NodeId>{2}));
    EXPECT_EQ(Found(*m_index, "知识"), (std::set<NodeId>{4}));
    EXPECT_EQ(m_index->Search(ParseQuery("field")).hits.at(0).snippet.page, 2);

    report = UpdateTextIndex(*m_index, documents, m_options);
    EXPECT_EQ(report.read, 0u) << "nothing changed, nothing is read";
    EXPECT_EQ(report.unchanged, 5u);

    // A changed file is read again; a moved one only gets its new path; a deleted one is forgotten.
    Write("Physics/notes.txt", "typed notes about enthalpy, longer than before");
    fs::rename(m_home + "/Physics/lecture.pdf", m_home + "/lecture.pdf");
    std::vector<DocumentFile> now = documents;
    now[0].path = m_home + "/lecture.pdf";
    std::erase_if(now, [](const DocumentFile& d) { return d.id == 4; });
    report = UpdateTextIndex(*m_index, now, m_options);
    EXPECT_EQ(report.read, 1u);
    EXPECT_EQ(report.moved, 1u);
    EXPECT_EQ(report.removed, 1u);
    EXPECT_EQ(Found(*m_index, "entropy"), (std::set<NodeId>{}));
    EXPECT_EQ(Found(*m_index, "enthalpy"), (std::set<NodeId>{3}));
    EXPECT_EQ(Found(*m_index, "知识"), (std::set<NodeId>{}));
    EXPECT_EQ(m_index->Document(2)->path, m_home + "/lecture.pdf");
    EXPECT_FALSE(m_index->Document(4));

    // A file gone from disk is recorded as missing, and not read again until it is back.
    fs::remove(m_home + "/Physics/notes.txt");
    report = UpdateTextIndex(*m_index, now, m_options);
    EXPECT_EQ(report.skipped, (std::vector<std::pair<NodeId, SkipReason>>{{3, SkipReason::kMissing}}));
    EXPECT_EQ(Found(*m_index, "enthalpy"), (std::set<NodeId>{}));
    EXPECT_EQ(UpdateTextIndex(*m_index, now, m_options).read, 0u);

    // Cut short after two documents: the next pass reads only the rest.
    for (int i = 0; i < 6; ++i) {
        Write("batch/" + std::to_string(i) + ".txt", "batch word" + std::to_string(i));
        now.push_back({100 + i, m_home + "/batch/" + std::to_string(i) + ".txt"});
    }
    std::atomic<bool> cancel{false};
    report = UpdateTextIndex(
        *m_index, now, m_options,
        [&](std::size_t done, std::size_t) {
            if (done == 2) {
                cancel = true;
            }
        },
        &cancel);
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(report.read, 2u);
    report = UpdateTextIndex(*m_index, now, m_options);
    EXPECT_EQ(report.read, 4u);
    EXPECT_EQ(Found(*m_index, "word5").size(), 1u);

    // The check's findings: a document the index does not know, and one changed since.
    Write("Physics/notes.txt", "back again");
    now.push_back({200, m_home + "/Physics/notes.txt"});
    Write("batch/0.txt", "batch word0, changed");
    CheckReport check;
    AddContentIndexFindings(*m_index, now, check);
    ASSERT_EQ(check.findings.size(), 3u);
    EXPECT_EQ(check.Count(FindingKind::kNotIndexed), 1u) << "200";
    EXPECT_EQ(check.Count(FindingKind::kIndexStale), 2u) << "3 came back, 100 changed";
    EXPECT_EQ(check.findings.back().kind, FindingKind::kIndexStale) << "grouped by kind";

    // No worker: a failure, and no file is given a reason it does not deserve.
    IndexerOptions broken = m_options;
    broken.workerProgram = m_dir.File("no-such-worker");
    report = UpdateTextIndex(*m_index, now, broken);
    EXPECT_FALSE(report.failure.empty());
    EXPECT_EQ(report.read, 0u);
    std::string problem;
    EXPECT_TRUE(m_index->Verify(&problem)) << problem;
}

TEST_F(Indexer, TheDocumentsAreGatheredASliceAtATimeAndAfreshAfterTheCatalogChanged) {
    AddRow(1, "Physics", 0, kCatalogType, 1);
    AddRow(2, "Optics", 1, kCatalogType, 2);
    AddRow(3, "lens.pdf", 2, kDocumentType, 3, "lens.pdf");
    AddRow(4, "notes.txt", 1, kDocumentType, 2, "notes.txt");
    AddRow(5, "Maths", 0, kCatalogType, 1);
    AddRow(6, "algebra.pdf", 5, kDocumentType, 2, "algebra.pdf");
    AddRow(7, "readme.txt", 0, kDocumentType, 1, "readme.txt");
    ASSERT_EQ(Reload(), 1);
    const auto ids = [](const std::vector<DocumentFile>& documents) {
        std::vector<NodeId> out;
        for (const DocumentFile& document : documents) {
            out.push_back(document.id);
        }
        return out;
    };

    // Two nodes a step: the same documents, in the same order, as in one piece.
    DocumentGatherer gatherer;
    gatherer.Start(m_model);
    int steps = 1;
    while (!gatherer.Step(2)) {
        ++steps;
    }
    EXPECT_EQ(steps, 4) << "7 nodes and the Root Node";
    const std::vector<DocumentFile> gathered = gatherer.Take();
    EXPECT_EQ(ids(gathered), ids(DocumentsOf(m_model)));
    EXPECT_EQ(ids(gathered), (std::vector<NodeId>{3, 4, 6, 7}));
    EXPECT_EQ(gathered.front().path, m_home + "/Physics/Optics/lens.pdf");
    EXPECT_FALSE(gatherer.Active());

    // Halfway, Optics moves under Maths and Physics goes: gathered afresh, as the catalog is now.
    gatherer.Start(m_model);
    ASSERT_FALSE(gatherer.Step(3));
    CatalogNode* optics = m_model.NodeById(2);
    ASSERT_TRUE(m_model.MoveNode(*optics, *m_model.NodeById(5)));
    RebuildPaths(*optics, "Optics");
    gatherer.Restart();
    ASSERT_FALSE(gatherer.Step(2));
    ASSERT_TRUE(m_model.UnlinkAndFree(*m_model.RootNode(), *m_model.NodeById(1)));
    gatherer.Restart();
    while (!gatherer.Step(2)) {
    }
    const std::vector<DocumentFile> after = gatherer.Take();
    const std::vector<NodeId> afterIds = ids(after);
    EXPECT_EQ(afterIds, ids(DocumentsOf(m_model)));
    EXPECT_EQ(std::set<NodeId>(afterIds.begin(), afterIds.end()), (std::set<NodeId>{3, 6, 7}))
        << "the notes went with Physics; the lens came along with Optics";
    const auto lens = std::find_if(after.begin(), after.end(), [](const DocumentFile& d) { return d.id == 3; });
    ASSERT_NE(lens, after.end());
    EXPECT_EQ(lens->path, m_home + "/Maths/Optics/lens.pdf");

    // Stopped, it gathers nothing more; restarting a stopped one does nothing.
    gatherer.Start(m_model);
    gatherer.Stop();
    gatherer.Restart();
    EXPECT_FALSE(gatherer.Active());
    EXPECT_TRUE(gatherer.Take().empty());
}

// Collects the events of a background indexer, for a test to wait on.
class Events final {
public:
    void Add(const BackgroundIndexer::Event& event) {
        const std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    // Waits (at most a minute, against a hang) for the `nth` event of this kind; its index in the list.
    std::size_t WaitFor(BackgroundIndexer::Event::Kind kind, std::size_t nth = 1) {
        std::unique_lock lock(m_mutex);
        std::size_t found = SIZE_MAX;
        m_changed.wait_for(lock, std::chrono::minutes(1), [&] {
            std::size_t seen = 0;
            for (std::size_t i = 0; i < m_events.size(); ++i) {
                if (m_events[i].kind == kind && ++seen == nth) {
                    found = i;
                    return true;
                }
            }
            return false;
        });
        EXPECT_NE(found, SIZE_MAX) << "no such event";
        return found;
    }
    BackgroundIndexer::Event At(std::size_t i) {
        const std::lock_guard lock(m_mutex);
        return m_events.at(i);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<BackgroundIndexer::Event> m_events;
};

TEST_F(Indexer, InTheBackgroundWhatACommandChangedGoesAheadOfTheLongPass) {
    using Kind = BackgroundIndexer::Event::Kind;
    // The pass meets a file that hangs its reader first (a pipe without a writer), then others.
    fs::create_directories(m_home);
    ASSERT_EQ(::mkfifo((m_home + "/stuck.txt").c_str(), 0600), 0);
    std::vector<DocumentFile> all = {{1, m_home + "/stuck.txt"}};
    for (int i = 0; i < 20; ++i) {
        Write(std::to_string(i) + ".txt", "pass document number" + std::to_string(i));
        all.push_back({10 + i, m_home + "/" + std::to_string(i) + ".txt"});
    }
    Write("added.txt", "the document just added");
    m_options.limits.seconds = 2;
    Events events;
    BackgroundIndexer indexer(TextIndexPathFor(m_db), m_options, [&](const BackgroundIndexer::Event& e) { events.Add(e); });
    indexer.UpdateAll(all);
    const std::size_t planned = events.WaitFor(Kind::kProgress);
    EXPECT_EQ(events.At(planned).total, 21u);
    indexer.Keep({{500, m_home + "/added.txt"}});
    indexer.Forget({19});
    // Two commands' worth: the delete first, then the added document.
    const std::size_t kept = events.WaitFor(Kind::kDocuments, 2);
    const std::size_t finished = events.WaitFor(Kind::kPassFinished);
    EXPECT_LT(kept, finished) << "the command's documents before the rest of the pass";
    for (std::size_t i = planned; i < kept; ++i) {
        EXPECT_LT(events.At(i).done, 3u) << "read ahead of the pass";
    }
    EXPECT_EQ(events.At(finished).done, events.At(finished).total);
    while (!indexer.Idle()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(Found(*m_index, "added"), (std::set<NodeId>{500}));
    EXPECT_EQ(Found(*m_index, "number9"), (std::set<NodeId>{}));
    EXPECT_EQ(Found(*m_index, "number8"), (std::set<NodeId>{18}));
    EXPECT_EQ(m_index->Document(1)->reason, SkipReason::kTimeLimit);
    EXPECT_FALSE(m_index->Document(19)) << "forgotten while the pass held it: never read";

    // A rename keeps the text and follows the path; a delete forgets.
    fs::rename(m_home + "/added.txt", m_home + "/renamed.txt");
    indexer.Keep({{500, m_home + "/renamed.txt"}});
    events.WaitFor(Kind::kDocuments, 3);
    EXPECT_EQ(m_index->Document(500)->path, m_home + "/renamed.txt");
    indexer.Forget({500});
    events.WaitFor(Kind::kDocuments, 4);
    EXPECT_EQ(Found(*m_index, "added"), (std::set<NodeId>{}));

    // Stopping in the middle of a file that hangs does not wait for the time limit.
    m_options.limits.seconds = 600;
    BackgroundIndexer patient(TextIndexPathFor(m_db), m_options, {});
    patient.Keep({{2, m_home + "/stuck.txt"}});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    patient.Stop();
    EXPECT_FALSE(m_index->Document(2)) << "nothing recorded for a file cut short";
    std::string problem;
    EXPECT_TRUE(m_index->Verify(&problem)) << problem;
}

// The fields of /proc/.../stat after the command's name: [0] is the state, [1] the parent, [16] the nice value.
std::vector<std::string> StatFields(const fs::path& stat, std::string* name = nullptr) {
    std::ifstream in(stat);
    std::string line;
    std::getline(in, line);
    const std::size_t open = line.find('(');
    const std::size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) {
        return {};
    }
    if (name != nullptr) {
        *name = line.substr(open + 1, close - open - 1);
    }
    std::istringstream rest(line.substr(close + 2));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

// The nice values of this process's threads, and of its children named `child`.
std::multiset<int> ThreadNices() {
    std::multiset<int> nices;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        const std::vector<std::string> fields = StatFields(task.path() / "stat");
        if (fields.size() > 16) {
            nices.insert(std::stoi(fields[16]));
        }
    }
    return nices;
}

std::vector<int> ChildNices(const std::string& child) {
    std::vector<int> nices;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name;
        const std::vector<std::string> fields = StatFields(entry.path() / "stat", &name);
        if (fields.size() > 16 && std::stoi(fields[1]) == ::getpid() && child.starts_with(name)) {
            nices.push_back(std::stoi(fields[16]));
        }
    }
    return nices;
}

// The answers of a query thread, one at a time.
class Answers final {
public:
    void Found(ContentQueries::Found found) {
        const std::lock_guard lock(m_mutex);
        m_found.push_back(std::move(found));
        m_changed.notify_all();
    }
    void Excerpt(ContentQueries::Excerpt excerpt) {
        const std::lock_guard lock(m_mutex);
        m_excerpts.push_back(std::move(excerpt));
        m_changed.notify_all();
    }
    // The answer with this ticket (waiting at most a minute, against a hang).
    std::set<NodeId> FoundFor(std::uint64_t ticket) {
        std::unique_lock lock(m_mutex);
        std::set<NodeId> ids;
        const bool told = m_changed.wait_for(lock, std::chrono::minutes(1), [&] {
            for (const ContentQueries::Found& found : m_found) {
                if (found.ticket == ticket) {
                    ids = {found.ids.begin(), found.ids.end()};
                    return true;
                }
            }
            return false;
        });
        EXPECT_TRUE(told) << "no answer for ticket " << ticket;
        return ids;
    }
    ContentQueries::Excerpt ExcerptFor(std::uint64_t ticket) {
        std::unique_lock lock(m_mutex);
        ContentQueries::Excerpt answer;
        const bool told = m_changed.wait_for(lock, std::chrono::minutes(1), [&] {
            for (const ContentQueries::Excerpt& excerpt : m_excerpts) {
                if (excerpt.ticket == ticket) {
                    answer = excerpt;
                    return true;
                }
            }
            return false;
        });
        EXPECT_TRUE(told) << "no snippet for ticket " << ticket;
        return answer;
    }
    std::size_t FoundCount() {
        const std::lock_guard lock(m_mutex);
        return m_found.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ContentQueries::Found> m_found;
    std::vector<ContentQueries::Excerpt> m_excerpts;
};

TEST_F(Indexer, TheWindowsQueriesAnswerOffItsThreadAndAnIndexDeletedMeanwhileIsMadeAgain) {
    using Kind = BackgroundIndexer::Event::Kind;
    m_index.reset();
    const std::string path = TextIndexPathFor(m_db);
    fs::remove(path);
    Answers answers;
    // Asked before there is any index: nothing found, nothing made.
    ContentQueries queries(
        path, [&](ContentQueries::Found found) { answers.Found(std::move(found)); },
        [&](ContentQueries::Excerpt excerpt) { answers.Excerpt(std::move(excerpt)); });
    queries.Find(1, "orbit");
    EXPECT_EQ(answers.FoundFor(1), (std::set<NodeId>{}));
    EXPECT_FALSE(fs::exists(path)) << "a query never makes the index";

    Write("Space/orbits.pdf", test::PdfBytes({"Contents", "Kepler's laws of planetary orbits", "Appendix"}));
    Write("Space/moon.txt", "The moon's orbit is an ellipse. 月球的轨道是椭圆。");
    Write("Space/sun.txt", "The sun holds the planets.");
    const std::vector<DocumentFile> documents = {{1, m_home + "/Space/orbits.pdf"},
                                                 {2, m_home + "/Space/moon.txt"},
                                                 {3, m_home + "/Space/sun.txt"}};
    Events events;
    const int windowNice = ::getpriority(PRIO_PROCESS, 0);
    const int backgroundNice = std::min(windowNice + 10, 19);
    std::vector<int> workerNices;
    BackgroundIndexer indexer(path, m_options, [&](const BackgroundIndexer::Event& e) {
        if (e.kind == Kind::kPassFinished && workerNices.empty()) {
            workerNices = ChildNices("marrowdex-extract");
        }
        events.Add(e);
    });
    indexer.UpdateAll(documents);
    events.WaitFor(Kind::kPassFinished);
    // The indexing thread and its worker give way to the window.
    EXPECT_EQ(ThreadNices().count(backgroundNice), 1u) << "one thread indexes, at a lower priority";
    EXPECT_EQ(workerNices, std::vector<int>{backgroundNice}) << "its worker too";

    queries.Find(2, "orbit");
    EXPECT_EQ(answers.FoundFor(2), (std::set<NodeId>{1, 2}));
    queries.Find(3, "轨道");
    EXPECT_EQ(answers.FoundFor(3), (std::set<NodeId>{2}));
    queries.Snippet(4, 1, "planetary orbit");
    const ContentQueries::Excerpt excerpt = answers.ExcerptFor(4);
    ASSERT_TRUE(excerpt.hit.has_value());
    EXPECT_TRUE(excerpt.hit->paged);
    EXPECT_EQ(excerpt.hit->snippet.page, 2);
    EXPECT_EQ(excerpt.hit->snippet.text.substr(excerpt.hit->snippet.highlights.at(0).begin,
                                               excerpt.hit->snippet.highlights.at(0).length),
              "planetary");
    queries.Snippet(5, 99, "orbit");
    EXPECT_FALSE(answers.ExcerptFor(5).hit.has_value()) << "no text for a document the index does not hold";

    // Questions asked faster than they are answered: the newest one is answered.
    for (std::uint64_t ticket = 10; ticket < 60; ++ticket) {
        queries.Find(ticket, ticket % 2 == 0 ? "sun" : "moon");
    }
    queries.Find(60, "planets");
    EXPECT_EQ(answers.FoundFor(60), (std::set<NodeId>{3}));
    EXPECT_LT(answers.FoundCount(), 50u) << "questions replaced before they began are never asked";

    // The user deletes the index while the program runs: queries find nothing, and the next pass
    // makes it again from the documents.
    fs::remove(path);
    queries.Find(61, "orbit");
    EXPECT_EQ(answers.FoundFor(61), (std::set<NodeId>{}));
    indexer.UpdateAll(documents);
    events.WaitFor(Kind::kPassFinished, 2);
    ASSERT_TRUE(fs::exists(path));
    queries.Find(62, "orbit");
    EXPECT_EQ(answers.FoundFor(62), (std::set<NodeId>{1, 2}));
    const std::unique_ptr<TextIndex> fresh = TextIndex::Open(path, TextIndex::Mode::kWrite);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->Documents().size(), 3u);
    std::string problem;
    EXPECT_TRUE(fresh->Verify(&problem)) << problem;
}

} // namespace
} // namespace mwdx

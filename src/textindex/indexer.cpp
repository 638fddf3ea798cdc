#include "textindex/indexer.h"

#include "textindex/extraction_worker.h"

#include <algorithm>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace mwdx {

namespace {

enum class Step { kUnchanged, kMoved, kRead, kCancelled, kFailed };

// Background indexing yields to everything else the user runs, the window first.
constexpr int kBackgroundNice = 10;

// Brings one document up to date. `known`: what the index holds for it (nullptr: nothing).
Step IndexOne(TextIndex& index, ExtractionWorker& worker, const DocumentFile& document,
              const IndexedDocument* known, const std::atomic<bool>* cancel, IndexPassReport& report) {
    const FileIdentity identity = IdentityOf(document.path);
    if (known != nullptr && known->identity == identity) {
        if (known->path == document.path) {
            ++report.unchanged;
            return Step::kUnchanged;
        }
        if (!index.SetPath(document.id, document.path)) {
            report.failure = "cannot save to the content index " + index.Path();
            return Step::kFailed;
        }
        ++report.moved;
        return Step::kMoved;
    }
    std::optional<Extraction> extraction;
    if (identity.size < 0) {
        extraction.emplace();
        extraction->reason = SkipReason::kMissing;
    } else {
        extraction = worker.Extract(document.path, cancel);
        if (!extraction) {
            if (cancel != nullptr && cancel->load()) {
                report.cancelled = true;
                return Step::kCancelled;
            }
            report.failure = worker.Failure();
            report.workerFailed = true;
            return Step::kFailed;
        }
    }
    if (!index.Put(document.id, document.path, identity, *extraction)) {
        report.failure = "cannot save to the content index " + index.Path();
        return Step::kFailed;
    }
    ++report.read;
    if (extraction->reason != SkipReason::kNone) {
        report.skipped.emplace_back(document.id, extraction->reason);
    }
    return Step::kRead;
}

// The first part of a pass, which reads no file: forgets what is gone (but not `spare`), gives
// moved files their new paths, and returns what must be read, in the order given. The index is
// read a row at a time beside the documents sorted by id, and the documents to read are the ones
// given, moved: at a million documents nothing is held twice.
std::vector<DocumentFile> Plan(TextIndex& index, std::vector<DocumentFile> documents,
                               const std::unordered_set<NodeId>& spare, IndexPassReport& report) {
    std::vector<std::uint32_t> byId(documents.size());
    for (std::uint32_t i = 0; i < byId.size(); ++i) {
        byId[i] = i;
    }
    std::sort(byId.begin(), byId.end(), [&](std::uint32_t a, std::uint32_t b) {
        return documents[a].id < documents[b].id;
    });
    std::vector<bool> read(documents.size(), true);
    std::vector<NodeId> gone;
    std::vector<std::pair<NodeId, std::string>> moved;
    std::size_t next = 0; // into byId
    const bool complete = index.EachDocument([&](const IndexedDocument& known) {
        while (next < byId.size() && documents[byId[next]].id < known.id) {
            ++next; // not in the index: read
        }
        if (next == byId.size() || documents[byId[next]].id != known.id) {
            if (!spare.contains(known.id)) {
                gone.push_back(known.id);
            }
            return;
        }
        // The same document twice in the tree (a damaged store): the first place stands.
        for (; next < byId.size() && documents[byId[next]].id == known.id; ++next) {
            const DocumentFile& document = documents[byId[next]];
            if (spare.contains(document.id) || known.identity != IdentityOf(document.path)) {
                continue;
            }
            read[byId[next]] = false;
            if (known.path != document.path) {
                moved.emplace_back(document.id, document.path);
            } else {
                ++report.unchanged;
            }
        }
    });
    if (!complete) {
        report.failure = "cannot read the content index " + index.Path();
        return {};
    }
    // A new Home Directory moves every document at once: one transaction for all of them.
    if (!moved.empty()) {
        bool saved = index.BeginBatch();
        for (std::size_t i = 0; saved && i < moved.size(); ++i) {
            saved = index.SetPath(moved[i].first, moved[i].second);
        }
        if (!saved) {
            index.CancelBatch();
        }
        if (!saved || !index.CommitBatch()) {
            report.failure = "cannot save to the content index " + index.Path();
            return {};
        }
        report.moved += moved.size();
    }
    if (!gone.empty()) {
        if (!index.Remove(gone)) {
            report.failure = "cannot save to the content index " + index.Path();
            return {};
        }
        report.removed += gone.size();
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        if (read[i] && !spare.contains(documents[i].id)) {
            if (kept != i) {
                documents[kept] = std::move(documents[i]);
            }
            ++kept;
        }
    }
    documents.resize(kept);
    documents.shrink_to_fit();
    return documents;
}

} // namespace

std::vector<DocumentFile> DocumentsOf(const CatalogModel& catalog) {
    return catalog.RootNode() != nullptr ? DocumentsUnder(*catalog.RootNode()) : std::vector<DocumentFile>();
}

void DocumentGatherer::Start(const CatalogModel& catalog) {
    m_catalog = &catalog;
    m_walk.clear();
    m_gathered.clear();
    if (const CatalogNode* root = catalog.RootNode()) {
        m_walk.push_back(root);
    }
}

bool DocumentGatherer::Step(std::size_t nodes) {
    for (std::size_t visited = 0; visited < nodes && !m_walk.empty(); ++visited) {
        const CatalogNode* node = m_walk.back();
        m_walk.pop_back();
        if (!node->IsCatalog() && node->Parent() != nullptr) {
            m_gathered.push_back({node->FileId(), node->Path()});
        }
        for (const CatalogNode* child = node->LastChild(); child != nullptr; child = child->PreviousSibling()) {
            m_walk.push_back(child);
        }
    }
    return m_walk.empty();
}

void DocumentGatherer::Restart() {
    if (m_catalog != nullptr) {
        Start(*m_catalog);
    }
}

void DocumentGatherer::Stop() {
    m_catalog = nullptr;
    m_walk = {};
    m_gathered = {};
}

std::vector<DocumentFile> DocumentGatherer::Take() {
    std::vector<DocumentFile> gathered = std::exchange(m_gathered, {});
    Stop();
    return gathered;
}

std::vector<DocumentFile> DocumentsUnder(const CatalogNode& node) {
    std::vector<DocumentFile> documents;
    if (!node.IsCatalog()) {
        documents.push_back({node.FileId(), node.Path()});
        return documents;
    }
    std::vector<const CatalogNode*> stack;
    for (const CatalogNode* child = node.LastChild(); child != nullptr; child = child->PreviousSibling()) {
        stack.push_back(child);
    }
    while (!stack.empty()) {
        const CatalogNode* at = stack.back();
        stack.pop_back();
        if (!at->IsCatalog()) {
            documents.push_back({at->FileId(), at->Path()});
        }
        for (const CatalogNode* child = at->LastChild(); child != nullptr; child = child->PreviousSibling()) {
            stack.push_back(child);
        }
    }
    return documents;
}

std::string CatalogPathOf(const CatalogNode& node) {
    std::vector<const std::string*> names;
    for (const CatalogNode* at = &node; at != nullptr && at->Parent() != nullptr; at = at->Parent()) {
        names.push_back(&at->Details().fileName);
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (!path.empty()) {
            path.push_back('/');
        }
        path += **name;
    }
    return path;
}

void AddContentIndexFindings(TextIndex& index, const std::vector<DocumentFile>& documents, CheckReport& report) {
    const std::unordered_map<NodeId, IndexedDocument> known = index.Documents();
    std::vector<Finding> stale;
    for (const DocumentFile& document : documents) {
        const FileIdentity identity = IdentityOf(document.path);
        if (identity.size < 0) {
            continue;
        }
        const auto found = known.find(document.id);
        if (found == known.end()) {
            report.findings.push_back({FindingKind::kNotIndexed, document.id, document.path, "not in the content index"});
        } else if (found->second.identity != identity) {
            stale.push_back({FindingKind::kIndexStale, document.id, document.path, "changed since its text was indexed"});
        }
    }
    report.findings.insert(report.findings.end(), stale.begin(), stale.end());
}

IndexPassReport IndexDocuments(TextIndex& index, const std::vector<DocumentFile>& documents, ExtractionWorker& worker,
                               const std::atomic<bool>* cancel) {
    IndexPassReport report;
    for (const DocumentFile& document : documents) {
        const std::optional<IndexedDocument> known = index.Document(document.id);
        const Step step = IndexOne(index, worker, document, known ? &*known : nullptr, cancel, report);
        if (step == Step::kCancelled || step == Step::kFailed) {
            break;
        }
    }
    return report;
}

IndexPassReport UpdateTextIndex(TextIndex& index, const std::vector<DocumentFile>& documents,
                                const IndexerOptions& options, const IndexProgress& progress,
                                const std::atomic<bool>* cancel) {
    IndexPassReport report;
    const std::vector<DocumentFile> toRead = Plan(index, documents, {}, report);
    if (!report.failure.empty()) {
        return report;
    }
    ExtractionWorker worker(options.workerProgram, options.limits);
    std::size_t done = 0;
    if (progress) {
        progress(done, toRead.size());
    }
    for (const DocumentFile& document : toRead) {
        if (cancel != nullptr && cancel->load()) {
            report.cancelled = true;
            break;
        }
        // Planned as changed: whatever the index held is replaced.
        const Step step = IndexOne(index, worker, document, nullptr, cancel, report);
        if (step == Step::kCancelled || step == Step::kFailed) {
            break;
        }
        ++done;
        if (progress) {
            progress(done, toRead.size());
        }
    }
    return report;
}

BackgroundIndexer::BackgroundIndexer(std::string indexPath, IndexerOptions options, Listener listener)
    : m_indexPath(std::move(indexPath)), m_options(std::move(options)), m_listener(std::move(listener)) {
    m_thread = std::thread([this] { Run(); });
}

BackgroundIndexer::~BackgroundIndexer() {
    Stop();
}

void BackgroundIndexer::UpdateAll(std::vector<DocumentFile> documents) {
    {
        const std::lock_guard lock(m_mutex);
        m_passDocuments = std::move(documents);
        m_passAsked = true;
        m_passWork.clear();
        m_touched.clear();
    }
    m_wake.notify_one();
}

void BackgroundIndexer::Keep(std::vector<DocumentFile> documents) {
    {
        const std::lock_guard lock(m_mutex);
        for (DocumentFile& document : documents) {
            m_touched.insert(document.id);
            m_keep.push_back(std::move(document));
        }
    }
    m_wake.notify_one();
}

void BackgroundIndexer::Forget(std::vector<NodeId> ids) {
    {
        const std::lock_guard lock(m_mutex);
        for (const NodeId id : ids) {
            m_touched.insert(id);
            // A document named for reading and then deleted is not read.
            std::erase_if(m_keep, [id](const DocumentFile& document) { return document.id == id; });
        }
        m_forget.insert(m_forget.end(), ids.begin(), ids.end());
    }
    m_wake.notify_one();
}

void BackgroundIndexer::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool BackgroundIndexer::Idle() const {
    const std::lock_guard lock(m_mutex);
    return !m_busy && !m_passAsked && m_passWork.empty() && m_keep.empty() && m_forget.empty();
}

void BackgroundIndexer::Tell(const Event& event) {
    if (m_listener) {
        m_listener(event);
    }
}

void BackgroundIndexer::Run() {
    // Nice applies to a thread on Linux, and the worker started from it inherits it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
    std::string error;
    std::unique_ptr<TextIndex> index = TextIndex::Open(m_indexPath, TextIndex::Mode::kWrite, &error);
    ExtractionWorker worker(m_options.workerProgram, m_options.limits);
    bool failed = false;
    using Cause = Event::Cause;
    const auto fail = [&](const std::string& why, Cause cause) {
        failed = true;
        Tell({Event::Kind::kFailed, 0, 0, why, cause});
    };
    const auto failPass = [&](const IndexPassReport& report) {
        fail(report.failure, report.workerFailed ? Cause::kWorker : Cause::kIndexSave);
    };
    if (!index) {
        fail(m_indexPath + ": " + error, Cause::kIndexOpen);
    }
    for (;;) {
        std::vector<NodeId> forget;
        std::vector<DocumentFile> keep;
        std::vector<DocumentFile> plan;
        bool planning = false;
        std::unordered_set<NodeId> spare;
        DocumentFile next;
        bool haveNext = false;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            m_wake.wait(lock, [&] {
                return m_stop || (!failed && (!m_forget.empty() || !m_keep.empty() || m_passAsked ||
                                              !m_passWork.empty())) ||
                       (failed && m_passAsked);
            });
            if (m_stop) {
                return;
            }
            m_busy = true;
            if (m_passAsked && index && index->Replaced()) {
                index.reset();
            }
            if ((failed || !index) && m_passAsked) {
                // A new pass is a new try: the index or the worker may work now.
                failed = false;
                if (!index) {
                    index = TextIndex::Open(m_indexPath, TextIndex::Mode::kWrite, &error);
                    if (!index) {
                        m_passAsked = false;
                        lock.unlock();
                        fail(m_indexPath + ": " + error, Cause::kIndexOpen);
                        continue;
                    }
                }
            }
            forget.swap(m_forget);
            // Documents from commands go one at a time, so that a long list never holds back a
            // document deleted meanwhile.
            if (forget.empty() && !m_keep.empty()) {
                keep.push_back(std::move(m_keep.front()));
                m_keep.pop_front();
            }
            if (forget.empty() && keep.empty() && m_passAsked) {
                plan.swap(m_passDocuments);
                m_passAsked = false;
                planning = true;
                spare = m_touched;
            }
            if (forget.empty() && keep.empty() && !planning && !m_passWork.empty()) {
                next = std::move(m_passWork.front());
                m_passWork.pop_front();
                haveNext = !m_touched.contains(next.id);
            }
        }
        if (!forget.empty()) {
            if (!index->Remove(forget)) {
                fail("cannot save to the content index " + m_indexPath, Cause::kIndexSave);
                continue;
            }
            Tell({Event::Kind::kDocuments, 0, 0, {}});
            continue;
        }
        if (!keep.empty()) {
            const IndexPassReport report = IndexDocuments(*index, keep, worker, &m_stop);
            if (!report.failure.empty()) {
                failPass(report);
            } else if (!report.cancelled) {
                Tell({Event::Kind::kDocuments, 0, 0, {}});
            }
            continue;
        }
        if (planning) {
            IndexPassReport report;
            std::vector<DocumentFile> toRead = Plan(*index, std::move(plan), spare, report);
            if (!report.failure.empty()) {
                failPass(report);
                continue;
            }
            std::size_t total;
            {
                const std::lock_guard lock(m_mutex);
                if (m_passAsked) {
                    continue; // replaced while planning
                }
                m_passWork.assign(std::make_move_iterator(toRead.begin()), std::make_move_iterator(toRead.end()));
                m_passTotal = total = m_passWork.size();
                m_passDone = 0;
            }
            // The knowledge base's whole list of documents is gone again: its memory goes back to
            // the system rather than stay with this thread's heap.
            toRead = {};
            ::malloc_trim(0);
            Tell({total == 0 ? Event::Kind::kPassFinished : Event::Kind::kProgress, 0, total, {}});
            continue;
        }
        std::size_t done;
        std::size_t total;
        bool last;
        if (haveNext) {
            IndexPassReport report;
            const std::optional<IndexedDocument> known = index->Document(next.id);
            // What was read before the pass was planned stays, unless the file changed since.
            const Step step = IndexOne(*index, worker, next, known ? &*known : nullptr, &m_stop, report);
            if (step == Step::kCancelled) {
                continue;
            }
            if (step == Step::kFailed) {
                failPass(report);
                continue;
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            done = ++m_passDone;
            total = m_passTotal;
            last = m_passWork.empty() && !m_passAsked;
        }
        if (last) {
            ::malloc_trim(0);
        }
        Tell({last ? Event::Kind::kPassFinished : Event::Kind::kProgress, done, total, {}});
    }
}

} // namespace mwdx

#pragma once

// Bringing the content index up to date with a knowledge base, and keeping it there. A document
// is read again only when its file's identity changed; one whose file only moved gets its new path;
// what the knowledge base no longer holds is forgotten. Each document is saved on its own, so work
// cut short (cancelled, or the process killed) goes on where it stopped the next time.

#include "catalog/model.h"
#include "operations/check.h"
#include "textindex/extraction.h"
#include "textindex/text_index.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace mwdx {

class ExtractionWorker;

// A document and the path of its file.
struct DocumentFile {
    NodeId id = 0;
    std::string path;
};

// Every document of the catalog, in the tree's order.
std::vector<DocumentFile> DocumentsOf(const CatalogModel& catalog);

// The documents of a catalog in the tree's order, as DocumentsOf gives them, gathered a slice at
// a time: at a million nodes the walk takes a fraction of a second that the window need not give
// in one piece. The catalog must not change between slices unless Restart is called after.
class DocumentGatherer final {
public:
    // Begins with the documents of `catalog` (until Stop, which must come before it goes).
    void Start(const CatalogModel& catalog);
    // Visits up to `nodes` more nodes; true once every document is gathered (Take gives them).
    bool Step(std::size_t nodes);
    // The catalog changed: what was gathered may be gone or elsewhere, so it begins again.
    void Restart();
    void Stop();
    bool Active() const { return m_catalog != nullptr; }
    // What was gathered; the gatherer is stopped afterwards.
    std::vector<DocumentFile> Take();

private:
    const CatalogModel* m_catalog = nullptr;
    std::vector<const CatalogNode*> m_walk; // nodes still to visit, the next on top
    std::vector<DocumentFile> m_gathered;
};

// The node itself when it is a document, else every document below it, in the tree's order: what
// to keep in step after the node was added, moved or renamed (or to forget before it is deleted).
std::vector<DocumentFile> DocumentsUnder(const CatalogNode& node);

// The node's names from the top level down, joined by '/': where the user finds it in the tree.
std::string CatalogPathOf(const CatalogNode& node);

// The health check's findings about the index: documents it does not know (kNotIndexed) and those
// whose file changed since their text was read (kIndexStale), appended to `report`. A document
// whose file is missing is left to the check's own finding.
void AddContentIndexFindings(TextIndex& index, const std::vector<DocumentFile>& documents, CheckReport& report);

struct IndexerOptions {
    std::string workerProgram; // marrowdex-extract (WorkerBesideProgram() for the program's own)
    ExtractionLimits limits;
};

// What one pass did.
struct IndexPassReport {
    std::size_t read = 0;      // files read (text saved, or the reason there is none)
    std::size_t unchanged = 0; // already up to date
    std::size_t moved = 0;     // only their path changed
    std::size_t removed = 0;   // gone from the knowledge base
    std::vector<std::pair<NodeId, SkipReason>> skipped; // read now, without (all of) their text
    bool cancelled = false;
    std::string failure; // the worker could not start or the index could not be saved (English)
    bool workerFailed = false; // the failure is the worker's
};

// Called after each document read: `done` of `total` to read in this pass.
using IndexProgress = std::function<void(std::size_t done, std::size_t total)>;

// Brings `index` up to date with `documents` (all of the knowledge base's): reads what is new or
// changed through the extraction worker, forgets what is not among them. Stops early when `cancel`
// is set (the document under way is left for next time) or on the first failure to save.
IndexPassReport UpdateTextIndex(TextIndex& index, const std::vector<DocumentFile>& documents,
                                const IndexerOptions& options, const IndexProgress& progress = {},
                                const std::atomic<bool>* cancel = nullptr);

// The same for some documents only (nothing is forgotten), through a worker already running.
IndexPassReport IndexDocuments(TextIndex& index, const std::vector<DocumentFile>& documents, ExtractionWorker& worker,
                               const std::atomic<bool>* cancel = nullptr);

// Indexing on a thread of its own, for the window: a whole pass and, ahead of it, the documents a
// command just changed, so that what the user adds is found within a moment. The thread has its
// own connection to the index and its own worker; the window queries through another connection
// (TextIndex::Open(..., kRead)). Events are told on the indexing thread: post them on. The thread
// and the worker it starts run at a lower priority than the window, which stays quick meanwhile.
// An index file deleted meanwhile is made again at the next pass.
class BackgroundIndexer final {
public:
    struct Event {
        enum class Kind {
            kProgress,     // done of total in the pass
            kPassFinished, // the pass is over (done == total unless it was replaced)
            kDocuments,    // the documents a Keep or Forget named are in step
            kFailed,       // failure says why; nothing more is done until a new pass is asked for
        };
        Kind kind = Kind::kProgress;
        std::size_t done = 0;
        std::size_t total = 0;
        std::string failure; // kFailed: what failed, in English
        enum class Cause { kNone, kIndexOpen, kIndexSave, kWorker };
        Cause cause = Cause::kNone;
    };
    using Listener = std::function<void(const Event&)>;

    BackgroundIndexer(std::string indexPath, IndexerOptions options, Listener listener);
    ~BackgroundIndexer(); // Stop()
    BackgroundIndexer(const BackgroundIndexer&) = delete;
    BackgroundIndexer& operator=(const BackgroundIndexer&) = delete;

    // A pass over the knowledge base's documents (all of them), replacing any pass under way.
    void UpdateAll(std::vector<DocumentFile> documents);
    // After a command added, moved, renamed or imported documents: these, before the pass goes on.
    void Keep(std::vector<DocumentFile> documents);
    // After a command deleted or dropped documents: they leave the index, before the pass goes on.
    void Forget(std::vector<NodeId> ids);
    // Ends the thread, killing a worker in the middle of a file; what was saved stays.
    void Stop();
    // True while nothing is queued or under way.
    bool Idle() const;

private:
    void Run();
    void Tell(const Event& event);

    std::string m_indexPath;
    IndexerOptions m_options;
    Listener m_listener;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    bool m_busy = false;
    bool m_passAsked = false;
    std::vector<DocumentFile> m_passDocuments;        // a pass asked for, not yet planned
    std::deque<DocumentFile> m_passWork;              // the pass's documents still to read
    std::size_t m_passTotal = 0;
    std::size_t m_passDone = 0;
    std::deque<DocumentFile> m_keep;                  // from commands: first
    std::vector<NodeId> m_forget;
    std::unordered_set<NodeId> m_touched;             // named by a command since the pass was asked
    std::thread m_thread;
};

} // namespace mwdx

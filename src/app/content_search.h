#pragma once

// Content search for the window. The content index beside the store is kept up to date on a thread
// of its own from the first start (the extraction worker reads the files); every command's changes
// to the catalog follow once it has ended, ahead of a long pass; queries are answered off the
// window's thread. Everything it tells arrives on the window's thread.

#include "catalog/model.h"
#include "textindex/indexer.h"
#include "textindex/text_index.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace mwdx {

class ContentQueries;

class ContentSearch final : public QObject, public CatalogObserver {
    Q_OBJECT

public:
    // The index beside the store at `storePath`; files are read by the program `workerProgram`.
    ContentSearch(const std::string& storePath, std::string workerProgram, QObject* parent = nullptr);
    ~ContentSearch() override;

    // The catalog is shown anew (loaded, or given back after long work on another thread): a pass
    // over all of its documents, which reads only what is new or changed. Its documents are
    // gathered a slice at a time, so the window keeps answering at a million nodes.
    void CatalogShown(const CatalogModel& catalog);
    // The catalog is about to be taken away (loaded again, or changed on another thread): the
    // gathering stops until it is shown again.
    void CatalogHidden();
    // A command has ended: the documents it added, moved, renamed, imported or deleted (as the
    // catalog told) go to the index now, ahead of any pass.
    void CommandEnded(const CatalogModel& catalog);

    // Asks which documents match `text`; `found` answers with the ticket returned.
    std::uint64_t Find(const QString& text);
    // Asks for document `id`'s snippet around the first match of `text`; `snippet` answers.
    std::uint64_t Snippet(NodeId id, const QString& text);

    // What the window shows of the indexing: "Indexing 1,234 of 5,678 documents" while a pass
    // reads, why the index cannot be kept after a failure (Detail() in English), else empty.
    const QString& Status() const { return m_status; }
    const QString& Detail() const { return m_detail; }

    // The catalog's changes, gathered until the command ends.
    void NodeAdded(const CatalogNode& node) override;
    void NodeAboutToBeRemoved(const CatalogNode& node) override;
    void NodeRemoved(const CatalogNode&) override {}
    void NodeChanged(const CatalogNode& node) override;
    void NodeAboutToMove(const CatalogNode& node) override;
    void NodeMoved(const CatalogNode& node) override;

signals:
    void found(std::uint64_t ticket, const std::vector<NodeId>& ids);
    void snippet(std::uint64_t ticket, NodeId id, const std::optional<ContentHit>& hit);
    void statusChanged();
    // Documents were indexed since the last time: a query asked before may find more now.
    void indexChanged();

private:
    // Runs `call` on the window's thread, in the order posted; any thread may post.
    void Post(std::function<void()> call);
    Q_INVOKABLE void TakeMail();
    void GatherSlice();
    void RestartGathering();
    void ShowProgress();
    void OnPassFinished();
    void OnFailed(int textId, const QString& detail);

    std::unique_ptr<ContentQueries> m_queries;
    std::unique_ptr<BackgroundIndexer> m_indexer;
    std::uint64_t m_nextTicket = 0;
    // How far the pass is, written by the indexing thread; the window looks now and then.
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_total{0};
    std::atomic<bool> m_watching{false}; // the window's timer is looking
    QTimer m_progressTimer;
    std::size_t m_refreshedAt = 0; // m_done when the last indexChanged was told during the pass
    int m_ticksSinceRefresh = 0;
    // The documents of the catalog shown, gathered a slice at a time for the pass.
    DocumentGatherer m_gatherer;
    QTimer m_gatherTimer;
    std::vector<NodeId> m_touched; // added, changed or moved: their documents go to the index
    std::vector<NodeId> m_gone;    // documents deleted
    QString m_status;
    QString m_detail;
    // What the query and indexing threads hand to the window's thread, under the lock.
    std::mutex m_mailLock;
    std::vector<std::function<void()>> m_mail;
};

} // namespace mwdx

#include "app/content_search.h"

#include "app/prompts.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "textindex/content_queries.h"
#include "textindex/indexer.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <utility>

namespace mwdx {

namespace {

// How often the window shows how far the pass is, and how many of those looks pass between asking
// a search shown again while the pass indexes documents.
constexpr int kProgressMs = 200;
constexpr int kRefreshTicks = 5;
// The catalog's documents are gathered this many nodes at a step, for this long at a time.
constexpr std::size_t kGatherStep = 1 << 12;
constexpr auto kGatherTime = std::chrono::milliseconds(10);

QString Filled(int textId, std::size_t first, std::size_t second) {
    return UiText(textId)
        .arg(QString::fromStdString(GroupedCount(first)), QString::fromStdString(GroupedCount(second)));
}

} // namespace

ContentSearch::ContentSearch(const std::string& storePath, std::string workerProgram, QObject* parent)
    : QObject(parent) {
    const std::string indexPath = TextIndexPathFor(storePath);
    m_queries = std::make_unique<ContentQueries>(
        indexPath,
        [this](ContentQueries::Found answer) {
            Post([this, answer = std::move(answer)] { emit found(answer.ticket, answer.ids); });
        },
        [this](ContentQueries::Excerpt answer) {
            Post([this, answer = std::move(answer)] { emit snippet(answer.ticket, answer.id, answer.hit); });
        });

    IndexerOptions options;
    options.workerProgram = std::move(workerProgram);
    m_progressTimer.setInterval(kProgressMs);
    m_gatherTimer.setSingleShot(true);
    connect(&m_gatherTimer, &QTimer::timeout, this, &ContentSearch::GatherSlice);
    connect(&m_progressTimer, &QTimer::timeout, this, &ContentSearch::ShowProgress);
    // Runs on the indexing thread. A pass over files that are all missing reads thousands a
    // second: the count is only written down, and the window looks at it on its own timer.
    auto listener = [this](const BackgroundIndexer::Event& event) {
        using Kind = BackgroundIndexer::Event::Kind;
        using Cause = BackgroundIndexer::Event::Cause;
        switch (event.kind) {
        case Kind::kProgress:
            m_total = event.total;
            m_done = event.done;
            if (!m_watching.exchange(true)) {
                Post([this] {
                        ShowProgress();
                        m_progressTimer.start();
                    });
            }
            return;
        case Kind::kPassFinished:
            m_total = event.total;
            m_done = event.done;
            // The next pass's first count starts the window's looking again, after this.
            m_watching = false;
            Post([this] { OnPassFinished(); });
            return;
        case Kind::kDocuments:
            // What a command changed is findable now: said at once.
            Post([this] { emit indexChanged(); });
            return;
        case Kind::kFailed: {
            const int textId = event.cause == Cause::kWorker      ? text::kExtractWorkerMissing
                               : event.cause == Cause::kIndexOpen ? text::kContentIndexUnusable
                                                                  : text::kContentIndexNotSaved;
            m_watching = false;
            Post([this, textId, detail = QString::fromStdString(SanitizeUtf8(event.failure))] {
                    OnFailed(textId, detail);
                });
            return;
        }
        }
    };
    m_indexer = std::make_unique<BackgroundIndexer>(indexPath, std::move(options), std::move(listener));
}

void ContentSearch::Post(std::function<void()> call) {
    bool first = false;
    {
        const std::lock_guard<std::mutex> lock(m_mailLock);
        first = m_mail.empty();
        m_mail.push_back(std::move(call));
    }
    if (first) {
        // By name: the call Qt queues holds nothing of ours, so all that crosses goes through the lock.
        QMetaObject::invokeMethod(this, "TakeMail", Qt::QueuedConnection);
    }
}

void ContentSearch::TakeMail() {
    std::vector<std::function<void()>> mail;
    {
        const std::lock_guard<std::mutex> lock(m_mailLock);
        mail.swap(m_mail);
    }
    for (const std::function<void()>& call : mail) {
        call();
    }
}

ContentSearch::~ContentSearch() {
    // Both threads end before the object they post to: nothing is told after this.
    m_indexer->Stop();
    m_queries->Stop();
}

void ContentSearch::CatalogShown(const CatalogModel& catalog) {
    // The pass covers whatever commands changed meanwhile.
    m_touched.clear();
    m_gone.clear();
    m_gatherer.Start(catalog);
    m_gatherTimer.start(0);
}

void ContentSearch::CatalogHidden() {
    m_gatherTimer.stop();
    m_gatherer.Stop();
}

void ContentSearch::GatherSlice() {
    if (!m_gatherer.Active()) {
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    while (!m_gatherer.Step(kGatherStep)) {
        if (std::chrono::steady_clock::now() - started > kGatherTime) {
            m_gatherTimer.start(0);
            return;
        }
    }
    m_indexer->UpdateAll(m_gatherer.Take());
}

void ContentSearch::CommandEnded(const CatalogModel& catalog) {
    if (!m_gone.empty()) {
        m_indexer->Forget(std::exchange(m_gone, {}));
    }
    if (m_touched.empty()) {
        return;
    }
    // A node may have been named more than once (added, then renamed); its documents go once.
    std::vector<NodeId> touched = std::exchange(m_touched, {});
    std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    std::vector<DocumentFile> documents;
    for (const NodeId id : touched) {
        if (const CatalogNode* node = catalog.NodeById(id)) {
            std::vector<DocumentFile> under = DocumentsUnder(*node);
            documents.insert(documents.end(), std::make_move_iterator(under.begin()),
                             std::make_move_iterator(under.end()));
        }
    }
    if (!documents.empty()) {
        m_indexer->Keep(std::move(documents));
    }
}

std::uint64_t ContentSearch::Find(const QString& text) {
    const std::uint64_t ticket = ++m_nextTicket;
    m_queries->Find(ticket, ToStoreText(text.toStdU16String()));
    return ticket;
}

std::uint64_t ContentSearch::Snippet(NodeId id, const QString& text) {
    const std::uint64_t ticket = ++m_nextTicket;
    m_queries->Snippet(ticket, id, ToStoreText(text.toStdU16String()));
    return ticket;
}

void ContentSearch::RestartGathering() {
    // A change while the documents are gathered may free or move nodes the walk still holds: it
    // begins again (changes come one command at a time; the walk takes a fraction of a second).
    m_gatherer.Restart();
}

void ContentSearch::NodeAdded(const CatalogNode& node) {
    RestartGathering();
    m_touched.push_back(node.FileId());
}

void ContentSearch::NodeAboutToBeRemoved(const CatalogNode& node) {
    RestartGathering();
    for (const DocumentFile& document : DocumentsUnder(node)) {
        m_gone.push_back(document.id);
    }
}

void ContentSearch::NodeChanged(const CatalogNode& node) {
    RestartGathering();
    // A catalog renamed: the paths of everything below it changed.
    m_touched.push_back(node.FileId());
}

void ContentSearch::NodeAboutToMove(const CatalogNode&) {
    RestartGathering();
}

void ContentSearch::NodeMoved(const CatalogNode& node) {
    m_touched.push_back(node.FileId());
}

void ContentSearch::ShowProgress() {
    const std::size_t done = m_done;
    const std::size_t total = m_total;
    const QString status = total == 0 ? QString() : Filled(text::kIndexingProgress, done, total);
    if (status != m_status || !m_detail.isEmpty()) {
        m_status = status;
        m_detail.clear();
        emit statusChanged();
    }
    // A search shown may find more in what was read since.
    if (++m_ticksSinceRefresh >= kRefreshTicks && done != m_refreshedAt) {
        m_ticksSinceRefresh = 0;
        m_refreshedAt = done;
        emit indexChanged();
    }
}

void ContentSearch::OnPassFinished() {
    m_progressTimer.stop();
    m_refreshedAt = 0;
    if (!m_status.isEmpty() || !m_detail.isEmpty()) {
        m_status.clear();
        m_detail.clear();
        emit statusChanged();
    }
    emit indexChanged();
}

void ContentSearch::OnFailed(int textId, const QString& detail) {
    m_progressTimer.stop();
    m_status = UiText(textId);
    m_detail = detail;
    emit statusChanged();
}

} // namespace mwdx

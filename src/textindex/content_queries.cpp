#include "textindex/content_queries.h"

namespace mwdx {

ContentQueries::ContentQueries(std::string indexPath, std::function<void(Found)> found,
                               std::function<void(Excerpt)> excerpt, std::size_t cap)
    : m_indexPath(std::move(indexPath)), m_found(std::move(found)), m_excerpt(std::move(excerpt)), m_cap(cap) {
    m_thread = std::thread([this] { Run(); });
}

ContentQueries::~ContentQueries() {
    Stop();
}

void ContentQueries::Find(std::uint64_t ticket, std::string query) {
    {
        const std::lock_guard lock(m_mutex);
        m_find = FindAsked{ticket, std::move(query)};
    }
    m_wake.notify_one();
}

void ContentQueries::Snippet(std::uint64_t ticket, NodeId id, std::string query) {
    {
        const std::lock_guard lock(m_mutex);
        m_snippet = SnippetAsked{ticket, id, std::move(query)};
    }
    m_wake.notify_one();
}

void ContentQueries::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

TextIndex* ContentQueries::Index() {
    if (m_index && m_index->Replaced()) {
        m_index.reset();
    }
    if (!m_index) {
        m_index = TextIndex::Open(m_indexPath, TextIndex::Mode::kRead);
    }
    return m_index.get();
}

void ContentQueries::Run() {
    for (;;) {
        std::optional<FindAsked> find;
        std::optional<SnippetAsked> snippet;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_find || m_snippet; });
            if (m_stop) {
                return;
            }
            // The tree's marks first: the snippet is for a row the user picks among them.
            if (m_find) {
                find.swap(m_find);
            } else {
                snippet.swap(m_snippet);
            }
        }
        if (find) {
            Found found;
            found.ticket = find->ticket;
            const ParsedQuery query = ParseQuery(find->query);
            if (TextIndex* index = Index(); index != nullptr && !query.Empty()) {
                found.ids = index->MatchingIds(query, m_cap);
                found.capped = found.ids.size() >= m_cap;
            }
            m_found(std::move(found));
        } else {
            Excerpt excerpt;
            excerpt.ticket = snippet->ticket;
            excerpt.id = snippet->id;
            const ParsedQuery query = ParseQuery(snippet->query);
            if (TextIndex* index = Index(); index != nullptr && !query.Empty()) {
                excerpt.hit = index->Excerpt(snippet->id, query);
            }
            m_excerpt(std::move(excerpt));
        }
    }
}

} // namespace mwdx

#pragma once

// Content queries for the window, on a thread of their own with their own connection to the
// index, so the window never waits for the index. Two kinds of question: which documents match a
// query (what marks the tree), and one document's snippet (what the comment pane shows). A new
// question of a kind replaces one of that kind not yet begun; answers are told on the query thread
// (post them on). An index that is not there yet, or was deleted, is looked for again at every
// question.

#include "textindex/text_index.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mwdx {

class ContentQueries final {
public:
    struct Found {
        std::uint64_t ticket = 0;
        std::vector<NodeId> ids; // in FILE_ID order
        bool capped = false;     // there may be more than `ids`
    };
    struct Excerpt {
        std::uint64_t ticket = 0;
        NodeId id = 0;
        std::optional<ContentHit> hit; // nothing when the index holds no text for it
    };

    // Answers go to `found` and `excerpt`; at most `cap` documents are named per query.
    ContentQueries(std::string indexPath, std::function<void(Found)> found, std::function<void(Excerpt)> excerpt,
                   std::size_t cap = 100'000);
    ~ContentQueries(); // Stop()
    ContentQueries(const ContentQueries&) = delete;
    ContentQueries& operator=(const ContentQueries&) = delete;

    // The documents whose text matches `query` (UTF-8), told with `ticket`. A query without words
    // is answered with none.
    void Find(std::uint64_t ticket, std::string query);
    // Document `id`'s snippet around the first match of `query`, told with `ticket`.
    void Snippet(std::uint64_t ticket, NodeId id, std::string query);
    // Ends the thread once the question under way is answered; nothing is told after it returns.
    void Stop();

private:
    void Run();
    TextIndex* Index();

    std::string m_indexPath;
    std::function<void(Found)> m_found;
    std::function<void(Excerpt)> m_excerpt;
    std::size_t m_cap;
    std::unique_ptr<TextIndex> m_index; // the query thread's alone
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    struct FindAsked {
        std::uint64_t ticket;
        std::string query;
    };
    struct SnippetAsked {
        std::uint64_t ticket;
        NodeId id;
        std::string query;
    };
    std::optional<FindAsked> m_find;
    std::optional<SnippetAsked> m_snippet;
    std::thread m_thread;
};

} // namespace mwdx

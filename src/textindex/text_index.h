#pragma once

// The content index: a SQLite file of its own beside the store (mymwdx_text.db), so the store keeps
// its schema. It holds, for each document (by FILE_ID), the identity of the file its text was read
// from, the text itself (compressed, so snippets and a rebuild of the terms need no new reading),
// why it has none when it has none, and the FTS5 terms of the text. It can always be thrown away:
// a file that is not such an index, or one of an older layout, is replaced by an empty one; one
// whose terms were made by another folding is given new terms from its stored texts.

#include "catalog/node.h"
#include "operations/program_files.h"
#include "textindex/extraction.h"
#include "textindex/snippet.h"
#include "textindex/tokens.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace mwdx {

// The index file's path for a store's path: the same folder.
std::string TextIndexPathFor(const std::string& storePath);

// What decides whether a file must be read again: the same size, modification time and inode
// mean the same content. size is -1 for a file that cannot be looked at (then all are 0 or -1).
struct FileIdentity {
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` now (links followed); size -1 when there is none.
FileIdentity IdentityOf(const std::string& path);

// One document as the index knows it.
struct IndexedDocument {
    NodeId id = 0;
    std::string path;
    FileIdentity identity;
    SkipReason reason = SkipReason::kNone;
    DocFormat format = DocFormat::kNone;
    std::int32_t pages = 0;
    std::int64_t chars = 0;
    bool hasText = false;
};

struct ContentHit {
    NodeId id = 0;
    std::string path;
    double score = 0; // bm25: lower is better
    bool paged = false; // a PDF: snippet.page means something
    Snippet snippet;
};

struct ContentResults {
    std::vector<ContentHit> hits; // best first
    std::size_t matches = 0;      // documents that match, counted up to the cap
    bool capped = false;          // there may be more than `matches`
};

class TextIndex final {
public:
    enum class Mode { kRead, kWrite };

    // Opens the index at `path`. kWrite makes it when missing and replaces a file that is not a
    // usable index (see above). kRead never writes; a missing or unusable file fails. nullptr on
    // failure, with *error (if given) saying why, in English.
    static std::unique_ptr<TextIndex> Open(const std::string& path, Mode mode, std::string* error = nullptr);

    ~TextIndex();
    TextIndex(const TextIndex&) = delete;
    TextIndex& operator=(const TextIndex&) = delete;

    const std::string& Path() const { return m_path; }

    // Every document the index knows, by FILE_ID. Empty when it cannot be read.
    std::unordered_map<NodeId, IndexedDocument> Documents();

    // Calls `visit` with every document the index knows, in FILE_ID order, one at a time (a
    // million of them need not be held at once). False when they cannot be read to the end.
    bool EachDocument(const std::function<void(const IndexedDocument&)>& visit);

    // The one document, if the index knows it.
    std::optional<IndexedDocument> Document(NodeId id);

    // Records what reading the file at `path` (with `identity` as it was before the reading)
    // gave for document `id`, replacing whatever the index held for it: its text and terms, or the
    // reason it has none. All or nothing; false when it could not be saved.
    bool Put(NodeId id, const std::string& path, const FileIdentity& identity, const Extraction& extraction);

    // Many changes saved as one (far quicker for thousands of documents): every change between the
    // two is kept or none. CommitBatch() false: nothing of the batch was saved.
    bool BeginBatch();
    bool CommitBatch();
    // Nothing of the batch is saved.
    void CancelBatch();

    // The document's file moved or was renamed, its identity unchanged: only the path follows.
    bool SetPath(NodeId id, const std::string& path);

    // Forgets the documents (text, terms and all). False when it could not be saved.
    bool Remove(const std::vector<NodeId>& ids);

    // The document's stored text, if it has one.
    std::optional<std::string> Text(NodeId id);

    // The documents whose text matches, ranked by relevance among the first `rankCap` found, the
    // best `limit` of them with a snippet each. Nothing for an empty query or one FTS5 refuses.
    ContentResults Search(const ParsedQuery& query, std::size_t limit = 20, std::size_t rankCap = 1000);

    // Every document whose text matches, up to `cap` of them, in FILE_ID order (no ranking, no
    // snippets): what marks content matches in the tree.
    std::vector<NodeId> MatchingIds(const ParsedQuery& query, std::size_t cap = 1'000'000);

    // The snippet of one document's text around the first place `query` matches (score 0); nothing
    // when the index holds no text for it. snippet.found is false when the text does not match.
    std::optional<ContentHit> Excerpt(NodeId id, const ParsedQuery& query);

    // True once the file at Path() is no longer the one opened (deleted or replaced): what is
    // written goes nowhere, and a new Open makes the index again.
    bool Replaced() const;

    // Whether the index is whole: SQLite's and FTS5's own checks, and every text with its terms and
    // its document. False with *problem saying what is wrong. FTS5's check needs an index opened
    // for writing (it changes nothing).
    bool Verify(std::string* problem);

private:
    TextIndex(sqlite3* db, std::string path);
    bool Exec(const char* sql);
    bool DeleteTerms(NodeId id);

    sqlite3* m_db;
    std::string m_path;
    FileIdentity m_file; // of the file when opened: its inode tells it from a new one
};

// The stored form of a text: its length, then the zlib stream; and back. Unpack fails on damage.
std::string PackText(std::string_view text);
std::optional<std::string> UnpackText(std::string_view packed);

} // namespace mwdx

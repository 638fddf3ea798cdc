#include "textindex/text_index.h"

#include "platform/text.h"
#include "platform/text_ids.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unicode/uversion.h>
#include <unistd.h>
#include <zlib.h>

namespace mwdx {

namespace {

// The layout of the file; another value means an index to throw away.
constexpr int kLayout = 1;
// The terms' making: another value means new terms from the stored texts. ICU's version is part of
// it, since its tables decide the folding.
const std::string kTermsVersion = std::string("2/icu-") + U_ICU_VERSION;

constexpr const char* kSchema = R"sql(
create table if not exists meta(key text primary key, value text not null);
create table if not exists docs(
    id integer primary key, path text not null, size integer not null, mtime integer not null,
    inode integer not null, reason integer not null, format integer not null, pages integer not null,
    chars integer not null, has_text integer not null);
create table if not exists texts(id integer primary key, body blob not null);
)sql";

// Contentless: the text is kept once, compressed, in `texts`. Terms come already folded and
// separated by spaces, so the plain ascii tokenizer only splits them. Prefixes of one character
// get an index of their own, since a single CJK character is a prefix query over every pair it
// starts; so do those of three, which a word typed so far mostly is (at 100,000 documents a prefix
// query without it took up to 300 ms, with it 20). Two would copy every CJK pair.
constexpr const char* kTermsTable =
    "create virtual table if not exists terms using fts5(body, content='', tokenize='ascii', prefix='1 3');";

class Statement final {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* operator*() const { return m_stmt; }
    Statement& Bind(int index, std::int64_t value) {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    Statement& Bind(int index, std::string_view value) {
        sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindBlob(int index, std::string_view value) {
        sqlite3_bind_blob(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        return *this;
    }
    int Step() { return m_stmt != nullptr ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    bool Run() { return Step() == SQLITE_DONE; }
    std::int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string_view Text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return bytes != nullptr ? std::string_view(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                                : std::string_view();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back unless committed; inside a batch, a savepoint of it.
class WriteTransaction final {
public:
    explicit WriteTransaction(sqlite3* db) : m_db(db), m_nested(sqlite3_get_autocommit(db) == 0) {
        m_open = sqlite3_exec(db, m_nested ? "savepoint put;" : "begin immediate;", nullptr, nullptr, nullptr) ==
                 SQLITE_OK;
    }
    ~WriteTransaction() {
        if (m_open) {
            sqlite3_exec(m_db, m_nested ? "rollback to put; release put;" : "rollback;", nullptr, nullptr, nullptr);
        }
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    bool Open() const { return m_open; }
    bool Commit() {
        if (!m_open) {
            return false;
        }
        if (sqlite3_exec(m_db, m_nested ? "release put;" : "commit;", nullptr, nullptr, nullptr) != SQLITE_OK) {
            return false;
        }
        m_open = false;
        return true;
    }

private:
    sqlite3* m_db;
    bool m_nested;
    bool m_open = false;
};

std::string Meta(sqlite3* db, const char* key) {
    Statement select(db, "select value from meta where key = ?;");
    if (!select.Ok()) {
        return {};
    }
    select.Bind(1, std::string_view(key));
    return select.Step() == SQLITE_ROW ? std::string(select.Text(0)) : std::string();
}

bool SetMeta(sqlite3* db, const char* key, const std::string& value) {
    Statement upsert(db, "insert into meta(key, value) values(?, ?) on conflict(key) do update set value = excluded.value;");
    return upsert.Ok() && upsert.Bind(1, std::string_view(key)).Bind(2, value).Run();
}

void RemoveIndexFiles(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        ::unlink((path + suffix).c_str());
    }
}

bool ExecOn(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Fresh terms for every stored text, in one transaction.
bool RebuildTerms(sqlite3* db) {
    WriteTransaction transaction(db);
    if (!transaction.Open() || !ExecOn(db, "drop table if exists terms;") || !ExecOn(db, kTermsTable)) {
        return false;
    }
    Statement texts(db, "select id, body from texts;");
    Statement insert(db, "insert into terms(rowid, body) values(?, ?);");
    int step;
    while ((step = texts.Step()) == SQLITE_ROW) {
        const std::optional<std::string> text = UnpackText(texts.Text(1));
        if (!text) {
            return false;
        }
        const std::string terms = IndexTerms(*text);
        if (!insert.Bind(1, texts.Int(0)).Bind(2, terms).Run()) {
            return false;
        }
        sqlite3_reset(*insert);
    }
    return step == SQLITE_DONE && SetMeta(db, "terms", kTermsVersion) && transaction.Commit();
}

sqlite3* OpenFile(const std::string& path, int flags, std::string* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error != nullptr) {
            *error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        }
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

// Whether the open file is an index of this layout; makes the tables in an empty one.
bool Prepare(sqlite3* db, bool write, std::string* error) {
    const auto fail = [&](const char* what) {
        if (error != nullptr) {
            *error = std::string(what) + ": " + sqlite3_errmsg(db);
        }
        return false;
    };
    bool empty;
    {
        Statement tables(db, "select count(*) from sqlite_master;");
        if (!tables.Ok() || tables.Step() != SQLITE_ROW) {
            return fail("not a content index");
        }
        empty = tables.Int(0) == 0;
    }
    if (empty) {
        if (!write) {
            return fail("an empty file");
        }
        if (!ExecOn(db, "pragma journal_mode = wal;") || !ExecOn(db, kSchema) || !ExecOn(db, kTermsTable) ||
            !SetMeta(db, "layout", std::to_string(kLayout)) || !SetMeta(db, "terms", kTermsVersion)) {
            return fail("cannot make the content index");
        }
        return true;
    }
    if (Meta(db, "layout") != std::to_string(kLayout)) {
        return fail("not a content index of this program's layout");
    }
    if (write && Meta(db, "terms") != kTermsVersion && !RebuildTerms(db)) {
        return fail("cannot renew the terms");
    }
    return true;
}

} // namespace

int SkipReasonText(SkipReason reason) {
    switch (reason) {
    case SkipReason::kEncrypted:
        return text::kSkipEncrypted;
    case SkipReason::kMalformed:
        return text::kSkipMalformed;
    case SkipReason::kTooBig:
        return text::kSkipTooBig;
    case SkipReason::kEmpty:
        return text::kSkipEmpty;
    case SkipReason::kUnknownType:
        return text::kSkipUnknownType;
    case SkipReason::kNotSupported:
        return text::kSkipNotSupported;
    case SkipReason::kNoTextLayer:
        return text::kSkipNoTextLayer;
    case SkipReason::kTimeLimit:
        return text::kSkipTimeLimit;
    case SkipReason::kUnreadable:
        return text::kSkipUnreadable;
    case SkipReason::kMissing:
        return text::kSkipMissing;
    case SkipReason::kImage:
        return text::kSkipImage;
    case SkipReason::kNone:
        break;
    }
    return 0;
}

std::string TextIndexPathFor(const std::string& storePath) {
    const std::size_t slash = storePath.rfind('/');
    return slash == std::string::npos ? std::string(kTextIndexFileName)
                                      : storePath.substr(0, slash + 1) + kTextIndexFileName;
}

FileIdentity IdentityOf(const std::string& path) {
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        return {};
    }
    return {static_cast<std::int64_t>(file.st_size),
            static_cast<std::int64_t>(file.st_mtim.tv_sec) * 1'000'000'000 + file.st_mtim.tv_nsec,
            static_cast<std::int64_t>(file.st_ino)};
}

std::string PackText(std::string_view text) {
    uLongf bound = compressBound(static_cast<uLong>(text.size()));
    std::string packed(8 + bound, '\0');
    const std::uint64_t length = text.size();
    for (int i = 0; i < 8; ++i) {
        packed[static_cast<std::size_t>(i)] = static_cast<char>(length >> (8 * i) & 0xFF);
    }
    if (compress2(reinterpret_cast<Bytef*>(packed.data() + 8), &bound, reinterpret_cast<const Bytef*>(text.data()),
                  static_cast<uLong>(text.size()), 6) != Z_OK) {
        return {};
    }
    packed.resize(8 + bound);
    return packed;
}

std::optional<std::string> UnpackText(std::string_view packed) {
    if (packed.size() < 8) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    for (int i = 7; i >= 0; --i) {
        length = length << 8 | static_cast<unsigned char>(packed[static_cast<std::size_t>(i)]);
    }
    if (length > (std::uint64_t{1} << 32)) {
        return std::nullopt;
    }
    std::string text(length, '\0');
    uLongf size = static_cast<uLongf>(length);
    if (uncompress(reinterpret_cast<Bytef*>(text.data()), &size, reinterpret_cast<const Bytef*>(packed.data() + 8),
                   static_cast<uLong>(packed.size() - 8)) != Z_OK ||
        size != length) {
        return std::nullopt;
    }
    return text;
}

std::unique_ptr<TextIndex> TextIndex::Open(const std::string& path, Mode mode, std::string* error) {
    const bool write = mode == Mode::kWrite;
    const int flags = write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    std::string why;
    sqlite3* db = OpenFile(path, flags, &why);
    if (db != nullptr && !Prepare(db, write, &why)) {
        sqlite3_close(db);
        db = nullptr;
        if (write) {
            // Nothing in it is worth keeping: everything can be read again from the documents.
            RemoveIndexFiles(path);
            db = OpenFile(path, flags, &why);
            if (db != nullptr && !Prepare(db, write, &why)) {
                sqlite3_close(db);
                db = nullptr;
            }
        }
    }
    if (db == nullptr) {
        if (error != nullptr) {
            *error = why;
        }
        return nullptr;
    }
    if (write) {
        ExecOn(db, "pragma synchronous = normal;");
    }
    return std::unique_ptr<TextIndex>(new TextIndex(db, path));
}

TextIndex::TextIndex(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)), m_file(IdentityOf(m_path)) {}

bool TextIndex::Replaced() const {
    const FileIdentity now = IdentityOf(m_path);
    return now.size < 0 || now.inode != m_file.inode;
}

TextIndex::~TextIndex() {
    sqlite3_close_v2(m_db);
}

bool TextIndex::Exec(const char* sql) {
    return ExecOn(m_db, sql);
}

namespace {

IndexedDocument DocumentFrom(const Statement& row) {
    IndexedDocument document;
    document.id = row.Int(0);
    document.path = std::string(row.Text(1));
    document.identity = {row.Int(2), row.Int(3), row.Int(4)};
    document.reason = static_cast<SkipReason>(row.Int(5));
    document.format = static_cast<DocFormat>(row.Int(6));
    document.pages = static_cast<std::int32_t>(row.Int(7));
    document.chars = row.Int(8);
    document.hasText = row.Int(9) != 0;
    return document;
}

constexpr const char* kSelectDocs =
    "select id, path, size, mtime, inode, reason, format, pages, chars, has_text from docs";

} // namespace

std::unordered_map<NodeId, IndexedDocument> TextIndex::Documents() {
    std::unordered_map<NodeId, IndexedDocument> documents;
    Statement select(m_db, kSelectDocs);
    while (select.Step() == SQLITE_ROW) {
        IndexedDocument document = DocumentFrom(select);
        documents.emplace(document.id, std::move(document));
    }
    return documents;
}

bool TextIndex::EachDocument(const std::function<void(const IndexedDocument&)>& visit) {
    Statement select(m_db, (std::string(kSelectDocs) + " order by id;").c_str());
    int step;
    while ((step = select.Step()) == SQLITE_ROW) {
        visit(DocumentFrom(select));
    }
    return step == SQLITE_DONE;
}

std::optional<IndexedDocument> TextIndex::Document(NodeId id) {
    Statement select(m_db, (std::string(kSelectDocs) + " where id = ?;").c_str());
    select.Bind(1, id);
    if (select.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return DocumentFrom(select);
}

// Takes the document's terms out of the index: a contentless table must be told the very terms it
// was given, which the stored text gives again.
bool TextIndex::DeleteTerms(NodeId id) {
    Statement select(m_db, "select body from texts where id = ?;");
    select.Bind(1, id);
    const int step = select.Step();
    if (step == SQLITE_DONE) {
        return true;
    }
    if (step != SQLITE_ROW) {
        return false;
    }
    const std::optional<std::string> text = UnpackText(select.Text(0));
    if (!text) {
        return false;
    }
    Statement remove(m_db, "insert into terms(terms, rowid, body) values('delete', ?, ?);");
    Statement removeText(m_db, "delete from texts where id = ?;");
    return remove.Bind(1, id).Bind(2, IndexTerms(*text)).Run() && removeText.Bind(1, id).Run();
}

bool TextIndex::Put(NodeId id, const std::string& path, const FileIdentity& identity, const Extraction& extraction) {
    const bool hasText = !extraction.text.empty();
    // The slow parts before the transaction, so a reader or another writer waits the least. Stored
    // valid, so that snippets cut from it are.
    const std::string text = SanitizeUtf8(extraction.text);
    const std::string packed = hasText ? PackText(text) : std::string();
    const std::string terms = hasText ? IndexTerms(text) : std::string();
    if (hasText && packed.empty()) {
        return false;
    }
    std::int64_t chars = 0;
    for (const char c : text) {
        chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    WriteTransaction transaction(m_db);
    if (!transaction.Open() || !DeleteTerms(id)) {
        return false;
    }
    Statement doc(m_db, "insert or replace into docs(id, path, size, mtime, inode, reason, format, pages, chars, "
                        "has_text) values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?);");
    doc.Bind(1, id)
        .Bind(2, path)
        .Bind(3, identity.size)
        .Bind(4, identity.mtimeNs)
        .Bind(5, identity.inode)
        .Bind(6, static_cast<std::int64_t>(extraction.reason))
        .Bind(7, static_cast<std::int64_t>(extraction.format))
        .Bind(8, extraction.pages)
        .Bind(9, chars)
        .Bind(10, hasText ? 1 : 0);
    if (!doc.Run()) {
        return false;
    }
    if (hasText) {
        Statement text(m_db, "insert into texts(id, body) values(?, ?);");
        Statement term(m_db, "insert into terms(rowid, body) values(?, ?);");
        if (!text.Bind(1, id).BindBlob(2, packed).Run() || !term.Bind(1, id).Bind(2, terms).Run()) {
            return false;
        }
    }
    return transaction.Commit();
}

bool TextIndex::BeginBatch() {
    return Exec("begin immediate;");
}

bool TextIndex::CommitBatch() {
    if (Exec("commit;")) {
        return true;
    }
    Exec("rollback;");
    return false;
}

void TextIndex::CancelBatch() {
    Exec("rollback;");
}

bool TextIndex::SetPath(NodeId id, const std::string& path) {
    Statement update(m_db, "update docs set path = ? where id = ?;");
    return update.Bind(1, path).Bind(2, id).Run();
}

bool TextIndex::Remove(const std::vector<NodeId>& ids) {
    WriteTransaction transaction(m_db);
    if (!transaction.Open()) {
        return false;
    }
    for (const NodeId id : ids) {
        Statement remove(m_db, "delete from docs where id = ?;");
        if (!DeleteTerms(id) || !remove.Bind(1, id).Run()) {
            return false;
        }
    }
    return transaction.Commit();
}

std::optional<std::string> TextIndex::Text(NodeId id) {
    Statement select(m_db, "select body from texts where id = ?;");
    select.Bind(1, id);
    if (select.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return UnpackText(select.Text(0));
}

ContentResults TextIndex::Search(const ParsedQuery& query, std::size_t limit, std::size_t rankCap) {
    ContentResults results;
    if (query.Empty()) {
        return results;
    }
    const std::string expression = FtsExpression(query);
    struct Ranked {
        NodeId id;
        double score;
    };
    std::vector<Ranked> ranked;
    {
        Statement match(m_db, "select rowid, bm25(terms) from terms where terms match ? limit ?;");
        match.Bind(1, expression).Bind(2, static_cast<std::int64_t>(rankCap));
        while (match.Step() == SQLITE_ROW) {
            ranked.push_back({match.Int(0), sqlite3_column_double(*match, 1)});
        }
    }
    results.matches = ranked.size();
    results.capped = ranked.size() >= rankCap;
    const std::size_t best = std::min(limit, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(best), ranked.end(),
                      [](const Ranked& a, const Ranked& b) { return a.score < b.score || (a.score == b.score && a.id < b.id); });
    for (std::size_t i = 0; i < best; ++i) {
        if (std::optional<ContentHit> hit = Excerpt(ranked[i].id, query)) {
            hit->score = ranked[i].score;
            results.hits.push_back(std::move(*hit));
        }
    }
    return results;
}

std::vector<NodeId> TextIndex::MatchingIds(const ParsedQuery& query, std::size_t cap) {
    std::vector<NodeId> ids;
    if (query.Empty()) {
        return ids;
    }
    Statement match(m_db, "select rowid from terms where terms match ? limit ?;");
    match.Bind(1, FtsExpression(query)).Bind(2, static_cast<std::int64_t>(cap));
    while (match.Step() == SQLITE_ROW) {
        ids.push_back(match.Int(0));
    }
    return ids;
}

std::optional<ContentHit> TextIndex::Excerpt(NodeId id, const ParsedQuery& query) {
    Statement select(m_db, "select d.path, d.format, t.body from docs d join texts t on t.id = d.id where d.id = ?;");
    select.Bind(1, id);
    if (select.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    const std::optional<std::string> text = UnpackText(select.Text(2));
    if (!text) {
        return std::nullopt;
    }
    ContentHit hit;
    hit.id = id;
    hit.path = std::string(select.Text(0));
    hit.paged = static_cast<DocFormat>(select.Int(1)) == DocFormat::kPdf;
    hit.snippet = MakeSnippet(*text, query);
    return hit;
}

bool TextIndex::Verify(std::string* problem) {
    const auto fail = [&](const std::string& what) {
        if (problem != nullptr) {
            *problem = what;
        }
        return false;
    };
    {
        Statement check(m_db, "pragma integrity_check;");
        if (check.Step() != SQLITE_ROW || check.Text(0) != "ok") {
            return fail("integrity_check: " + std::string(check.Text(0)));
        }
    }
    if (!Exec("insert into terms(terms) values('integrity-check');")) {
        return fail(std::string("terms: ") + sqlite3_errmsg(m_db));
    }
    const char* const checks[][2] = {
        {"select count(*) from texts where id not in (select id from docs where has_text = 1);", "a text without its document"},
        {"select count(*) from docs where has_text = 1 and id not in (select id from texts);", "a document without its text"},
        {"select count(*) from texts where id not in (select id from terms_docsize);", "a text without terms"},
        {"select count(*) from terms_docsize where id not in (select id from texts);", "terms without a text"},
    };
    for (const auto& [sql, what] : checks) {
        Statement count(m_db, sql);
        if (count.Step() != SQLITE_ROW) {
            return fail(std::string("cannot read: ") + sqlite3_errmsg(m_db));
        }
        if (count.Int(0) != 0) {
            return fail(std::to_string(count.Int(0)) + " times " + what);
        }
    }
    return true;
}

} // namespace mwdx

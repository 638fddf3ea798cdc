#include "sample_catalog.h"

#include "catalog/node.h"
#include "store/fresh_database.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>

namespace mwdx::bench {
namespace {

// splitmix64: a fixed seed gives the same catalog in every run.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t m_state;
};

constexpr std::array<std::string_view, 12> kComments = {
    "Signed copy, the original is in the cabinet",
    "Second draft after the review meeting",
    "Numbers checked against the ledger",
    "To be archived after the audit",
    "Scanned at 300 dpi",
    "Sent to the client on Friday",
    "Needs a second pair of eyes before it goes out",
    "Zusammenfassung für das Team (März)",
    "会议记录，已确认",
    "Final version - do not edit",
    "Copy from the shared drive, see O'Neill's note",
    "Old numbers; the corrected file is next to it",
};

constexpr std::array<std::string_view, 8> kExtensions = {"pdf", "pdf", "pdf", "docx", "xlsx", "txt", "jpg", "odt"};

// About a quarter of the nodes carry no comment.
std::string_view PickComment(Random& random) {
    const int pick = random.Below(16);
    return pick < 4 ? std::string_view{} : kComments[static_cast<std::size_t>(pick) % kComments.size()];
}

// "2019-04-17" for a day counted from 2010-01-01.
std::string DateText(int day) {
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 2010;
    for (;;) {
        const int yearDays = (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 366 : 365;
        if (day < yearDays) {
            break;
        }
        day -= yearDays;
        ++year;
    }
    int month = 0;
    for (;; ++month) {
        const int monthDays = kMonthDays[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
        if (day < monthDays) {
            break;
        }
        day -= monthDays;
    }
    char text[48]; // room for any int, though the values stay small
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year % 10000, month + 1, day + 1);
    return text;
}

// The documents of one catalog get distinct dates, so their names never clash.
std::string DocumentName(Random& random, std::string_view prefix, int firstDay, int index) {
    std::string name(prefix);
    name += '-';
    name += DateText(firstDay + index * 3);
    name += '.';
    name += kExtensions[static_cast<std::size_t>(random.Below(static_cast<int>(kExtensions.size())))];
    return name;
}

std::string Numbered(std::string_view word, int number, int digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*s %0*d", static_cast<int>(word.size()), word.data(), digits, number);
    return text;
}

// Inserts rows until the budget is spent, each under a parent inserted before it.
class Filler {
public:
    Filler(sqlite3* db, sqlite3_stmt* insert, std::int64_t budget, SampleStats& stats)
        : m_db(db), m_insert(insert), m_budget(budget), m_stats(stats) {}

    bool Full() const { return m_stats.rows >= m_budget || !m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // The new row's FILE_ID, or 0 when nothing was inserted (budget spent or an error).
    std::int64_t Add(std::int64_t parentId, std::int32_t level, std::int32_t fileType, std::string_view name,
                     std::string_view comment) {
        if (Full()) {
            return 0;
        }
        // An empty view may have no data pointer, which SQLite would bind as NULL.
        const std::string_view raw = fileType == kDocumentType ? name : std::string_view("");
        if (comment.empty()) {
            comment = "";
        }
        sqlite3_reset(m_insert);
        sqlite3_bind_text(m_insert, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_int64(m_insert, 2, parentId);
        sqlite3_bind_text(m_insert, 3, comment.data(), static_cast<int>(comment.size()), SQLITE_STATIC);
        sqlite3_bind_int(m_insert, 4, fileType);
        sqlite3_bind_text(m_insert, 5, raw.data(), static_cast<int>(raw.size()), SQLITE_STATIC);
        sqlite3_bind_int(m_insert, 6, level);
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            m_error = std::string("insert failed: ") + sqlite3_errmsg(m_db);
            return 0;
        }
        ++m_stats.rows;
        ++(fileType == kCatalogType ? m_stats.catalogs : m_stats.documents);
        if (level == 1) {
            ++m_stats.topLevel;
        }
        if (level > m_stats.maxLevel) {
            m_stats.maxLevel = level;
        }
        m_levelSum += level;
        return sqlite3_last_insert_rowid(m_db);
    }

    double MeanLevel() const { return m_stats.rows == 0 ? 0 : static_cast<double>(m_levelSum) / m_stats.rows; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_insert;
    std::int64_t m_budget;
    SampleStats& m_stats;
    std::int64_t m_levelSum = 0;
    std::string m_error;
};

// Top-level projects, each with three loose documents and four sub-catalogs of 50 documents.
void FillWide(Filler& filler, Random& random) {
    struct Kind {
        std::string_view catalog;
        std::string_view prefix;
    };
    static constexpr Kind kKinds[] = {
        {"Reports", "report"}, {"Minutes", "minutes"}, {"Correspondence", "letter"}, {"Drafts", "draft"}};
    static constexpr std::string_view kLoose[] = {"overview.docx", "budget-2021.xlsx", "contacts.txt"};

    for (int project = 0; !filler.Full(); ++project) {
        // One project in ten has a name outside ASCII, as a real archive does.
        const std::string name = project % 10 == 7 ? Numbered("项目", project, 4) : Numbered("Project", project, 4);
        const std::int64_t top = filler.Add(0, 1, kCatalogType, name, PickComment(random));
        for (std::string_view loose : kLoose) {
            filler.Add(top, 2, kDocumentType, loose, PickComment(random));
        }
        for (const Kind& kind : kKinds) {
            const std::int64_t sub = filler.Add(top, 2, kCatalogType, kind.catalog, PickComment(random));
            const int firstDay = random.Below(3000);
            for (int d = 0; d < 50; ++d) {
                filler.Add(sub, 3, kDocumentType, DocumentName(random, kind.prefix, firstDay, d), PickComment(random));
            }
        }
    }
}

constexpr std::int32_t kDeepLevels = 12;

// One catalog at `level` with 2-6 documents, then 1 or 2 sub-catalogs (mean 1.5) down to the
// twelfth level, so every branch is twelve levels deep. Depth is bounded, so recursion is fine.
void FillDeepCatalog(Filler& filler, Random& random, std::int64_t parentId, std::int32_t level, int index) {
    static constexpr std::string_view kWords[kDeepLevels] = {"Archive", "Division", "Department", "Year",
                                                             "Quarter", "Month",    "Case",       "Volume",
                                                             "Part",    "Chapter",  "Section",    "Folder"};
    static constexpr std::string_view kPrefixes[] = {"scan", "report", "notes", "invoice", "photo", "memo"};
    const std::string name = Numbered(kWords[level - 1], index + 1, level == 1 ? 3 : 2);
    const std::int64_t id = filler.Add(parentId, level, kCatalogType, name, PickComment(random));
    if (id == 0) {
        return;
    }
    const int documents = 2 + random.Below(5);
    const int firstDay = random.Below(3000);
    for (int d = 0; d < documents; ++d) {
        const std::string_view prefix = kPrefixes[random.Below(6)];
        filler.Add(id, level + 1, kDocumentType, DocumentName(random, prefix, firstDay, d), PickComment(random));
    }
    if (level < kDeepLevels) {
        const int subCatalogs = 1 + random.Below(2);
        for (int s = 0; s < subCatalogs && !filler.Full(); ++s) {
            FillDeepCatalog(filler, random, id, level + 1, s);
        }
    }
}

void FillDeep(Filler& filler, Random& random) {
    for (int archive = 0; !filler.Full(); ++archive) {
        FillDeepCatalog(filler, random, 0, 1, archive);
    }
}

void FillFlat(Filler& filler, Random& random) {
    const std::int64_t big = filler.Add(0, 1, kCatalogType, "Big", "");
    for (int item = 1; !filler.Full(); ++item) {
        filler.Add(big, 2, kCatalogType, Numbered("Item", item, 7), PickComment(random));
    }
}

// The damage a store can suffer outside the program, on top of a wide catalog.
void FillDamaged(sqlite3* db, Filler& filler, Random& random, std::int64_t rows, SampleStats& stats,
                 std::string* error) {
    const std::int64_t wideRows = rows * 8 / 10;
    std::vector<std::int64_t> tops;
    std::int64_t lastDrafts = 0;
    for (int project = 0; stats.rows < wideRows && !filler.Full(); ++project) {
        const std::int64_t top = filler.Add(0, 1, kCatalogType, Numbered("Project", project, 5), PickComment(random));
        tops.push_back(top);
        for (int c = 0; c < 4 && stats.rows < wideRows; ++c) {
            const std::int64_t sub = filler.Add(top, 2, kCatalogType, Numbered("Drafts", c, 1), PickComment(random));
            lastDrafts = sub;
            const int firstDay = random.Below(3000);
            for (int d = 0; d < 50 && stats.rows < wideRows; ++d) {
                filler.Add(sub, 3, kDocumentType, DocumentName(random, "draft", firstDay, d), PickComment(random));
            }
        }
    }
    // A chain: one catalog in the other, far deeper than a path can go.
    const std::int64_t chainRows = rows / 10;
    const std::int64_t chainTop = filler.Add(0, 1, kCatalogType, "Chain", "");
    std::int64_t parent = chainTop;
    std::int64_t placedLinks = 0;
    const std::size_t topPath = kSampleHomeDirectory.size() + std::string_view("/Chain").size();
    for (std::int64_t i = 0; i < chainRows - 1 && !filler.Full(); ++i) {
        parent = filler.Add(parent, static_cast<std::int32_t>(i + 2), kCatalogType, "link", "");
        // Each link adds "/link" to the path; Linux takes paths below 4096 bytes.
        if (topPath + 5 * static_cast<std::size_t>(i + 1) < 4096) {
            ++placedLinks;
        }
    }
    stats.unplaceable += (chainRows - 1) - placedLinks;
    // Orphans: their parents were deleted by another tool.
    const std::int64_t orphans = rows / 20;
    for (std::int64_t i = 0; i < orphans && !filler.Full(); ++i) {
        filler.Add(rows * 10 + i, 2, i % 2 == 0 ? kDocumentType : kCatalogType, Numbered("orphan", int(i), 7), "");
        ++stats.unplaceable;
    }
    // Cycles: pairs that name each other as parent, filling the rest.
    const std::int64_t firstPair = stats.rows + 1;
    while (!filler.Full()) {
        filler.Add(0, 2, kCatalogType, "looped", "");
    }
    const std::int64_t lastPair = firstPair + ((stats.rows - firstPair + 1) / 2) * 2 - 1;
    stats.unplaceable += lastPair - firstPair + 1;
    const std::string cycles = "UPDATE FILE_NODE SET PARENT_ID = CASE WHEN (FILE_ID - " + std::to_string(firstPair) +
                               ") % 2 = 0 THEN FILE_ID + 1 ELSE FILE_ID - 1 END WHERE FILE_ID BETWEEN " +
                               std::to_string(firstPair) + " AND " + std::to_string(lastPair) + ";";
    // An odd row left over stays a top-level catalog: placeable.
    // Moves: one project in twenty now lives in the last project's drafts, so its rows come first.
    std::string moves = "UPDATE FILE_NODE SET PARENT_ID = " + std::to_string(lastDrafts) + " WHERE FILE_ID IN (";
    bool any = false;
    for (std::size_t i = 0; i + 1 < tops.size(); i += 20) {
        moves += (any ? "," : "") + std::to_string(tops[i]);
        any = true;
    }
    moves += ");";
    for (const std::string& sql : {cycles, moves}) {
        char* message = nullptr;
        if ((sql != moves || any) && sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            *error = sql + ": " + (message != nullptr ? message : "");
            sqlite3_free(message);
            return;
        }
    }
}

bool Exec(sqlite3* db, const char* sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        *error = std::string(sql) + ": " + (message != nullptr ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::int64_t QueryInt(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    std::int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

} // namespace

std::vector<Shape> ParseShapes(std::string_view list) {
    std::vector<Shape> shapes;
    if (list.find("wide") != std::string_view::npos) {
        shapes.push_back(Shape::Wide);
    }
    if (list.find("deep") != std::string_view::npos) {
        shapes.push_back(Shape::Deep);
    }
    if (list.find("damaged") != std::string_view::npos) {
        shapes.push_back(Shape::Damaged);
    }
    if (list.find("flat") != std::string_view::npos) {
        shapes.push_back(Shape::Flat);
    }
    return shapes;
}

std::string_view ShapeName(Shape shape) {
    switch (shape) {
    case Shape::Wide:
        return "wide";
    case Shape::Deep:
        return "deep";
    case Shape::Flat:
        return "flat";
    case Shape::Damaged:
        break;
    }
    return "damaged";
}

bool BuildSampleCatalog(const std::string& path, Shape shape, std::int64_t rows, SampleStats* stats,
                        std::string* error) {
    const auto started = std::chrono::steady_clock::now();
    if (!CreateFreshDatabase(path, error)) {
        return false;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        *error = "cannot open the new database";
        sqlite3_close(db);
        return false;
    }
    SampleStats local;
    // Nobody else uses the file while it is built; a crash only loses a sample.
    bool ok = Exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN;", error);
    if (ok) {
        const std::string settings =
            "UPDATE SYS_CONFIG SET ROOT_DIR='" + std::string(kSampleHomeDirectory) + "', FIRST_RUNNING=0;";
        ok = Exec(db, settings.c_str(), error);
    }
    sqlite3_stmt* insert = nullptr;
    if (ok &&
        sqlite3_prepare_v2(db,
                           "INSERT INTO FILE_NODE (FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                           "VALUES (?,?,?,?,?,?);",
                           -1, &insert, nullptr) != SQLITE_OK) {
        *error = std::string("prepare: ") + sqlite3_errmsg(db);
        ok = false;
    }
    if (ok) {
        Filler filler(db, insert, rows, local);
        Random random(shape == Shape::Wide ? 0x5EED0001u : shape == Shape::Deep ? 0x5EED0002u : 0x5EED0003u);
        if (shape == Shape::Wide) {
            FillWide(filler, random);
        } else if (shape == Shape::Flat) {
            FillFlat(filler, random);
        } else if (shape == Shape::Deep) {
            FillDeep(filler, random);
        } else {
            FillDamaged(db, filler, random, rows, local, error);
            ok = error->empty();
        }
        local.meanLevel = filler.MeanLevel();
        if (!filler.Error().empty()) {
            *error = filler.Error();
            ok = false;
        }
    }
    sqlite3_finalize(insert);
    ok = ok && Exec(db, "COMMIT;", error);
    if (ok) {
        // The loader relies on ids 1..rows in insertion order; check the file says so.
        const std::int64_t count = QueryInt(db, "select count(*) from FILE_NODE;");
        const std::int64_t minId = QueryInt(db, "select min(FILE_ID) from FILE_NODE;");
        const std::int64_t maxId = QueryInt(db, "select max(FILE_ID) from FILE_NODE;");
        if (count != rows || minId != 1 || maxId != rows) {
            *error = "unexpected rows: count " + std::to_string(count) + ", ids " + std::to_string(minId) + ".." +
                     std::to_string(maxId);
            ok = false;
        }
    }
    sqlite3_close(db);
    if (!ok) {
        std::filesystem::remove(path);
        return false;
    }
    local.fileBytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    local.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (stats != nullptr) {
        *stats = local;
    }
    return true;
}

} // namespace mwdx::bench

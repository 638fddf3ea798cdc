#include "catalog/loader.h"

#include "catalog/paths.h"
#include "platform/text.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace mwdx {
namespace {

constexpr ColumnSpec kCountColumns[] = {{0, 1, 4}};

// A text column up to its first NUL, as every reader of the store takes it.
std::string_view TextOf(const Statement& row, int column) {
    const std::string_view all = row.Bytes(column);
    return all.substr(0, all.find('\0'));
}

// Most stored texts are already valid; only copy the ones that are not.
struct ValidText {
    explicit ValidText(std::string_view raw) {
        if (IsValidUtf8(raw)) {
            view = raw;
        } else {
            owned = SanitizeUtf8(raw);
            view = owned;
        }
    }
    std::string owned;
    std::string_view view;
};

std::string HomeDirectoryFromSettings() {
    return SanitizeUtf8(RootDirOf(SettingsCopy()));
}

// A row as it will become a node.
struct LoadedRow {
    NodeDetails details;
    std::int32_t fileType = 0;
    std::int32_t storedLevel = 0;
    bool taken = false; // placed or refused since it was kept
};

LoadedRow MakeRow(std::string_view fileName, NodeId parentId, NodeId fileId, std::int32_t fileType,
                  std::string_view comment, std::string_view rawFileName, std::int32_t pathLevel) {
    LoadedRow row;
    const ValidText name(fileName);
    const ValidText note(comment);
    const ValidText raw(rawFileName);
    FillNodeDetails(row.details, fileId, name.view, parentId, note.view, raw.view);
    // An empty name leaves the record as it was; the ids must still be the row's.
    row.details.fileId = fileId;
    row.details.parentId = parentId;
    row.fileType = fileType;
    row.storedLevel = pathLevel;
    return row;
}

std::string_view NameOnDisk(const LoadedRow& row) {
    return row.fileType == kCatalogType ? row.details.fileName : row.details.rawFileName;
}

// Places rows into a model as their parents become known.
class Placer final {
public:
    Placer(CatalogModel& model, std::string homeDirectory, LoadReport* report)
        : m_model(model), m_home(std::move(homeDirectory)), m_report(report) {}

    // The parent's node, the Root Node (made on first need) for PARENT_ID 0; nullptr when it is
    // not placed (yet).
    CatalogNode* ParentOf(NodeId parentId) {
        // The rows come ordered by parent: most have the one the row before had.
        if (m_lastParent != nullptr && parentId == m_lastParentId) {
            return m_lastParent;
        }
        CatalogNode* parent = parentId == 0 ? m_model.EnsureRootNode(m_home) : m_model.NodeById(parentId);
        if (parent != nullptr) {
            m_lastParentId = parentId;
            m_lastParent = parent;
        }
        return parent;
    }

    // Places the row now if its parent is there, otherwise keeps it until the parent comes.
    // Then places every kept row that was waiting for it, and for those, in the order they came.
    void Offer(LoadedRow row) {
        if (row.details.fileId <= 0) {
            Refuse(row, UnplacedReason::kIdOutOfRange);
            return;
        }
        CatalogNode* parent = ParentOf(row.details.parentId);
        if (parent == nullptr) {
            Keep(std::move(row));
            return;
        }
        CatalogNode* placed = Place(*parent, std::move(row));
        if (placed == nullptr) {
            return;
        }
        std::vector<NodeId> newlyPlaced{placed->FileId()};
        while (!newlyPlaced.empty()) {
            const NodeId id = newlyPlaced.back();
            newlyPlaced.pop_back();
            const auto waiting = m_waiting.find(id);
            if (waiting == m_waiting.end()) {
                continue;
            }
            std::vector<std::size_t> rows = std::move(waiting->second);
            m_waiting.erase(waiting);
            CatalogNode* node = m_model.NodeById(id);
            for (const std::size_t index : rows) {
                LoadedRow& kept = m_kept[index];
                kept.taken = true;
                if (CatalogNode* child = Place(*node, std::move(kept))) {
                    newlyPlaced.push_back(child->FileId());
                }
            }
        }
    }

    // Rows still waiting when the query has ended: why each could not be placed.
    void Finish() {
        if (m_report == nullptr) {
            return;
        }
        std::unordered_map<NodeId, std::size_t> keptById;
        for (std::size_t i = 0; i < m_kept.size(); ++i) {
            if (!m_kept[i].taken) {
                keptById.emplace(m_kept[i].details.fileId, i);
            }
        }
        // Each row's reason follows from its parent's: walk up until a known answer, a missing
        // parent or a row met twice (a cycle), then settle every row on the way.
        enum : unsigned char { kUnknown, kOnPath, kSettled };
        std::vector<unsigned char> state(m_kept.size(), kUnknown);
        std::vector<UnplacedReason> reason(m_kept.size(), UnplacedReason::kParentNotPlaced);
        std::vector<std::size_t> path;
        for (const auto& [id, start] : keptById) {
            (void)id;
            if (state[start] != kUnknown) {
                continue;
            }
            path.clear();
            std::size_t at = start;
            std::optional<std::size_t> cycleStart;
            bool parentMissing = false;
            while (true) {
                state[at] = kOnPath;
                path.push_back(at);
                const NodeId parentId = m_kept[at].details.parentId;
                const auto parent = keptById.find(parentId);
                if (parent == keptById.end()) {
                    parentMissing = !m_refusedIds.contains(parentId) && m_model.NodeById(parentId) == nullptr;
                    break;
                }
                if (state[parent->second] == kOnPath) {
                    cycleStart = parent->second;
                    break;
                }
                if (state[parent->second] == kSettled) {
                    break;
                }
                at = parent->second;
            }
            bool inCycle = false;
            for (const std::size_t row : path) {
                if (cycleStart && row == *cycleStart) {
                    inCycle = true;
                }
                reason[row] = inCycle ? UnplacedReason::kCycle : UnplacedReason::kParentNotPlaced;
                state[row] = kSettled;
            }
            if (parentMissing) {
                reason[path.back()] = UnplacedReason::kMissingParent;
            }
        }
        for (std::size_t i = 0; i < m_kept.size(); ++i) {
            if (!m_kept[i].taken) {
                Report(m_kept[i], reason[i]);
            }
        }
    }

    bool AllPlaced() const { return m_refused == 0 && m_waiting.empty(); }

    // Places the row under `parent` at once; nullptr when it cannot be (refused, or no memory).
    CatalogNode* Place(CatalogNode& parent, LoadedRow row) {
        if (m_model.NodeById(row.details.fileId) != nullptr) {
            // Two nodes with one id would share their identity: deleting one would delete both rows.
            Refuse(row, UnplacedReason::kDuplicateId);
            return nullptr;
        }
        std::string path = JoinNodePath(parent.Path(), NameOnDisk(row));
        if (path.size() >= kMaxPathBytes) {
            Refuse(row, UnplacedReason::kPathTooLong);
            return nullptr;
        }
        const std::int32_t level = parent.PathLevel() + 1;
        if (level != row.storedLevel && m_report != nullptr) {
            m_report->correctedLevels.push_back({row.details.fileId, row.storedLevel, level});
        }
        const NodeId id = row.details.fileId;
        const std::int32_t fileType = row.fileType;
        // A node that finds no memory is skipped and loading goes on. Siblings are put in id order
        // once all are in (OrderChildren): where the next start shows a node is where it is now.
        return m_model.AppendChildNode(parent, std::move(row.details), level, id, fileType, std::move(path));
    }

private:
    void Keep(LoadedRow row) {
        m_waiting[row.details.parentId].push_back(m_kept.size());
        m_kept.push_back(std::move(row));
    }

    void Refuse(const LoadedRow& row, UnplacedReason reason) {
        ++m_refused;
        if (row.details.fileId != 0) {
            m_refusedIds.insert(row.details.fileId);
        }
        Report(row, reason);
    }

    void Report(const LoadedRow& row, UnplacedReason reason) {
        if (m_report != nullptr) {
            m_report->unplaced.push_back(
                {row.details.fileId, row.details.parentId, row.fileType, row.details.fileName, reason});
        }
    }

    CatalogModel& m_model;
    std::string m_home;
    LoadReport* m_report;
    std::vector<LoadedRow> m_kept;                                  // rows that came before their parent
    std::unordered_map<NodeId, std::vector<std::size_t>> m_waiting; // parent id -> kept rows, in order
    std::unordered_set<NodeId> m_refusedIds;
    std::size_t m_refused = 0;
    NodeId m_lastParentId = 0;
    CatalogNode* m_lastParent = nullptr; // nodes are never taken away while loading
};

} // namespace

int CountNodes(int* count) {
    std::int32_t value = 0;
    int rows = 0;
    if (QueryRows(kCountNodes, 1, kCountColumns, sizeof value, &value, 1, &rows) != kQueryDone) {
        return 0;
    }
    if (count != nullptr) {
        *count = value;
    }
    return 1;
}

int AttachLoadedRow(CatalogModel& model, std::string_view fileName, NodeId parentId, NodeId fileId,
                    std::int32_t fileType, std::string_view comment, std::string_view rawFileName,
                    std::int32_t pathLevel) {
    if (fileId <= 0 || model.NodeById(fileId) != nullptr) {
        return 0;
    }
    Placer placer(model, HomeDirectoryFromSettings(), nullptr);
    CatalogNode* parent = placer.ParentOf(parentId);
    if (parent == nullptr) {
        return 0;
    }
    LoadedRow row = MakeRow(fileName, parentId, fileId, fileType, comment, rawFileName, pathLevel);
    if (JoinNodePath(parent->Path(), NameOnDisk(row)).size() >= kMaxPathBytes) {
        return 0;
    }
    placer.Place(*parent, std::move(row));
    model.OrderChildren();
    return 1;
}

int LoadAllNodes(CatalogModel& model, int count, LoadReport* report) {
    // Build into a model of our own so that a query failing after some rows leaves `model` as it was.
    CatalogModel loaded;
    loaded.Reserve(static_cast<std::size_t>(std::max(count, 0)));
    LoadReport found;
    Placer placer(loaded, HomeDirectoryFromSettings(), &found);

    // Read straight from SQLite's row: the texts are copied once, into the node.
    Statement rows(kSelectNodes);
    const auto limit = static_cast<std::size_t>(std::max(count, 0));
    while (found.rowsRead < limit && rows.Next()) {
        if (rows.Columns() < 7) {
            return 0;
        }
        ++found.rowsRead;
        // The texts whole, however long: an edit writes back what it holds, so a text cut here
        // would be cut in the store by an edit that never changed it.
        placer.Offer(MakeRow(TextOf(rows, 1), rows.Integer(2), rows.Integer(0),
                             static_cast<std::int32_t>(rows.Integer(4)), TextOf(rows, 3), TextOf(rows, 5),
                             static_cast<std::int32_t>(rows.Integer(6))));
    }
    // Rows beyond the count are not read; a step that failed leaves `model` as it was.
    if (rows.Status() != kStatementOk) {
        return 0;
    }
    placer.Finish();
    loaded.OrderChildren();
    const bool allPlaced = placer.AllPlaced();
    model = std::move(loaded);
    if (report != nullptr) {
        *report = std::move(found);
    }
    return allPlaced ? 1 : 0;
}

int LoadCatalog(CatalogModel& model, LoadReport* report) {
    int count = 0;
    if (CountNodes(&count) == 0) {
        return 0;
    }
    return LoadAllNodes(model, count, report);
}

} // namespace mwdx

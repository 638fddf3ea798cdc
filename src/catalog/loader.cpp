#include "catalog/loader.h"

#include "catalog/paths.h"
#include "platform/text.h"
#include "store/connection.h"
#include "store/settings.h"
#include "store/statements.h"

#include <limits>
#include <string>

namespace mwdx {
namespace {

constexpr ColumnSpec kCountColumns[] = {{0, 1, 4}};
constexpr ColumnSpec kNodeColumns[] = {{0, 1, 4}, {1, 3, 512},  {2, 1, 4}, {3, 3, 1024},
                                       {4, 1, 4}, {5, 3, 1024}, {6, 1, 4}};

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

int AttachRow(CatalogModel& model, const std::string& homeDirectory, std::string_view fileName, std::int32_t parentId,
              std::int32_t fileId, std::int32_t fileType, std::string_view comment, std::string_view rawFileName,
              std::int32_t pathLevel) {
    NodeDetails details;
    const ValidText name(fileName);
    const ValidText note(comment);
    const ValidText raw(rawFileName);
    FillNodeDetails(details, fileId, name.view, parentId, note.view, raw.view);
    const std::string_view nameOnDisk = fileType == kCatalogType ? details.fileName : details.rawFileName;

    CatalogNode* parent = nullptr;
    std::string path;
    if (parentId == 0) {
        parent = model.EnsureRootNode(homeDirectory);
        if (parent == nullptr) {
            return 0;
        }
        path = JoinNodePath(homeDirectory, nameOnDisk);
    } else {
        if (pathLevel == std::numeric_limits<std::int32_t>::min()) {
            return 0; // no level lies above it
        }
        parent = model.FindNode(model.RootNode(), parentId, pathLevel - 1);
        if (parent == nullptr) {
            return 0;
        }
        path = JoinNodePath(parent->Path(), nameOnDisk);
    }
    model.AddChildNode(*parent, std::move(details), pathLevel, fileId, fileType, std::move(path));
    return 1; // a node that found no memory is skipped and loading goes on
}

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

int AttachLoadedRow(CatalogModel& model, std::string_view fileName, std::int32_t parentId, std::int32_t fileId,
                    std::int32_t fileType, std::string_view comment, std::string_view rawFileName,
                    std::int32_t pathLevel) {
    return AttachRow(model, HomeDirectoryFromSettings(), fileName, parentId, fileId, fileType, comment, rawFileName,
                     pathLevel);
}

int LoadAllNodes(CatalogModel& model, int count) {
    // Build into a model of our own so that a query failing after some rows leaves `model` as it was.
    CatalogModel loaded;
    loaded.Reserve(static_cast<std::size_t>(std::max(count, 0)));
    const std::string homeDirectory = HomeDirectoryFromSettings();

    RowCursor cursor(kSelectNodes, 7, kNodeColumns, sizeof(NodeRow));
    int rowsRead = 0;
    bool placing = true;
    int status;
    while ((status = cursor.Step()) == kRowReady) {
        if (rowsRead >= count) {
            status = kQueryDone; // rows beyond the count are not read
            break;
        }
        ++rowsRead;
        if (!placing) {
            continue; // only stepping on, to learn whether the query ends well
        }
        status = cursor.Decode();
        if (status != kRowReady) {
            break;
        }
        const auto* row = reinterpret_cast<const NodeRow*>(cursor.Record());
        if (AttachRow(loaded, homeDirectory, FieldText(row->fileName), row->parentId, row->fileId, row->fileType,
                      FieldText(row->comment), FieldText(row->rawFileName), row->pathLevel) == 0) {
            placing = false;
        }
    }
    if (status != kQueryDone) {
        return 0;
    }
    model = std::move(loaded);
    return placing ? 1 : 0;
}

int LoadCatalog(CatalogModel& model) {
    int count = 0;
    if (CountNodes(&count) == 0) {
        return 0;
    }
    return LoadAllNodes(model, count);
}

} // namespace mwdx

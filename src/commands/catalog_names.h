#pragma once

// What the catalog commands share: the Home Directory that bounds every change on disk, and the
// check of a catalog name before it becomes a directory.

#include "catalog/disk_rules.h"
#include "catalog/model.h"
#include "platform/home_fs.h"
#include "platform/text_ids.h"
#include "store/settings.h"

#include <string>
#include <string_view>

namespace mwdx {

// The Root Node's path, or the Settings' Home Directory while there is no Root Node yet.
inline std::string HomeDirectory(const CatalogModel& catalog) {
    if (const CatalogNode* root = catalog.RootNode()) {
        return root->Path();
    }
    return std::string(RootDirOf(SettingsCopy()));
}

// True when the commands may create, rename or delete what is at `path`: strictly inside the
// Root Node's path, or inside the Home Directory set since the catalog was loaded.
inline bool IsInKnowledgeBase(const CatalogModel& catalog, std::string_view path) {
    const CatalogNode* root = catalog.RootNode();
    return (root != nullptr && IsInsideHome(root->Path(), path)) || IsInsideHome(RootDirOf(SettingsCopy()), path);
}

// The Home Directory whose steps reach `path`: the Root Node's, or the one set since the catalog
// was loaded when only that one holds the path.
inline HomeTree KnowledgeBaseTree(const CatalogModel& catalog, std::string_view path) {
    const CatalogNode* root = catalog.RootNode();
    HomeTree settingsHome{std::string(RootDirOf(SettingsCopy()))};
    if (root == nullptr) {
        return settingsHome;
    }
    HomeTree rootHome(root->Path());
    return rootHome.Contains(path) || !settingsHome.Contains(path) ? rootHome : settingsHome;
}

// 0 when `name` (UTF-8) can name a catalog under `parent` (nullptr: no node yet), otherwise the
// message that refuses it. `self` is the catalog being renamed, which may keep its own name.
inline int CatalogNameRefusal(std::string_view name, const CatalogNode* parent, const CatalogNode* self) {
    // A longer name would be kept cut in memory and name another directory than the stored one.
    if (!IsSafeCatalogName(name) || name.size() > kMaxFileNameBytes) {
        return text::kNameNotUsable;
    }
    if (parent != nullptr && SiblingCatalogNamed(*parent, name, self) != nullptr) {
        return text::kCatalogNameTaken;
    }
    return 0;
}

} // namespace mwdx

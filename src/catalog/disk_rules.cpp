#include "catalog/disk_rules.h"

#include "platform/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace mwdx {

namespace {

constexpr std::size_t kMaxNamePartBytes = 255;

bool IsSafePart(std::string_view part) {
    // A name that is not UTF-8 would be read back from the store as another name.
    if (part.empty() || part == "." || part == ".." || part.size() > kMaxNamePartBytes || !IsValidUtf8(part)) {
        return false;
    }
    for (const char c : part) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string RealPathOfExistingPart(std::string_view lexical) {
    if (lexical.empty() || lexical.front() != '/') {
        return {};
    }
    std::string existing = LexicallyNormal(lexical);
    std::string rest;
    while (!existing.empty()) {
        if (char* resolved = ::realpath(existing.c_str(), nullptr)) {
            std::string result(resolved);
            std::free(resolved);
            return rest.empty() ? result : LexicallyNormal(result + "/" + rest);
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            return {};
        }
        const auto slash = existing.rfind('/');
        if (existing == "/") {
            return {};
        }
        rest = existing.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        existing.resize(slash == 0 ? 1 : slash);
    }
    return {};
}

bool IsSafeCatalogName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = name.find('/', start);
        const std::string_view part = name.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (!IsSafePart(part)) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

bool IsSafeFileName(std::string_view name) {
    return name.find('/') == std::string_view::npos && IsSafePart(name);
}

bool IsInsideHome(std::string_view home, std::string_view path) {
    if (home.empty() || home.front() != '/' || path.empty() || path.front() != '/') {
        return false;
    }
    const std::string normalHome = LexicallyNormal(home);
    const std::string normalPath = LexicallyNormal(path);
    if (normalPath == normalHome || !IsAtOrBelow(normalPath, normalHome)) {
        return false;
    }
    // The path's own last part may be a link (deleting or renaming it touches only the link);
    // every directory above it must stay inside the Home Directory once links are followed.
    const std::string realHome = RealPathOfExistingPart(normalHome);
    const std::string realParent = RealPathOfExistingPart(normalPath.substr(0, normalPath.rfind('/')));
    return !realHome.empty() && !realParent.empty() && IsAtOrBelow(realParent, realHome);
}

const CatalogNode* SiblingCatalogNamed(const CatalogNode& parent, std::string_view name, const CatalogNode* except) {
    // A catalog's name is its name on disk.
    const CatalogNode* found = nullptr;
    parent.AnyChildNamed(name, [&](const CatalogNode& child) {
        found = &child != except && child.IsCatalog() ? &child : nullptr;
        return found != nullptr;
    });
    return found;
}

bool OtherNodeLivesAt(const CatalogNode& root, const CatalogNode& removed, std::string_view path) {
    const std::string target = LexicallyNormal(path);
    for (const CatalogNode* node = root.FirstChild(); node != nullptr;) {
        if (node == &removed) {
            // Skip the removed subtree: go on after it, climbing as far as needed.
            const CatalogNode* next = node;
            while (next != &root && next->NextSibling() == nullptr) {
                next = next->Parent();
            }
            node = next == &root ? nullptr : next->NextSibling();
            continue;
        }
        if (IsAtOrBelow(LexicallyNormal(node->Path()), target)) {
            return true;
        }
        node = NextInWalk(root, *node);
    }
    return false;
}

bool OtherNodeLivesAt(const CatalogModel& catalog, const CatalogNode* removed, std::string_view path) {
    const CatalogNode* root = catalog.RootNode();
    if (root == nullptr) {
        return false;
    }
    const std::string& home = root->Path();
    const bool plainPath =
        path.size() > home.size() + 1 && path.starts_with(home) && path[home.size()] == '/' && path.back() != '/';
    const auto compareEveryPath = [&] {
        static const CatalogNode nobody(NodeDetails{}, -1, -1, kCatalogType, std::string());
        return OtherNodeLivesAt(*root, removed != nullptr ? *removed : nobody, path);
    };
    if (catalog.OddNameCount() != 0 || !plainPath) {
        return compareEveryPath();
    }
    // Every name is one part: a node is at or below `path` exactly when the names from the Root
    // Node down to it begin with the parts of `path`. Follow those parts down, keeping every node
    // that has the name so far (several, where a damaged store holds two of one name).
    std::vector<const CatalogNode*> level{root};
    std::vector<const CatalogNode*> next;
    std::string_view rest = path.substr(home.size() + 1);
    while (!rest.empty() && !level.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == "." || part == "..") {
            return compareEveryPath();
        }
        next.clear();
        for (const CatalogNode* parent : level) {
            parent->AnyChildNamed(part, [&](const CatalogNode& child) {
                if (&child != removed) {
                    next.push_back(&child);
                }
                return false;
            });
        }
        level.swap(next);
    }
    return !level.empty();
}

} // namespace mwdx

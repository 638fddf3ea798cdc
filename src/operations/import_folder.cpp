#include "operations/import_folder.h"

#include "catalog/disk_rules.h"
#include "catalog/paths.h"
#include "operations/names.h"
#include "operations/steps.h"
#include "platform/file_transfer.h"
#include "platform/home_fs.h"
#include "platform/text.h"
#include "platform/text_ids.h"
#include "platform/unique_fd.h"
#include "store/connection.h"
#include "store/journal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace mwdx {
namespace {

inline constexpr const char* kJournalImport = kJournalImportKind;
constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);

// One file or folder of the tree being imported, in a walk that puts every folder before what is
// in it.
struct Entry {
    std::string name;
    std::size_t parent = kNoParent; // index of its folder; kNoParent at the top
    bool folder = false;
    std::uint64_t size = 0;
    std::string relative; // below the imported folder's own folder
};

// Why an entry named `name` cannot be imported: 0 when it can.
int NameRefusal(const std::string& name) {
    if (!IsValidUtf8(name)) {
        return text::kSkippedNotUtf8;
    }
    return IsSafeFileName(name) ? 0 : text::kSkippedNameNotUsable;
}

// The entries below `path` (and `path` itself when `includeTop`), never following a link; only the
// folder's own entries unless `deep`. With `program`, what is or holds the program's files is
// skipped too.
std::vector<Entry> Scan(const std::string& path, bool includeTop, std::vector<SkippedEntry>* skipped,
                        const ProgramPlaces* program = nullptr, bool deep = true) {
    std::vector<Entry> entries;
    struct Pending {
        std::string path;
        std::size_t index;
    };
    std::vector<Pending> folders;
    const auto slash = path.rfind('/');
    const std::string topName = slash == std::string::npos ? path : path.substr(slash + 1);
    struct stat top {};
    if (::lstat(path.c_str(), &top) != 0) {
        return entries;
    }
    if (includeTop) {
        entries.push_back({topName, kNoParent, S_ISDIR(top.st_mode), static_cast<std::uint64_t>(top.st_size), topName});
        if (entries.back().folder) {
            folders.push_back({path, 0});
        }
    } else if (S_ISDIR(top.st_mode)) {
        folders.push_back({path, kNoParent});
    }
    // Folders in the order met; their entries follow in the order read.
    for (std::size_t next = 0; next < folders.size(); ++next) {
        const Pending folder = folders[next];
        const std::size_t folderStart = entries.size();
        DIR* dir = ::opendir(folder.path.c_str());
        if (dir == nullptr) {
            if (skipped != nullptr) {
                skipped->push_back({folder.path, text::kSkippedUnreadable});
            }
            continue;
        }
        while (const dirent* found = ::readdir(dir)) {
            const std::string name = found->d_name;
            if (name == "." || name == ".." || IsTemporaryName(name)) {
                continue;
            }
            const std::string full = JoinNodePath(folder.path, name);
            struct stat st {};
            int reason = NameRefusal(name);
            if (reason == 0 && (::fstatat(::dirfd(dir), found->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                                !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))) {
                reason = text::kSkippedNotPlain;
            }
            if (reason == 0 && program != nullptr && program->Touches(full)) {
                reason = text::kSkippedProgramFile;
            }
            if (reason != 0) {
                if (skipped != nullptr) {
                    skipped->push_back({full, reason});
                }
                continue;
            }
            const std::string relative =
                folder.index == kNoParent ? name : JoinNodePath(entries[folder.index].relative, name);
            entries.push_back(
                {name, folder.index, S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size), relative});
        }
        ::closedir(dir);
        // A folder's entries by name, letters of either case together, so that an import gives
        // the same tree on every file system.
        const auto first = entries.begin() + static_cast<std::ptrdiff_t>(folderStart);
        std::sort(first, entries.end(), [](const Entry& a, const Entry& b) {
            const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
            const auto less = std::lexicographical_compare(
                a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [&](char x, char y) {
                    return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
                });
            const auto more = std::lexicographical_compare(
                b.name.begin(), b.name.end(), a.name.begin(), a.name.end(), [&](char x, char y) {
                    return fold(static_cast<unsigned char>(x)) < fold(static_cast<unsigned char>(y));
                });
            return less || (!more && a.name < b.name);
        });
        // Sorting moved the folders among them: point the queued ones at their new places.
        for (std::size_t i = folderStart; i < entries.size(); ++i) {
            if (entries[i].folder && deep) {
                folders.push_back({JoinNodePath(folder.path, entries[i].name), i});
            }
        }
    }
    // Parents before children is what the rows need; the walk above gives it, folder by folder.
    return entries;
}

// The rows of the entries, in the caller's transaction; ids in *ids. Entries at the top go under
// `parentId` at `level`.
int InsertRows(const std::vector<Entry>& entries, std::int64_t parentId, std::int32_t level,
               std::vector<std::int64_t>* ids, std::vector<std::int32_t>* levels) {
    Statement insert("INSERT INTO FILE_NODE (FILE_NAME,PARENT_ID,COMMENT,FILETYPE,RAW_FILE_NAME,PATH_LEVEL) "
                     "VALUES (?,?,'',?,?,?);");
    ids->assign(entries.size(), 0);
    levels->assign(entries.size(), 0);
    for (std::size_t i = 0; insert.Status() == kStatementOk && i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const bool top = entry.parent == kNoParent;
        (*levels)[i] = top ? level : (*levels)[entry.parent] + 1;
        insert.Reset();
        insert.Bind(1, entry.name)
            .Bind(2, top ? parentId : (*ids)[entry.parent])
            .Bind(3, entry.folder ? kCatalogType : kDocumentType)
            .Bind(4, entry.folder ? std::string_view("") : std::string_view(entry.name))
            .Bind(5, (*levels)[i]);
        if (insert.Run() == kStatementOk) {
            (*ids)[i] = LastInsertedRowId();
        }
    }
    return insert.Status();
}

// The nodes of the rows just written, under `parent`.
void AddNodes(CatalogModel& catalog, CatalogNode& parent, const std::vector<Entry>& entries,
              const std::vector<std::int64_t>& ids, const std::vector<std::int32_t>& levels, ImportResult& result) {
    std::vector<CatalogNode*> nodes(entries.size(), nullptr);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        CatalogNode* under = entry.parent == kNoParent ? &parent : nodes[entry.parent];
        if (under == nullptr) {
            continue;
        }
        NodeDetails details;
        FillNodeDetails(details, ids[i], entry.name, under->Parent() == nullptr ? 0 : under->FileId(), "",
                        entry.folder ? "" : entry.name);
        nodes[i] =
            catalog.AddChildNode(*under, std::move(details), levels[i], ids[i],
                                 entry.folder ? kCatalogType : kDocumentType, JoinNodePath(under->Path(), entry.name));
        ++(entry.folder ? result.catalogs : result.documents);
    }
}

// Which catalog's folder each path is, the Root Node's the Home Directory.
class CatalogFolders final {
public:
    explicit CatalogFolders(const CatalogModel& catalog) : m_root(catalog.RootNode()) {
        if (m_root != nullptr) {
            ForEachDescendant(*m_root, [this](const CatalogNode& node) {
                if (node.IsCatalog()) {
                    m_byPath.emplace(node.Path(), const_cast<CatalogNode*>(&node));
                }
            });
        }
    }
    CatalogNode* At(const std::string& path) const {
        if (m_root != nullptr && LexicallyNormal(m_root->Path()) == LexicallyNormal(path)) {
            return m_root;
        }
        const auto found = m_byPath.find(path);
        return found != m_byPath.end() ? found->second : nullptr;
    }

private:
    CatalogNode* m_root;
    std::unordered_map<std::string, CatalogNode*> m_byPath;
};

// The message that refuses `name` as the name of the imported folder or file itself: 0 when it
// can be one; at the top level the index page's own names are refused too.
int TopNameRefusal(const std::string& name, bool topLevel) {
    if (!IsValidUtf8(name)) {
        return text::kNameNotUtf8;
    }
    return NameRefusal(name) != 0 || (topLevel && IsReservedTopLevelName(name)) ? text::kNameNotUsable : 0;
}

bool Cancelled(const ImportControl& control) {
    return control.cancel != nullptr && control.cancel->load();
}

// Taken where it is: `path` lies in the folder of `parent`.
ImportResult ImportInPlace(CatalogModel& catalog, CatalogNode& parent, const std::string& path,
                           const ProgramPlaces& program, const ImportControl& control) {
    ImportResult result;
    const std::vector<Entry> entries = Scan(path, true, &result.skipped, &program);
    std::vector<std::int64_t> ids;
    std::vector<std::int32_t> levels;
    Transaction transaction;
    if (transaction.Begin() != kStatementOk ||
        InsertRows(entries, parent.Parent() == nullptr ? 0 : parent.FileId(), parent.PathLevel() + 1, &ids, &levels) !=
            kStatementOk ||
        transaction.Commit() != kStatementOk) {
        result.result = OpResult::Refused(text::kChangeNotSaved, "the rows of " + path + " cannot be written");
        return result;
    }
    AddNodes(catalog, parent, entries, ids, levels, result);
    if (control.progress) {
        control.progress(entries.size(), entries.size());
    }
    result.result = OpResult::Done();
    return result;
}

// Copies the scanned tree from `source` into the empty folder open as `into`, each file whole,
// without flushing (the caller flushes the file system once). Stops between entries when
// cancelled; entries not copied are cut from `entries`. 0 or the errno of the failure.
int CopyTree(const std::string& sourceFolder, int into, std::vector<Entry>& entries, const ImportControl& control,
             bool* cancelled) {
    std::vector<int> folders(entries.size(), -1); // descriptors of the copies of folders
    std::vector<UniqueFd> owned;
    owned.reserve(entries.size());
    std::size_t done = 0;
    int failure = 0;
    std::size_t i = 0;
    for (; i < entries.size(); ++i) {
        if (Cancelled(control)) {
            *cancelled = true;
            break;
        }
        const Entry& entry = entries[i];
        const int parentFd = entry.parent == kNoParent ? into : folders[entry.parent];
        if (parentFd < 0) {
            continue; // its folder was not copied
        }
        const std::string from = JoinNodePath(sourceFolder, entry.relative);
        if (entry.folder) {
            if (::mkdirat(parentFd, entry.name.c_str(), 0777) != 0) {
                failure = errno;
                break;
            }
            owned.emplace_back(::openat(parentFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            folders[i] = owned.back().Get();
        } else {
            const UniqueFd in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            const UniqueFd out(
                ::openat(parentFd, entry.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!in.Valid() || !out.Valid()) {
                failure = errno;
                break;
            }
            failure = CopyFileContent(in.Get(), out.Get(), entry.size);
            if (failure != 0) {
                ::unlinkat(parentFd, entry.name.c_str(), 0);
                break;
            }
        }
        if (control.progress) {
            control.progress(++done, entries.size());
        }
    }
    if (failure == 0) {
        entries.resize(i); // a cancelled import keeps what is done, parents first as ever
    }
    return failure;
}

// After a move, the originals of what is now in place go, each only when its copy is there.
void RemoveOriginals(const std::string& sourceFolder, const std::string& finalPath, const std::vector<Entry>& entries) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string original = JoinNodePath(sourceFolder, it->relative);
        const std::string copy = JoinNodePath(FolderOf(finalPath), it->relative);
        struct stat st {};
        if (::lstat(copy.c_str(), &st) != 0) {
            continue;
        }
        if (it->folder) {
            ::rmdir(original.c_str()); // only an empty one goes: what was skipped stays
        } else if (static_cast<std::uint64_t>(st.st_size) == it->size) {
            ::unlink(original.c_str());
        }
    }
}

} // namespace

int InsertRowsForFolder(const std::string& path, bool includeTop, std::int64_t parentId, std::int32_t level) {
    const std::vector<Entry> entries = Scan(path, includeTop, nullptr);
    std::vector<std::int64_t> ids;
    std::vector<std::int32_t> levels;
    return InsertRows(entries, parentId, level, &ids, &levels);
}

void RemoveMovedOriginals(const std::string& source, const std::string& finalPath) {
    RemoveOriginals(FolderOf(source), finalPath, Scan(finalPath, true, nullptr));
}

ImportResult ImportOperation(CatalogModel& catalog, const std::string& home, CatalogNode* parent,
                             const std::string& sourcePath, bool move, const ProgramFiles& program,
                             const ImportControl& control) {
    ImportResult result;
    const auto refuse = [&result](int message, std::string why) {
        result.result = OpResult::Refused(message, std::move(why));
        return result;
    };
    if (!IsUsableHomeDirectory(home)) {
        return refuse(text::kHomeNotUsable, "the Home Directory " + home + " is not usable");
    }
    const std::string source = LexicallyNormal(sourcePath);
    const HomeTree tree(home);
    CatalogNode* root = catalog.EnsureRootNode(home);
    if (root == nullptr || WhatIsAt(source) == PathKind::kNothing) {
        return refuse(text::kAddFailed, source + " is not there");
    }
    const ProgramPlaces places(program, home);
    // Moved in, the program and its live store would go; even taken in place they would become
    // documents that a delete removes.
    if (source != LexicallyNormal(home) && places.Touches(source)) {
        return refuse(text::kHoldsProgramFiles, source + " is or holds the program's own files");
    }

    // Inside the Home Directory: in place, under the catalog whose folder holds the first folder on
    // the way down that no node owns.
    const bool isHome = source == LexicallyNormal(home);
    if (!isHome && IsAtOrBelow(LexicallyNormal(home), source)) {
        // The Home Directory lies inside it: a copy would take the knowledge base into itself.
        result.result = OpResult::Refused(text::kAddFailed, source + " holds the Home Directory");
        return result;
    }
    if (isHome || (tree.Contains(source) && IsInsideHome(home, source))) {
        const CatalogFolders folders(catalog);
        if (CatalogNode* owner = folders.At(source)) {
            // Already a catalog: what in it, or in the catalogs below it, no node owns.
            ImportResult all;
            std::vector<CatalogNode*> catalogs{owner};
            while (!catalogs.empty() && !Cancelled(control)) {
                CatalogNode* folder = catalogs.back();
                catalogs.pop_back();
                for (const Entry& entry : Scan(folder->Path(), false, &all.skipped, nullptr, false)) {
                    const std::string path = JoinNodePath(folder->Path(), entry.relative);
                    if (folder == root && IsReservedTopLevelName(entry.name)) {
                        continue;
                    }
                    if (places.Touches(path)) {
                        all.skipped.push_back({path, text::kSkippedProgramFile});
                        continue;
                    }
                    if (CatalogNode* below = folders.At(path)) {
                        catalogs.push_back(below);
                        continue;
                    }
                    if (OtherNodeLivesAt(catalog, nullptr, path) || Cancelled(control)) {
                        continue;
                    }
                    ImportResult one = ImportInPlace(catalog, *folder, path, places, control);
                    all.catalogs += one.catalogs;
                    all.documents += one.documents;
                    all.skipped.insert(all.skipped.end(), one.skipped.begin(), one.skipped.end());
                    if (!one.result.done) {
                        all.result = one.result;
                        return all;
                    }
                }
            }
            all.cancelled = Cancelled(control);
            all.result = OpResult::Done();
            return all;
        }
        if (OtherNodeLivesAt(catalog, nullptr, source)) {
            result.result = OpResult::Done(); // a document's own file: nothing to import
            return result;
        }
        std::string top = source;
        CatalogNode* owner = nullptr;
        while ((owner = folders.At(FolderOf(top))) == nullptr && tree.Contains(FolderOf(top))) {
            top = FolderOf(top);
        }
        if (owner == nullptr) {
            return refuse(text::kAddFailed, "no catalog holds " + source);
        }
        const std::string topName = top.substr(top.rfind('/') + 1);
        if (const int refusal = TopNameRefusal(topName, owner == root)) {
            return refuse(refusal, topName + " cannot be a name here");
        }
        if (places.Touches(top)) {
            return refuse(text::kHoldsProgramFiles, top + " holds the program's own files");
        }
        return ImportInPlace(catalog, *owner, top, places, control);
    }

    // From elsewhere: under `parent`, by way of a hidden folder published whole.
    CatalogNode* under = parent != nullptr && parent->IsCatalog() ? parent : root;
    const std::string name = source.substr(source.rfind('/') + 1);
    const std::string finalPath = JoinNodePath(under->Path(), name);
    if (const int refusal = TopNameRefusal(name, under == root)) {
        return refuse(refusal, name + " cannot be a name here");
    }
    if (!tree.Contains(finalPath) || !IsInsideHome(home, finalPath)) {
        return refuse(text::kAddFailed, finalPath + " is outside " + home);
    }
    if (WhatIsAt(finalPath) != PathKind::kNothing || OtherNodeLivesAt(catalog, nullptr, finalPath)) {
        return refuse(text::kNameTakenOnDisk, finalPath + " is already there");
    }
    // Nothing below a source that neither is nor holds the program's files can be one of them.
    std::vector<Entry> entries = Scan(source, true, &result.skipped);
    JournalEntry entry;
    entry.kind = kJournalImport;
    entry.parentId = under == root ? 0 : under->FileId();
    entry.fromPath = source;
    entry.toPath = finalPath;
    entry.asidePath = JoinNodePath(under->Path(), TemporaryName(TemporaryKind::kFolderCopy, UniqueNumber()));
    entry.pathLevel = under->PathLevel() + 1;
    entry.flags = move ? 1 : 0;
    if (const int rc = WriteJournalEntry(entry); rc != kStatementOk) {
        result.result = OpResult::Refused(text::kAddFailed, "the store cannot be written (" + std::to_string(rc) + ")");
        return result;
    }
    std::string error;
    MadeDirectories made;
    const auto giveUp = [&](int message, const std::string& why) {
        tree.RemoveForGood(entry.asidePath);
        tree.RemoveMadeDirectories(made);
        ClearJournalEntry(entry.id);
        result.result = OpResult::Refused(message, why);
        return result;
    };
    if (!tree.MakeDirectoryPath(entry.asidePath, &made, &error)) {
        return giveUp(text::kAddFailed, error);
    }
    const UniqueFd staging(tree.OpenFolder(entry.asidePath));
    if (!staging.Valid()) {
        return giveUp(text::kAddFailed, "cannot open " + entry.asidePath);
    }
    const int failure = CopyTree(FolderOf(source), staging.Get(), entries, control, &result.cancelled);
    if (failure != 0) {
        return giveUp(text::kTransferFailed, "copying " + source + " failed: " + std::to_string(failure));
    }
    // On disk before it gets its name: a crash then finds it whole or not at all.
    if (::syncfs(staging.Get()) != 0) {
        return giveUp(text::kTransferFailed, "cannot flush " + entry.asidePath);
    }
    if (entries.empty()) {
        return giveUp(0, "nothing imported");
    }
    const std::string stagedTop = JoinNodePath(entry.asidePath, entries.front().name);
    if (!tree.RenameNoReplace(stagedTop, finalPath, nullptr, &error)) {
        return giveUp(text::kTransferFailed, error);
    }
    tree.RemoveForGood(entry.asidePath); // empty now
    made.clear();

    std::vector<std::int64_t> ids;
    std::vector<std::int32_t> levels;
    bool saved = false;
    {
        Transaction transaction;
        entry.step = kJournalRowsWritten;
        saved = transaction.Begin() == kStatementOk &&
                InsertRows(entries, entry.parentId, entry.pathLevel, &ids, &levels) == kStatementOk &&
                (move ? SetJournalStep(entry) : ClearJournalEntry(entry.id)) == kStatementOk &&
                transaction.Commit() == kStatementOk;
    }
    if (!saved) {
        // The copy goes again; the originals were never touched. Failing that, the next start
        // writes the rows for what is in place.
        if (tree.DeletePath(finalPath)) {
            ClearJournalEntry(entry.id);
        }
        result.result = OpResult::Refused(text::kAddFailed, "the rows of " + finalPath + " cannot be written");
        return result;
    }
    AddNodes(catalog, *under, entries, ids, levels, result);
    if (move) {
        RemoveOriginals(FolderOf(source), finalPath, entries);
        ClearJournalEntryLater(entry.id);
    }
    result.result = OpResult::Done();
    return result;
}

} // namespace mwdx

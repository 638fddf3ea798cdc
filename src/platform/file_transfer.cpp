#include "platform/file_transfer.h"

#include "platform/home_fs.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace mwdx {
namespace {

// The copy goes in pieces of this size, each handed to the disk as soon as it is copied.
constexpr std::size_t kPieceBytes = std::size_t{32} << 20;
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

bool Fail(std::string* error, int code, const std::string& what) {
    if (error != nullptr) {
        *error = what + ": " + std::generic_category().message(code);
    }
    errno = code;
    return false;
}

bool KernelCopyUnsupported(int code) {
    return code == EXDEV || code == EINVAL || code == ENOSYS || code == EOPNOTSUPP || code == EBADF || code == EPERM;
}

// Starts writing each copied piece to disk at once, so that the disk works while the copy goes on
// and the final fsync finds little left to do. Only a hint: the fsync still decides.
class Writeback final {
public:
    explicit Writeback(int fd) : m_fd(fd) {}
    void CopiedUpTo(off_t end) {
        if (end - m_start >= static_cast<off_t>(kPieceBytes)) {
            ::sync_file_range(m_fd, m_start, end - m_start, SYNC_FILE_RANGE_WRITE);
            m_start = end;
        }
    }

private:
    int m_fd;
    off_t m_start = 0;
};

// After each piece: tells whoever watches, and says whether to stop.
bool Continue(const TransferControl& control, off_t done, std::uint64_t total) {
    if (control.progress) {
        control.progress(static_cast<std::uint64_t>(done), total);
    }
    return control.cancel == nullptr || !control.cancel->load();
}

struct Destination {
    int folder;
    std::string folderPath;
    std::string name;

    std::string Path() const { return folderPath == "/" ? "/" + name : folderPath + "/" + name; }
};

// Copies the open regular file `in` to the new file named in `to`: an unnamed file (or, where
// the file system has none, a hidden one) is filled and flushed, then linked or renamed to the
// name without replacing anything, and the folder is flushed. On failure nothing of it is left;
// 0 or the errno, with *what saying which step failed.
int CopyIntoFolder(int in, const struct stat& source, const Destination& to, const TransferControl& control,
                   std::string* what) {
    const mode_t mode = source.st_mode & 0777; // the umask applies on creation, as for cp
    std::string hidden;
    UniqueFd out(::openat(to.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!out.Valid()) {
        if (const int code = errno; code != EOPNOTSUPP && code != EISDIR && code != EINVAL) {
            *what = "cannot create a file in " + to.folderPath;
            return code;
        }
        int created = -1;
        hidden = ReserveTemporaryName(TemporaryKind::kFileCopy, [&](const std::string& candidate) {
            created =
                ::openat(to.folder, candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, mode);
            return created >= 0;
        });
        if (hidden.empty()) {
            const int code = errno;
            *what = "cannot create a file in " + to.folderPath;
            return code;
        }
        out.Reset(created);
    }
    const auto discard = [&](int code) {
        if (!hidden.empty()) {
            ::unlinkat(to.folder, hidden.c_str(), 0);
        }
        return code;
    };

    int code = CopyFileContent(in, out.Get(), static_cast<std::uint64_t>(source.st_size), control);
    if (code == 0 && ::fsync(out.Get()) != 0) {
        code = errno;
    }
    if (code != 0) {
        *what = "cannot write " + to.Path();
        return discard(code);
    }

    if (hidden.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(out.Get());
        if (::linkat(AT_FDCWD, self.c_str(), to.folder, to.name.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
            (errno != ENOENT || ::linkat(out.Get(), "", to.folder, to.name.c_str(), AT_EMPTY_PATH) != 0)) {
            const int code = errno;
            *what = "cannot create " + to.Path();
            return code;
        }
    } else {
        if ((code = out.Close()) != 0) {
            *what = "cannot write " + to.Path();
            return discard(code);
        }
        bool published = ::renameat2(to.folder, hidden.c_str(), to.folder, to.name.c_str(), RENAME_NOREPLACE) == 0;
        if (!published && errno == EINVAL) {
            // No RENAME_NOREPLACE here: a hard link is refused just as well when the name is taken.
            published = ::linkat(to.folder, hidden.c_str(), to.folder, to.name.c_str(), 0) == 0;
            if (published) {
                ::unlinkat(to.folder, hidden.c_str(), 0);
            }
        }
        if (!published) {
            code = errno;
            *what = "cannot create " + to.Path();
            return discard(code);
        }
    }
    if (::fsync(to.folder) != 0) {
        code = errno;
        ::unlinkat(to.folder, to.name.c_str(), 0);
        *what = "cannot save the folder " + to.folderPath;
        return code;
    }
    return 0;
}

// The copy both operations share: `source` must be a regular file (links followed) and nothing
// may be at the destination. When `removeSource`, the source goes once the copy is safe, and if
// it cannot go, the copy goes instead.
bool CopyFile(const std::string& source, const Destination& to, bool removeSource, const TransferControl& control,
              std::string* error) {
    // Non-blocking, so that a named pipe chosen by mistake is refused instead of waited on.
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in.Valid() || ::fstat(in.Get(), &st) != 0) {
        const int code = errno;
        return Fail(error, code, "cannot read " + source);
    }
    if (!S_ISREG(st.st_mode)) {
        return Fail(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, source + " is not a file");
    }
    // Publishing refuses a taken name anyway; asking first spares copying a large file in vain.
    struct stat existing {};
    if (::fstatat(to.folder, to.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        return Fail(error, EEXIST, to.Path() + " already exists");
    }
    std::string what;
    if (const int code = CopyIntoFolder(in.Get(), st, to, control, &what); code != 0) {
        return Fail(error, code, what);
    }
    if (removeSource && ::unlink(source.c_str()) != 0) {
        const int code = errno;
        ::unlinkat(to.folder, to.name.c_str(), 0);
        return Fail(error, code, "cannot remove " + source + " after copying it");
    }
    return true;
}

bool CheckedDestination(std::string_view folderPath, int folder, std::string_view name, Destination* to,
                        std::string* error) {
    *to = {folder, std::string(folderPath), std::string(name)};
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) {
        return Fail(error, EINVAL, to->Path() + " is not a file name");
    }
    return true;
}

} // namespace

int CopyFileContent(int in, int out, std::uint64_t expectedSize, const TransferControl& control) {
    Writeback writeback(out);
    off_t done = 0;
    bool kernelCopy = true;
    while (kernelCopy) {
        loff_t inOffset = done;
        loff_t outOffset = done;
        const ssize_t n = ::copy_file_range(in, &inOffset, out, &outOffset, kPieceBytes, 0);
        if (n > 0) {
            done += n;
            writeback.CopiedUpTo(done);
            if (!Continue(control, done, expectedSize)) {
                return ECANCELED;
            }
        } else if (n == 0) {
            // Some file systems report 0 instead of an error when they cannot copy: let read() find the end.
            if (static_cast<std::uint64_t>(done) >= expectedSize) {
                return 0;
            }
            kernelCopy = false;
        } else if (errno != EINTR) {
            if (!KernelCopyUnsupported(errno)) {
                return errno;
            }
            kernelCopy = false;
        }
    }
    const std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
    for (;;) {
        const ssize_t got = ::pread(in, buffer.get(), kBufferBytes, done);
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t n =
                ::pwrite(out, buffer.get() + written, static_cast<std::size_t>(got - written), done + written);
            if (n < 0 && errno != EINTR) {
                return errno;
            }
            written += n > 0 ? n : 0;
        }
        done += got;
        writeback.CopiedUpTo(done);
        if (!Continue(control, done, expectedSize)) {
            return ECANCELED;
        }
    }
}

bool MoveFileIntoFolder(std::string_view sourceView, int folder, std::string_view folderPath, std::string_view name,
                        std::string* error, const TransferControl& control) {
    const std::string source(sourceView);
    Destination to;
    if (!CheckedDestination(folderPath, folder, name, &to, error)) {
        return false;
    }
    if (control.cancel != nullptr && control.cancel->load()) {
        return Fail(error, ECANCELED, "moving " + source + " was cancelled");
    }
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) {
        const int code = errno;
        return Fail(error, code, "cannot read " + source);
    }
    if (S_ISDIR(st.st_mode)) {
        return Fail(error, EISDIR, source + " is not a file");
    }
    // A symbolic link is not renamed: a relative one would point nowhere from the catalog's
    // folder. Its file's content is copied instead and the link removed.
    if (S_ISREG(st.st_mode)) {
        if (::renameat2(AT_FDCWD, source.c_str(), folder, to.name.c_str(), RENAME_NOREPLACE) == 0) {
            if (control.progress) {
                control.progress(static_cast<std::uint64_t>(st.st_size), static_cast<std::uint64_t>(st.st_size));
            }
            return true;
        }
        // EINVAL: this file system cannot rename without replacing; copying can still be done safely.
        if (const int code = errno; code != EXDEV && code != EINVAL) {
            return Fail(error, code, "cannot move " + source + " to " + to.Path());
        }
    }
    return CopyFile(source, to, true, control, error);
}

bool CopyFileIntoFolder(std::string_view source, int folder, std::string_view folderPath, std::string_view name,
                        std::string* error, const TransferControl& control) {
    Destination to;
    return CheckedDestination(folderPath, folder, name, &to, error) &&
           CopyFile(std::string(source), to, false, control, error);
}

namespace {

using FolderTransfer = bool (*)(std::string_view, int, std::string_view, std::string_view, std::string*,
                                const TransferControl&);

// Runs `transfer` into the folder of `destination`, opened as the path says.
bool IntoFolderOf(std::string_view source, std::string_view destinationView, std::string* error,
                  FolderTransfer transfer) {
    const std::string destination(destinationView);
    const auto slash = destination.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "." : (slash == 0 ? "/" : destination.substr(0, slash));
    const UniqueFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid()) {
        const int code = errno;
        return Fail(error, code, "cannot open the folder " + folderPath);
    }
    return transfer(source, folder.Get(), folderPath, destination.substr(slash + 1), error, {});
}

} // namespace

bool MoveFileNoReplace(std::string_view source, std::string_view destination, std::string* error) {
    return IntoFolderOf(source, destination, error, &MoveFileIntoFolder);
}

bool CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error) {
    return IntoFolderOf(source, destination, error, &CopyFileIntoFolder);
}

} // namespace mwdx

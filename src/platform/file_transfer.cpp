#include "platform/file_transfer.h"

#include "platform/file_ops.h"

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

class FileDescriptor final {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    void Reset(int fd) {
        Close();
        m_fd = fd;
    }
    bool Valid() const { return m_fd >= 0; }
    // 0, or the errno of a failed close (a network file system may report a lost write only here).
    int Close() {
        int code = 0;
        if (m_fd >= 0 && ::close(m_fd) != 0) {
            code = errno;
        }
        m_fd = -1;
        return code;
    }

private:
    int m_fd;
};

bool Fail(std::string* error, int code, const std::string& what) {
    if (error != nullptr) {
        *error = what + ": " + std::generic_category().message(code);
    }
    errno = code;
    return false;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

// Copies `in` from its start to its end into `out`. 0, or the errno of the failure.
int CopyContent(int in, int out, off_t expectedSize) {
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
        } else if (n == 0) {
            // Some file systems report 0 instead of an error when they cannot copy: let read() find the end.
            if (done >= expectedSize) {
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
    }
}

// Copies the open regular file `in` to a new file `name` in the folder open as `folder`: an
// unnamed file (or, where the file system has none, a hidden one) is filled and flushed, then
// linked or renamed to the name without replacing anything, and the folder is flushed. On
// failure nothing of it is left; 0 or the errno, with *what saying which step failed.
int CopyIntoFolder(int in, const struct stat& source, const std::string& folderPath, int folder,
                   const std::string& name, std::string* what) {
    const mode_t mode = source.st_mode & 0777; // the umask applies on creation, as for cp
    std::string hidden;
    FileDescriptor out(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!out.Valid()) {
        if (const int code = errno; code != EOPNOTSUPP && code != EISDIR && code != EINVAL) {
            *what = "cannot create a file in " + folderPath;
            return code;
        }
        int created = -1;
        hidden = ReserveTemporaryName(folderPath, "marrowdex-copy", [&](const std::string& candidate) {
            created = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
            return created >= 0;
        });
        if (hidden.empty()) {
            const int code = errno;
            *what = "cannot create a file in " + folderPath;
            return code;
        }
        out.Reset(created);
    }
    const auto discard = [&](int code) {
        if (!hidden.empty()) {
            ::unlink(hidden.c_str());
        }
        return code;
    };

    int code = CopyContent(in, out.Get(), source.st_size);
    if (code == 0 && ::fsync(out.Get()) != 0) {
        code = errno;
    }
    if (code != 0) {
        *what = "cannot write " + folderPath + "/" + name;
        return discard(code);
    }

    if (hidden.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(out.Get());
        if (::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
            (errno != ENOENT || ::linkat(out.Get(), "", folder, name.c_str(), AT_EMPTY_PATH) != 0)) {
            const int code = errno;
            *what = "cannot create " + folderPath + "/" + name;
            return code;
        }
    } else {
        if ((code = out.Close()) != 0) {
            *what = "cannot write " + folderPath + "/" + name;
            return discard(code);
        }
        bool published = ::renameat2(AT_FDCWD, hidden.c_str(), folder, name.c_str(), RENAME_NOREPLACE) == 0;
        if (!published && errno == EINVAL) {
            // No RENAME_NOREPLACE here: a hard link is refused just as well when the name is taken.
            published = ::linkat(AT_FDCWD, hidden.c_str(), folder, name.c_str(), 0) == 0;
            if (published) {
                ::unlink(hidden.c_str());
            }
        }
        if (!published) {
            code = errno;
            *what = "cannot create " + folderPath + "/" + name;
            return discard(code);
        }
    }
    if (::fsync(folder) != 0) {
        code = errno;
        ::unlinkat(folder, name.c_str(), 0);
        *what = "cannot save the folder " + folderPath;
        return code;
    }
    return 0;
}

// The copy both operations share: `source` must be a regular file (links followed) and nothing
// may be at `destination`. When `removeSource`, the source goes once the copy is safe, and if it
// cannot go, the copy goes instead.
bool CopyFile(const std::string& source, const std::string& destination, bool removeSource, std::string* error) {
    // Non-blocking, so that a named pipe chosen by mistake is refused instead of waited on.
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in.Valid() || ::fstat(in.Get(), &st) != 0) {
        const int code = errno;
        return Fail(error, code, "cannot read " + source);
    }
    if (!S_ISREG(st.st_mode)) {
        return Fail(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, source + " is not a file");
    }
    const std::string name = NameOf(destination);
    if (name.empty() || name == "." || name == "..") {
        return Fail(error, EINVAL, destination + " is not a file name");
    }
    const std::string folderPath = FolderOf(destination);
    FileDescriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid()) {
        const int code = errno;
        return Fail(error, code, "cannot open the folder " + folderPath);
    }
    // Publishing refuses a taken name anyway; asking first spares copying a large file in vain.
    struct stat existing {};
    if (::fstatat(folder.Get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        return Fail(error, EEXIST, destination + " already exists");
    }
    std::string what;
    if (const int code = CopyIntoFolder(in.Get(), st, folderPath, folder.Get(), name, &what); code != 0) {
        return Fail(error, code, what);
    }
    if (removeSource && ::unlink(source.c_str()) != 0) {
        const int code = errno;
        ::unlinkat(folder.Get(), name.c_str(), 0);
        return Fail(error, code, "cannot remove " + source + " after copying it");
    }
    return true;
}

} // namespace

bool MoveFileNoReplace(std::string_view sourceView, std::string_view destinationView, std::string* error) {
    const std::string source(sourceView);
    const std::string destination(destinationView);
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
        if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        // EINVAL: this file system cannot rename without replacing; copying can still be done safely.
        if (const int code = errno; code != EXDEV && code != EINVAL) {
            return Fail(error, code, "cannot move " + source + " to " + destination);
        }
    }
    return CopyFile(source, destination, true, error);
}

bool CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error) {
    return CopyFile(std::string(source), std::string(destination), false, error);
}

} // namespace mwdx

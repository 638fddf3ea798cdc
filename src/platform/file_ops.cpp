#include "platform/file_ops.h"

#include "platform/home_fs.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace mwdx {

bool PathExists(std::string_view path) {
    struct stat st {};
    return !path.empty() && ::lstat(std::string(path).c_str(), &st) == 0;
}

bool CreateDesktopShortcut(std::string_view target, std::string_view linkPath) {
    const std::string link(linkPath);
    const auto slash = link.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : link.substr(0, slash == 0 ? 1 : slash);
    const std::string targetText(target);
    const auto inDirectory = [&](const std::string& name) { return directory + "/" + name; };
    const std::string temporary = ReserveTemporaryName(TemporaryKind::kLink, [&](const std::string& name) {
        return ::symlink(targetText.c_str(), inDirectory(name).c_str()) == 0;
    });
    if (temporary.empty()) {
        return false;
    }
    if (::rename(inDirectory(temporary).c_str(), link.c_str()) != 0) {
        ::unlink(inDirectory(temporary).c_str());
        return false;
    }
    return true;
}

} // namespace mwdx

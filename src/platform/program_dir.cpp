#include "platform/program_dir.h"

#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

namespace mwdx {

namespace {

// The running program's full path, or empty when the link cannot be read.
std::string ProgramPath() {
    std::vector<char> buffer(PATH_MAX + 1);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(n));
        }
        buffer.resize(buffer.size() * 2); // the link was cut: try again with room to spare
    }
}

} // namespace

std::string ProgramDirectory() {
    const std::string exe = ProgramPath();
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

std::string ProgramName() {
    const std::string exe = ProgramPath();
    std::string name = exe.substr(exe.rfind('/') + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

} // namespace mwdx

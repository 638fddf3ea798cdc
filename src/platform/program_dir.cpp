#include "platform/program_dir.h"

#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

namespace mwdx {

std::string ProgramDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            const std::string exe(buffer.data(), static_cast<std::size_t>(n));
            const auto slash = exe.rfind('/');
            return slash == std::string::npos ? std::string() : exe.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2); // the link was cut: try again with room to spare
    }
}

} // namespace mwdx

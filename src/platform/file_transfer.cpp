#include "platform/file_transfer.h"

namespace mwdx {

bool MoveFileNoReplace(std::string_view, std::string_view, std::string* error) {
    if (error != nullptr) {
        *error = "not built yet";
    }
    return false;
}

bool CopyFileNoReplace(std::string_view, std::string_view, std::string* error) {
    if (error != nullptr) {
        *error = "not built yet";
    }
    return false;
}

} // namespace mwdx

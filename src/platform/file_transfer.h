#pragma once

// Moving and copying one document file into a folder. Neither ever replaces a file that exists
// at the destination, and neither ever leaves a partial file under the final name. On failure
// errno holds the cause (EEXIST for a taken destination, ENOSPC for a full disk, ECANCELED when
// cancelled).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace mwdx {

// What a transfer reports while it runs and how it is stopped early.
struct TransferControl {
    // Called on the transferring thread after each piece: bytes done so far of the total.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    // Once this is true the copy stops at the next piece and leaves nothing at the destination.
    const std::atomic<bool>* cancel = nullptr;
};

// Moves the file `source` to the new file `name` in the folder open as `folder` (`folderPath`
// names it in messages). Within one file system a rename without replacing; across file systems
// a copy to an unnamed or temporary file in that folder, flushed to disk, published without
// replacing, and only then the source removed. False (source untouched, nothing at the
// destination) when it cannot; *error (if given) says why.
bool MoveFileIntoFolder(std::string_view source, int folder, std::string_view folderPath, std::string_view name,
                        std::string* error = nullptr, const TransferControl& control = {});

// Copies the file `source` to the new file `name` in the folder open as `folder`: a file in that
// folder, flushed to disk, then published without replacing. False (nothing at the destination)
// when it cannot; *error (if given) says why.
bool CopyFileIntoFolder(std::string_view source, int folder, std::string_view folderPath, std::string_view name,
                        std::string* error = nullptr, const TransferControl& control = {});

// As above into the folder of `destination`, opened as the path says, links and all: for a
// destination the program does not keep. Below the Home Directory, HomeTree's do the same
// without following links.
bool MoveFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr);
bool CopyFileNoReplace(std::string_view source, std::string_view destination, std::string* error = nullptr);

// Copies everything from the start of `in` to `out`, which starts empty. 0, or the errno of the
// failure (ECANCELED when cancelled).
int CopyFileContent(int in, int out, std::uint64_t expectedSize, const TransferControl& control = {});

} // namespace mwdx

#pragma once

// Moving or copying an added document's file into its catalog's directory, on a worker thread
// while the progress window shows. The file at the destination is never replaced, and no link
// below the Home Directory is followed on the way to it.

#include "operations/add_document.h"

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace mwdx {

class CPRGDlg;

struct TransferRequest {
    CPRGDlg* progressWindow = nullptr; // told when the file operation has returned
    std::string homeDirectory;         // the destination lies strictly inside it
    std::string sourcePath;            // UTF-8, as the file system takes it
    std::string destinationPath;
    std::int32_t moveFlag = 0; // 1: move; any other value: copy
    // The worker's answer, read once it has been joined.
    bool arrived = false;
    std::string error;
};

// The worker: moves (move flag 1) or copies the file, never over an existing one, records the
// outcome in the request and tells the progress window. 1 when no request is given, else 0.
int TransferDocument(TransferRequest* request);

// Transfers one file behind the modal progress window owned by `owner` and returns once the
// worker has finished: true when the file is at `destination`, inside the Home Directory `home`.
// Otherwise *error (if given) says why; when the worker cannot be started no window is shown.
bool RunDocumentTransfer(QWidget* owner, std::string home, std::string source, std::string destination,
                         std::int32_t moveFlag, std::string* error = nullptr);

// The transfer step of a command that brings a document's file in (adding, locating): run
// behind the progress window owned by `owner`.
TransferStep TransferBehindProgressWindow(QWidget* owner);
// Moves (`move`) or copies one file as HomeTree does, on a worker thread, while this thread goes on
// handling events (the windows stay responsive) until it has ended. `progress` hears of the bytes
// done of the total, on the worker's thread. True when the file is at `destination`.
bool RunTransferOffThread(std::string home, std::string source, std::string destination, bool move,
                          std::function<void(std::uint64_t done, std::uint64_t total)> progress,
                          std::string* error = nullptr);

// Tests only: `hook` runs on the worker right before each file operation (an empty one: none).
void SetTransferHookForTesting(std::function<void()> hook);

} // namespace mwdx

#include "commands/transfer.h"

#include "commands/prg_dlg.h"
#include "platform/home_fs.h"

#include <system_error>
#include <thread>

namespace mwdx {

namespace {

// Set only while no worker runs; a worker reads it after its start, which orders the two.
std::function<void()>& TransferHook() {
    static std::function<void()> hook;
    return hook;
}

} // namespace

void SetTransferHookForTesting(std::function<void()> hook) {
    TransferHook() = std::move(hook);
}

int TransferDocument(TransferRequest* request) {
    if (request == nullptr) {
        return 1;
    }
    if (const auto& hook = TransferHook()) {
        hook();
    }
    const HomeTree home(request->homeDirectory);
    request->arrived = request->moveFlag == 1
                           ? home.MoveFileNoReplace(request->sourcePath, request->destinationPath, &request->error)
                           : home.CopyFileNoReplace(request->sourcePath, request->destinationPath, &request->error);
    if (request->progressWindow != nullptr) {
        request->progressWindow->NotifyTransferEnded();
    }
    return 0;
}

bool RunDocumentTransfer(QWidget* owner, std::string home, std::string source, std::string destination,
                         std::int32_t moveFlag, std::string* error) {
    CPRGDlg progress(owner);
    TransferRequest request;
    request.progressWindow = &progress;
    request.homeDirectory = std::move(home);
    request.sourcePath = std::move(source);
    request.destinationPath = std::move(destination);
    request.moveFlag = moveFlag;

    std::thread worker;
    try {
        worker = std::thread(TransferDocument, &request);
    } catch (const std::system_error& failure) {
        if (error != nullptr) {
            *error = failure.what();
        }
        return false;
    }
    progress.exec();
    // The request and the window stay until the worker is done with them, however the window
    // ended.
    worker.join();
    if (!request.arrived && error != nullptr) {
        *error = request.error;
    }
    return request.arrived;
}

TransferStep TransferBehindProgressWindow(QWidget* owner) {
    return [owner](const HomeTree& tree, const std::string& source, const std::string& destination, bool move,
                   std::string* error) {
        return RunDocumentTransfer(owner, tree.Path(), source, destination, move ? 1 : 0, error);
    };
}

} // namespace mwdx

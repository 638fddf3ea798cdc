#include "commands/transfer.h"

#include "commands/prg_dlg.h"
#include "platform/home_fs.h"

#include <QEventLoop>
#include <sys/stat.h>
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
    TransferControl control;
    if (CPRGDlg* window = request->progressWindow) {
        // The size is known before the first byte moves, so the bar never loops for a file.
        struct stat st {};
        if (::stat(request->sourcePath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            window->NotifyProgress(0, static_cast<std::uint64_t>(st.st_size));
        }
        control.progress = [window](std::uint64_t done, std::uint64_t total) { window->NotifyProgress(done, total); };
    }
    request->arrived =
        request->moveFlag == 1
            ? home.MoveFileNoReplace(request->sourcePath, request->destinationPath, &request->error, control)
            : home.CopyFileNoReplace(request->sourcePath, request->destinationPath, &request->error, control);
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

bool RunTransferOffThread(std::string home, std::string source, std::string destination, bool move,
                          std::function<void(std::uint64_t, std::uint64_t)> progress, std::string* error) {
    QEventLoop loop;
    bool arrived = false;
    std::string failure;
    std::thread worker;
    try {
        worker = std::thread([&] {
            if (const auto& hook = TransferHook()) {
                hook();
            }
            const HomeTree tree(home);
            TransferControl control;
            control.progress = progress;
            arrived = move ? tree.MoveFileNoReplace(source, destination, &failure, control)
                           : tree.CopyFileNoReplace(source, destination, &failure, control);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error& cause) {
        if (error != nullptr) {
            *error = cause.what();
        }
        return false;
    }
    loop.exec();
    worker.join();
    if (!arrived && error != nullptr) {
        *error = failure;
    }
    return arrived;
}

} // namespace mwdx

#include "platform/quit_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace mwdx {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int) {
    const int saved = errno; // the interrupted code may be looking at it
    const char byte = 'q';
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int QuitSignalDescriptor() {
    if (g_pipe[0] >= 0) {
        return g_pipe[0];
    }
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return -1;
    }
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    return g_pipe[0];
}

bool TakeQuitRequests(int descriptor) {
    bool any = false;
    char buffer[64];
    while (::read(descriptor, buffer, sizeof buffer) > 0) {
        any = true;
    }
    return any;
}

} // namespace mwdx

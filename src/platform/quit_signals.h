#pragma once

// SIGTERM (a logout, a shutdown, kill), SIGINT (Ctrl+C in a terminal) and SIGHUP (the terminal
// gone) asked of the program as a request to close, not as a crash: the handler only writes a
// byte into a pipe, which the windows watch, so a command under way can end properly first.

namespace mwdx {

// Installs the handlers once and returns the pipe's end to watch for reading (-1 when it cannot).
// Later calls return the same descriptor.
int QuitSignalDescriptor();

// Reads away what the handlers wrote; true when any request was waiting.
bool TakeQuitRequests(int descriptor);

} // namespace mwdx

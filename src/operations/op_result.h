#pragma once

// What a command's operation did: whether it took effect, and what the user is to be told.

#include <string>
#include <utility>

namespace mwdx {

struct OpResult {
    bool done = false;  // the command took effect (a message may still follow: files kept, ...)
    int message = 0;    // the string id to show; 0: nothing to say
    std::string detail; // what happened, with paths and causes, in English: for a log or a test

    static OpResult Done(int message = 0, std::string detail = {}) { return {true, message, std::move(detail)}; }
    static OpResult Refused(int message, std::string detail = {}) { return {false, message, std::move(detail)}; }
};

} // namespace mwdx

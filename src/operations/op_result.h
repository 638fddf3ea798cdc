#pragma once

// What a command's operation did: whether it took effect, and what the user is to be told.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace mwdx {

class CatalogNode;

struct OpResult {
    bool done = false;  // the command took effect (a message may still follow: files kept, ...)
    int message = 0;    // the string id to show; 0: nothing to say
    std::string detail; // what happened, with paths and causes, in English: for a log or a test

    static OpResult Done(int message = 0, std::string detail = {}) { return {true, message, std::move(detail)}; }
    static OpResult Refused(int message, std::string detail = {}) { return {false, message, std::move(detail)}; }
};

// A node that a command on several nodes left as it was, and why (refused, with its message).
struct NodeRefusal {
    const CatalogNode* node = nullptr; // still in the tree
    OpResult why;
};

// What a command on several nodes did: `result` done when the nodes it went ahead with were acted
// on (its message what the user is still to be told), `acted` how many of them (each with its
// subtree), `refused` those it left.
struct ManyNodesResult {
    OpResult result;
    std::size_t acted = 0;
    std::vector<NodeRefusal> refused;
};

} // namespace mwdx

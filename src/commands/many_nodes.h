#pragma once

// What the window says about a command on several nodes: the nodes it leaves, each with its reason,
// and whether to go ahead with the others.

#include "operations/op_result.h"

#include <QString>
#include <cstddef>
#include <vector>

class QWidget;

namespace mwdx {

// A line for each refused node: its name, then why, in the UI language.
QString RefusalLines(const std::vector<NodeRefusal>& refused);

// Before a command on several nodes: true to go ahead. Nothing refused: true without asking. When
// `going` nodes remain, the refused are listed (text::kNodesRefused) with the question whether to go
// ahead with the others (text::kGoAheadWithOthers, Yes or No, No the default); when none remains,
// the list alone (text::kNoNodeCanGo) and false.
bool AgreeToRefusals(QWidget* owner, const std::vector<NodeRefusal>& refused, std::size_t going);

// After a command on several nodes: the nodes it left as they were, listed (text::kNodesLeft);
// nothing when there are none.
void ShowNodesLeft(QWidget* owner, const std::vector<NodeRefusal>& left);

} // namespace mwdx

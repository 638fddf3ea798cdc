#include "commands/many_nodes.h"

#include "app/prompts.h"
#include "catalog/node.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QStringList>

namespace mwdx {

QString RefusalLines(const std::vector<NodeRefusal>& refused) {
    QStringList lines;
    for (const NodeRefusal& refusal : refused) {
        const QString name = refusal.node != nullptr
                                 ? QString::fromStdU16String(FromStoreText(refusal.node->Details().fileName))
                                 : QString();
        lines << QStringLiteral("%1: %2").arg(name, UiText(refusal.why.message));
    }
    return lines.join(QLatin1Char('\n'));
}

bool AgreeToRefusals(QWidget* owner, const std::vector<NodeRefusal>& refused, std::size_t going) {
    if (refused.empty()) {
        return true;
    }
    if (going == 0) {
        MessagePrompt::Show(owner, UiText(text::kNoNodeCanGo) + QLatin1Char('\n') + RefusalLines(refused));
        return false;
    }
    return MessagePrompt::AskYesOrNo(owner, UiText(text::kNodesRefused) + QLatin1Char('\n') + RefusalLines(refused) +
                                                QStringLiteral("\n\n") +
                                                UiText(text::kGoAheadWithOthers).arg(static_cast<qulonglong>(going)));
}

void ShowNodesLeft(QWidget* owner, const std::vector<NodeRefusal>& left) {
    if (!left.empty()) {
        MessagePrompt::Show(owner, UiText(text::kNodesLeft) + QLatin1Char('\n') + RefusalLines(left));
    }
}

} // namespace mwdx

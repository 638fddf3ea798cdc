#include "app/imports.h"

#include "app/marrowdex_dlg.h"
#include "app/progress.h"
#include "app/prompts.h"
#include "operations/import_folder.h"
#include "platform/text.h"
#include "platform/text_ids.h"

#include <QStringList>

namespace mwdx {

namespace {

// Each import's share of the bar, so that one big folder among small ones still moves it.
constexpr std::size_t kStepsPerImport = 1000;

} // namespace

bool RunImports(CMarrowdexDlg& window, QWidget* owner, CatalogNode* parent, const std::vector<std::string>& sources,
                bool move) {
    const std::string home = window.HomeDirectory();
    const ProgramFiles program = window.OwnFiles();
    std::vector<SkippedEntry> skipped;
    int failure = 0;
    bool cancelled = false;
    window.DetachTree();
    const ProgressLook look{ProgressLook::Kind::kWork, text::kImportInProgress, true};
    const bool ran = RunBehindProgress(owner, look, [&](WorkProgress& progress) {
        const std::size_t total = sources.size() * kStepsPerImport;
        for (std::size_t i = 0; i < sources.size() && !cancelled; ++i) {
            ImportControl control;
            control.cancel = &progress.cancel;
            control.progress = [&progress, i, total](std::size_t done, std::size_t of) {
                progress.Report(i * kStepsPerImport + (of > 0 ? done * kStepsPerImport / of : 0), total);
            };
            const ImportResult result =
                ImportOperation(window.Catalog(), home, parent, sources[i], move, program, control);
            skipped.insert(skipped.end(), result.skipped.begin(), result.skipped.end());
            if (!result.result.done && failure == 0) {
                failure = result.result.message;
            }
            cancelled = result.cancelled || progress.cancel.load();
            progress.Report((i + 1) * kStepsPerImport, total);
        }
    });
    window.AttachTree();
    if (!ran) {
        failure = text::kAddFailed;
    }
    if (failure != 0) {
        MessagePrompt::Show(owner, failure);
    }
    if (!skipped.empty()) {
        QStringList list;
        for (const SkippedEntry& entry : skipped) {
            list << QStringLiteral("%1: %2").arg(QString::fromStdU16String(FromStoreText(entry.path)),
                                                 UiText(entry.reason));
        }
        MessagePrompt::Show(owner, UiText(text::kEntriesSkipped) + QString::number(skipped.size()),
                            list.join(QLatin1Char('\n')));
    }
    if (cancelled) {
        MessagePrompt::Show(owner, text::kImportCancelled);
    }
    return ran && failure == 0 && !cancelled;
}

} // namespace mwdx

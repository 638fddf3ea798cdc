#include "app/comment_edit.h"

#include <QTextDocument>
#include <algorithm>
#include <optional>
#include <vector>

namespace mwdx {

namespace {

constexpr char16_t kParagraphSeparator = u'\u2029';
constexpr char16_t kLineSeparator = u'\u2028';

// The text as the box holds it once given `text`, and where each of its characters begins in
// `text`: a line end of any kind (CR LF, CR, LF, U+2029) is one paragraph separator; the rest
// stays as it is. starts has one entry more than the result: the end of `text`.
QString AsHeld(const QString& text, std::vector<qsizetype>& starts) {
    QString held;
    held.reserve(text.size());
    starts.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        starts.push_back(i);
        const char16_t c = text[i].unicode();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            ++i;
        }
        const bool lineEnd = c == u'\r' || c == u'\n' || c == kParagraphSeparator || c == 0xFDD0 || c == 0xFDD1;
        held += lineEnd ? QChar(kParagraphSeparator) : text[i];
    }
    starts.push_back(text.size());
    return held;
}

enum class Step { kKeep, kDrop, kTake }; // a character of the old text kept or dropped, or one of the new taken

// The shortest way from `before` to `after` in kept, dropped and taken characters (Myers'
// difference), or nothing when it needs more than `limit` drops and takes.
std::optional<std::vector<Step>> Difference(QStringView before, QStringView after, int limit) {
    const int n = static_cast<int>(before.size());
    const int m = static_cast<int>(after.size());
    const int most = std::min(n + m, limit);
    std::vector<int> reach(2 * static_cast<std::size_t>(most) + 3, 0);
    const auto at = [&](int k) -> int& { return reach[static_cast<std::size_t>(k + most + 1)]; };
    std::vector<std::vector<int>> trace; // the reach of each round before it, k from -d to d
    for (int d = 0; d <= most; ++d) {
        trace.emplace_back();
        for (int k = -d; k <= d; ++k) {
            trace.back().push_back(at(k));
        }
        for (int k = -d; k <= d; k += 2) {
            int x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            int y = x - k;
            while (x < n && y < m && before[x] == after[y]) {
                ++x;
                ++y;
            }
            at(k) = x;
            if (x < n || y < m) {
                continue;
            }
            // Back from the end, round by round.
            std::vector<Step> steps;
            for (int round = d; round > 0; --round) {
                const std::vector<int>& prior = trace[static_cast<std::size_t>(round)];
                const auto priorAt = [&](int kk) { return prior[static_cast<std::size_t>(kk + round)]; };
                const int kk = x - y;
                const bool took = kk == -round || (kk != round && priorAt(kk - 1) < priorAt(kk + 1));
                const int fromK = took ? kk + 1 : kk - 1;
                const int fromX = priorAt(fromK);
                const int fromY = fromX - fromK;
                for (; x > fromX + (took ? 0 : 1) && y > fromY + (took ? 1 : 0); --x, --y) {
                    steps.push_back(Step::kKeep);
                }
                steps.push_back(took ? Step::kTake : Step::kDrop);
                x = fromX;
                y = fromY;
            }
            for (; x > 0; --x) {
                steps.push_back(Step::kKeep);
            }
            std::reverse(steps.begin(), steps.end());
            return steps;
        }
    }
    return std::nullopt;
}

} // namespace

CommentEdit::CommentEdit(QWidget* parent) : QPlainTextEdit(parent) {}

void CommentEdit::SetText(const QString& text) {
    m_given = text;
    setPlainText(text);
    m_shown = document()->toRawText();
}

QString CommentEdit::Text() const {
    const QString now = document()->toRawText();
    if (now == m_shown) {
        return m_given;
    }
    std::vector<qsizetype> starts;
    if (AsHeld(m_given, starts) != m_shown) {
        return toPlainText(); // a form of text this box does not know: as the box gives it
    }
    // Only what lies between the first and the last change is compared closely.
    qsizetype head = 0;
    while (head < m_shown.size() && head < now.size() && m_shown[head] == now[head]) {
        ++head;
    }
    qsizetype tail = 0;
    while (tail < m_shown.size() - head && tail < now.size() - head &&
           m_shown[m_shown.size() - 1 - tail] == now[now.size() - 1 - tail]) {
        ++tail;
    }
    const QStringView before = QStringView(m_shown).mid(head, m_shown.size() - head - tail);
    const QStringView after = QStringView(now).mid(head, now.size() - head - tail);
    // Changes far apart, each small, keep what lies between them; past that much work, what lies
    // between counts as typed.
    std::vector<Step> steps;
    if (const auto found = Difference(before, after, 1000)) {
        steps = *found;
    } else {
        steps.assign(static_cast<std::size_t>(before.size()), Step::kDrop);
        steps.insert(steps.end(), static_cast<std::size_t>(after.size()), Step::kTake);
    }

    const auto given = [&](qsizetype from, qsizetype to) { return QStringView(m_given).mid(from, to - from); };
    QString text;
    text.reserve(m_given.size() + now.size() - m_shown.size());
    text += given(0, starts[static_cast<std::size_t>(head)]);
    qsizetype x = head; // in the text as held
    qsizetype y = head; // in the text shown now
    for (const Step step : steps) {
        if (step == Step::kKeep) {
            text += given(starts[static_cast<std::size_t>(x)], starts[static_cast<std::size_t>(x + 1)]);
            ++x;
            ++y;
        } else if (step == Step::kDrop) {
            ++x;
        } else {
            const QChar typed = now[y++];
            // A line the user ended, with Enter or Shift+Enter, ends as the program's lines do.
            text += typed == QChar(kParagraphSeparator) || typed == QChar(kLineSeparator) ? QChar(u'\n') : typed;
        }
    }
    text += given(starts[static_cast<std::size_t>(m_shown.size() - tail)], m_given.size());
    return text;
}

} // namespace mwdx

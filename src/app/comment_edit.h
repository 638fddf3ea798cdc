#pragma once

// The comment box of the catalog and document windows. A text box keeps its text in its own
// form: it gives back a no-break space as a blank, U+2028 and U+2029 as line feeds, and CR LF as
// LF. This one gives back exactly the text it was given, except where the user typed.

#include <QPlainTextEdit>
#include <QString>

namespace mwdx {

class CommentEdit final : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit CommentEdit(QWidget* parent = nullptr);

    // Shows `text` and remembers it as given.
    void SetText(const QString& text);
    // The text as given, with what the user changed in it: each character the user left alone
    // keeps its exact code units; what the user typed ends its lines with LF.
    QString Text() const;

private:
    QString m_given;
    QString m_shown; // the given text as the box holds it (its raw text right after SetText)
};

} // namespace mwdx

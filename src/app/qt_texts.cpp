#include "app/qt_texts.h"

#include "platform/string_table.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace mwdx {

void UseQtTextsOfUiLanguage() {
    // One translator for the application's life, put in or taken out as the language says.
    static QPointer<QTranslator> translator;
    if (translator == nullptr) {
        translator = new QTranslator(QCoreApplication::instance());
    }
    QCoreApplication::removeTranslator(translator);
    if (UseEnglish() != 0) {
        return;
    }
    // Debian's qt6-translations-l10n puts it among Qt's translations.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->isEmpty() && !translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        qWarning("marrowdex: qtbase_zh_CN.qm is not in %s; Qt's own texts stay English", qPrintable(folder));
        return;
    }
    QCoreApplication::installTranslator(translator);
}

QLocale UiLocale() {
    return UseEnglish() != 0 ? QLocale(QLocale::English, QLocale::UnitedStates)
                             : QLocale(QLocale::Chinese, QLocale::China);
}

} // namespace mwdx

#include "app/window_memory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>

namespace mwdx {

namespace {

// Read where the environment says now: QSettings' own user folder is fixed at its first use.
QString MemoryFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/marrowdex/window.conf");
}

// One group per store, named after its path: a path's '/' would nest groups.
QString GroupOf(const std::string& storePath) {
    const QString path = QString::fromStdString(storePath);
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? info.absoluteFilePath() : canonical).toUtf8();
    return QStringLiteral("store-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
}

} // namespace

WindowMemory RecallWindow(const std::string& storePath) {
    QSettings settings(MemoryFile(), QSettings::IniFormat);
    settings.beginGroup(GroupOf(storePath));
    WindowMemory memory;
    memory.geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    memory.splitter = settings.value(QStringLiteral("splitter")).toByteArray();
    for (const QString& id :
         settings.value(QStringLiteral("open")).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        bool number = false;
        const qlonglong value = id.toLongLong(&number);
        if (number && value > 0) {
            memory.open.push_back(value);
        }
    }
    memory.selected = settings.value(QStringLiteral("selected"), 0).toLongLong();
    memory.scroll = std::max(0, settings.value(QStringLiteral("scroll"), 0).toInt());
    return memory;
}

bool RememberWindow(const std::string& storePath, const WindowMemory& memory) {
    QSettings settings(MemoryFile(), QSettings::IniFormat);
    settings.beginGroup(GroupOf(storePath));
    QStringList open;
    for (const NodeId id : memory.open) {
        open << QString::number(id);
    }
    settings.setValue(QStringLiteral("store"), QString::fromStdString(storePath)); // for a reader of the file
    settings.setValue(QStringLiteral("geometry"), memory.geometry);
    settings.setValue(QStringLiteral("splitter"), memory.splitter);
    settings.setValue(QStringLiteral("open"), open.join(QLatin1Char(' ')));
    settings.setValue(QStringLiteral("selected"), QString::number(memory.selected));
    settings.setValue(QStringLiteral("scroll"), memory.scroll);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace mwdx

#include "app/icons.h"

#include <initializer_list>

namespace mwdx {

namespace {

// Every drawn size of one picture, so each place shows the size made for it.
QIcon IconFromSizes(const char* name, std::initializer_list<int> sizes) {
    QIcon icon;
    for (const int size : sizes) {
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace

QIcon ProgramIcon() {
    return IconFromSizes("marrowdex", {16, 32, 48, 64, 128, 256});
}

QIcon CatalogIcon() {
    return IconFromSizes("catalog", {16, 32, 48, 256});
}

QIcon DocumentIcon() {
    return IconFromSizes("document", {16, 32, 48, 256});
}

} // namespace mwdx

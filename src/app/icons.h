#pragma once

#include <QIcon>

namespace mwdx {

QIcon ProgramIcon();  // the window's icon
QIcon CatalogIcon();  // tree image of a catalog
QIcon DocumentIcon(); // tree image of a document

} // namespace mwdx

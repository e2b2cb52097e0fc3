#pragma once

#include <QIcon>
#include <QString>

namespace zelvane {

// The icon theme's icon for files with this extension (no dot), from the shared MIME database;
// the generic document icon for "" and for extensions the database does not know. Cached per
// extension. GUI thread only.
QIcon fileTypeIcon(const QString& extension);

}  // namespace zelvane

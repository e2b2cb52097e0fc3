#pragma once

#include <QString>

namespace zelvane {

// The human name of a file type, from its extension (no dot): "(No Extension)" for the empty
// extension, the shared MIME database's comment for a known extension in the user's language,
// else the extension upper-cased (full Unicode mapping, whatever the locale) followed by " File".
QString fileTypeDescription(const QString& extension);

}  // namespace zelvane

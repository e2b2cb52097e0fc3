#pragma once

#include <QString>

namespace zelvane {

// A tooltip that shows `text` exactly as written. Qt draws any tooltip that merely looks like
// markup as rich text, so a file named "<h1>Notes" would show as a heading without its tags and
// "a<br>b" on two lines; such text is handed over escaped, with its own line breaks kept.
QString plainToolTip(const QString& text);

}  // namespace zelvane

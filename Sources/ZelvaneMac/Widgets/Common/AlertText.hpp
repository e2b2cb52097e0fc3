#pragma once

class QMessageBox;
class QString;

namespace zelvane {

// Sets an alert's informative text, shown exactly as written. The text carries names and paths
// the user chose ("<h1>Notes", "<a href=...>"), and the box's own text format does not reach the
// informative label: without this it would be drawn as rich text, links included, whenever it
// looks like markup.
void setPlainInformativeText(QMessageBox& box, const QString& text);

}  // namespace zelvane

#pragma once

#include <QString>

namespace zelvane {

// "ZelvaneMac" while nothing is selected; otherwise "ZelvaneMac — ", the selection-kind marker and
// a space when there is a marker, and the root label.
QString windowTitle(const QString& rootLabel, const QString& selectionKindMarker);

}  // namespace zelvane

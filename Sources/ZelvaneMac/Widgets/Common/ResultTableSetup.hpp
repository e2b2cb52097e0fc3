#pragma once

#include <QString>

class QAbstractItemView;
class QHeaderView;

namespace zelvane {

class Preferences;
class ResultTableDelegate;

// The settings of every result table: 24-point rows, alternating row colours and horizontal grid
// lines as the window's options say (applied again on every update), columns sized by the user only.
void applyResultTableSettings(QAbstractItemView& view, ResultTableDelegate& delegate, bool altRowColors,
                              bool showHorizontalLines);

// Restores the column widths and order stored for this display arrangement (base name, ".", the
// display signature) and stores them again on every change. The sort indicator is not restored:
// each table starts with its own initial sort.
void autosaveColumnLayout(QHeaderView& header, const QString& baseName, Preferences& preferences);

}  // namespace zelvane

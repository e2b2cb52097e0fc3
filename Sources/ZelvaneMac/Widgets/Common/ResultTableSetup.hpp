#pragma once

#include <QString>

class QAbstractItemView;
class QFont;
class QHeaderView;
class QTreeView;

namespace zelvane {

class ColumnTable;
class Preferences;
class ResultTableDelegate;

// The settings of every result table: 24-point rows, alternating row colours and horizontal grid
// lines as the window's options say (applied again on every update), columns sized by the user only.
void applyResultTableSettings(QAbstractItemView& view, ResultTableDelegate& delegate, bool altRowColors,
                              bool showHorizontalLines);

// The set-up every result outline shares, once its model is set: whole rows selected, several at
// once, dragged out only, the table settings above, and a header that sorts on a click and shows
// the sort, with sections the user sizes (40 points at least) that start at the columns' widths.
// Sorting, stored layouts and hidden columns are each view's own.
void setUpResultOutline(QTreeView& outline, ResultTableDelegate& delegate, const ColumnTable& columns,
                        bool altRowColors, bool showHorizontalLines, bool dragEnabled);

// Sizes each section to its column's width, or wider where the column's title in the interface
// language, with the sort arrow beside it, or its widest value (`ColumnSpec::widestText`) in the
// cells' font needs more.
void sizeColumnsToFit(QHeaderView& header, const QFont& cellFont, const ColumnTable& columns);

// Widens the sections that are narrower than that need, hidden ones included, and leaves wider
// ones as they are: for a layout restored from an earlier run, perhaps in another language, whose
// widths fitted other titles.
void widenColumnsToFit(QHeaderView& header, const QFont& cellFont, const ColumnTable& columns);

// Makes `column` take the width the other columns leave in the view (never less than its own
// width, which the user still sets by dragging). Set up after the stored layout was restored;
// the stored layout then keeps the column's own width.
void giveSpareWidthToColumn(QTreeView& view, int column);

// Restores the column widths and order stored for this display arrangement (base name, ".", the
// display signature) and stores them again on every change, the sort indicator with them. The
// stored sort indicator comes back only with `restoreSort` (the file list keeps its order across
// launches); otherwise the table keeps the sort it was given. True when a stored layout was
// restored.
enum class StoredSort { keepGiven, restore };
bool autosaveColumnLayout(QHeaderView& header, const QString& baseName, Preferences& preferences,
                          StoredSort sort = StoredSort::keepGiven);
// Whether a change of the header's columns waits to be stored (the writes of a drag are gathered).
bool columnLayoutWritePending(const QHeaderView& header);

}  // namespace zelvane

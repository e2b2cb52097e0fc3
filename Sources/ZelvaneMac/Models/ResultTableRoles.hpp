#pragma once

#include <Qt>

namespace zelvane {

// Item data roles that the result tables (tree outline, file list, file-type table) share with
// their cell painting. The models stay free of colours and icons: they say what a cell is, the
// delegates of the widgets decide how it looks.
namespace ResultTableRole {
enum : int {
    node = Qt::UserRole + 1,  // quintptr of the row's FileNode (absent for rows without one)
    sortedColumn,             // bool: the column is the current sort key (faint accent tint)
    textTone,                 // TextTone as int
    barFraction,              // double 0-1: width of the percent band as a share of the cell
    barFromRight,             // bool: the band stands against the right edge (else the left)
    highlightRanges,          // QList<QPoint> (start, length) of matched text, file list only
};
}

enum class TextTone : int {
    normal = 0,
    secondary = 1,   // hidden names, uncounted allocated sizes
    compressed = 2,  // names of compressed files
    deleted = 3,     // red, struck through
};

// The width of the tree's percent band: 1 at the top level, a tenth less per level, never
// below one half.
inline double percentBarDepthFactor(int depth) {
    const int d = depth < 0 ? 0 : (depth > 5 ? 5 : depth);
    const double f = 1.0 - 0.1 * d;
    return f <= 0.5 ? 0.5 : f;
}

}  // namespace zelvane

#pragma once

#include <QString>
#include <QVariant>

#include <vector>

#include "ZelvaneMac/Models/ColumnTable.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"

namespace zelvane {

// What a row of the tree outline shows of its node.
struct OutlineCellContext {
    const OutlineDisplaySettings& display;
    const std::vector<FileNode*>& roots;
    // What each root's row is called, in the order of `roots`.
    const std::vector<QString>& rootLabels;
    OutlineSortKey sortKey;
};

// Identifiers, English titles, widths and first sort orders of the outline's columns.
const ColumnTable& outlineColumns();
QVariant outlineHeaderData(int section, Qt::Orientation orientation, int role);
// A cell's text and the roles the shared result-table delegate paints from.
QVariant outlineCellText(const FileNode& node, int column, const OutlineCellContext& context);
QVariant outlineCellData(const FileNode& node, int column, int role, const OutlineCellContext& context);

}  // namespace zelvane

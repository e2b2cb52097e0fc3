#pragma once

#include <QModelIndexList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "ZelvaneMac/Models/ResultTableRoles.hpp"

class QMimeData;

namespace zelvane {

class FileNode;

// What the tree outline and the file list show alike for a node's row.

// The name cell's tool tip: the full path, with control characters and direction overrides shown
// as visible marks, and shown as written even where it looks like markup.
QString nameToolTip(const FileNode& node);

// What a view's search for the first letters typed looks for among shown names (`match` of the
// models): the names begin with their isolate in a right-to-left window.
QVariant typedSearchAsShown(int role, const QVariant& value, Qt::MatchFlags flags);

// The path the window's hover line shows for the node under the pointer; none for no node.
std::optional<QString> hoverPathOf(const FileNode* node);

// Deleted rows in every cell; hidden and compressed names; allocated sizes that are not counted.
TextTone nodeTextTone(const FileNode& node, bool nameCell, bool allocatedCell);

// What a node adds to the allocated totals of its folders: its allocated size, or nothing for a
// file whose blocks another link counts. A share by allocated size is taken of this, so such a
// file never shows more than its folder holds.
int64_t countedAllocatedShare(const FileNode& node);

// The modification date in the user's short format.
QString modifiedDateText(const FileNode& node);

// The files of the dragged rows as a URL list, each node once; `nodeOf` gives a row's node, or
// none for a row that is not dragged. None when no row has a node.
QMimeData* fileURLsMimeData(const std::vector<const FileNode*>& nodes);
QMimeData* fileURLsMimeData(const QModelIndexList& indexes, const std::function<const FileNode*(const QModelIndex&)>& nodeOf);

}  // namespace zelvane

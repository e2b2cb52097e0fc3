#include "ZelvaneMac/Widgets/Outline/OutlineRowSelection.hpp"

#include <QItemSelectionModel>

#include <algorithm>
#include <utility>

#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"

namespace zelvane {

namespace {

// Row numbers from the top down to `index`: sorting by them orders rows as shown, without asking
// the view where each row lies, so a selection of every file of a type stays fast.
std::vector<int> rowPath(const QModelIndex& index) {
    std::vector<int> path;
    for (QModelIndex p = index; p.isValid(); p = p.parent()) path.push_back(p.row());
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace

std::vector<FileNode*> OutlineRowSelection::nodes() const {
    const QModelIndexList rows = outline_.selectionModel()->selectedRows(0);
    std::vector<std::pair<std::vector<int>, FileNode*>> ordered;
    ordered.reserve(size_t(rows.size()));
    for (const QModelIndex& i : rows)
        if (FileNode* n = model_.nodeAt(i)) ordered.emplace_back(rowPath(i), n);
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<FileNode*> out;
    out.reserve(ordered.size());
    for (auto& entry : ordered) out.push_back(entry.second);
    return out;
}

void OutlineRowSelection::show(const std::unordered_set<FileNode*>& target) {
    const std::vector<FileNode*> current = nodes();
    if (current.size() == target.size() &&
        std::all_of(current.begin(), current.end(), [&](FileNode* n) { return target.count(n) != 0; }))
        return;
    std::vector<FileNode*> wanted;
    wanted.reserve(target.size());
    for (FileNode* n : target)
        if (!model_.isRetiredGroup(n)) wanted.push_back(n);
    QItemSelection selection;
    QModelIndex first;
    std::vector<int> firstPath;
    for (const QModelIndex& i : model_.indexesForNodes(wanted)) {
        for (QModelIndex p = i.parent(); p.isValid(); p = p.parent())
            if (!outline_.isExpanded(p)) outline_.expand(p);
        selection.select(i, i.siblingAtColumn(FileTreeOutlineModel::kColumnCount - 1));
        std::vector<int> path = rowPath(i);
        if (!first.isValid() || path < firstPath) {
            first = i;
            firstPath = std::move(path);
        }
    }
    showing_ = true;
    outline_.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    showing_ = false;
    if (first.isValid()) outline_.scrollTo(first);
}

}  // namespace zelvane

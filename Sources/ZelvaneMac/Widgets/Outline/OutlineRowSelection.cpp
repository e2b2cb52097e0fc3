#include "ZelvaneMac/Widgets/Outline/OutlineRowSelection.hpp"

#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>
#include <unordered_set>
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
    // Read from the selected ranges themselves: the selection model's own list of selected rows
    // asks, for every row, every range whether it holds the row, and a Select All over thousands
    // of open folders is one range per folder.
    const QItemSelection ranges = outline_.selectionModel()->selection();
    std::vector<std::pair<std::vector<int>, FileNode*>> ordered;
    std::unordered_set<const FileNode*> seen;
    for (const QItemSelectionRange& range : ranges) {
        if (range.left() > 0) continue;
        const QModelIndex parent = range.parent();
        std::vector<int> parentPath = rowPath(parent);
        for (int row = range.top(); row <= range.bottom(); ++row) {
            FileNode* n = model_.nodeAt(model_.index(row, 0, parent));
            if (!n || !seen.insert(n).second) continue;
            std::vector<int> path = parentPath;
            path.push_back(row);
            ordered.emplace_back(std::move(path), n);
        }
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<FileNode*> out;
    out.reserve(ordered.size());
    for (auto& entry : ordered) out.push_back(entry.second);
    return out;
}

void OutlineRowSelection::remember(const std::vector<FileNode*>& chosen) { shown_ = NodeSet(chosen.begin(), chosen.end()); }

void OutlineRowSelection::show(const NodeSet& target) {
    if (shown_ && *shown_ == target) return;
    if (size_t(target.size()) <= kShownNodes) {
        const std::vector<FileNode*> current = nodes();
        if (current.size() == size_t(target.size()) &&
            std::all_of(current.begin(), current.end(), [&](FileNode* n) { return target.contains(n); })) {
            shown_ = target;
            return;
        }
    }
    std::vector<FileNode*> wanted;
    wanted.reserve(std::min(size_t(target.size()), kShownNodes));
    for (FileNode* n : target) {
        if (wanted.size() == kShownNodes) break;
        if (!model_.isRetiredGroup(n)) wanted.push_back(n);
    }
    QItemSelection selection;
    QModelIndex first;
    std::vector<int> firstPath;
    std::vector<QModelIndex> toOpen;
    QSet<QModelIndex> opening;
    size_t opened = 0;
    for (const QModelIndex& i : model_.indexesForNodes(wanted)) {
        // The folders above it open with the others at once; a node whose folders would bring
        // more rows than the budget left stays without a row.
        size_t adds = 0;
        std::vector<QModelIndex> above;
        for (QModelIndex p = i.parent(); p.isValid(); p = p.parent()) {
            if (opening.contains(p) || outline_.isExpanded(p)) continue;
            above.push_back(p);
            adds += size_t(model_.rowCount(p));
        }
        if (!above.empty() && opened + adds > rowBudget_) continue;
        opened += adds;
        for (const QModelIndex& p : above) opening.insert(p);
        toOpen.insert(toOpen.end(), above.begin(), above.end());
        selection.select(i, i.siblingAtColumn(FileTreeOutlineModel::kColumnCount - 1));
        std::vector<int> path = rowPath(i);
        if (!first.isValid() || path < firstPath) {
            first = i;
            firstPath = std::move(path);
        }
    }
    outline_.expandRows(toOpen);
    showing_ = true;
    outline_.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    showing_ = false;
    shown_ = target;
    if (first.isValid()) outline_.scrollTo(first);
}

}  // namespace zelvane

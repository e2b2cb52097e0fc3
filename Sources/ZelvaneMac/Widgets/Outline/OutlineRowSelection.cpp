#include "ZelvaneMac/Widgets/Outline/OutlineRowSelection.hpp"

#include <QHash>
#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>
#include <span>
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

// At most `most` nodes of `target` whose folders, opened from the roots down, bring at most
// `rowBudget` rows, counting every folder above them as closed. Any thread, while the trees are held.
std::vector<FileNode*> nodesWithinBudget(const NodeSet& target, size_t most, size_t rowBudget, const CancelFlag& cancel) {
    std::vector<FileNode*> out;
    std::unordered_set<const FileNode*> opened;  // with every folder above each
    std::vector<const FileNode*> above;
    size_t rows = 0;
    size_t looked = 0;
    for (FileNode* n : target) {
        if (out.size() == most || ((++looked & 0xfff) == 0 && cancel.isSet())) break;
        if (!n || n->isSyntheticGroup()) continue;
        above.clear();
        size_t adds = 0;
        for (const FileNode* p = n->parent(); p && !opened.count(p); p = p->parent()) {
            above.push_back(p);
            adds += p->children().size() + 1;  // and a group row
        }
        if (rows + adds > rowBudget) continue;
        rows += adds;
        opened.insert(above.begin(), above.end());
        out.push_back(n);
    }
    return out;
}

}  // namespace

std::vector<FileNode*> OutlineRowSelection::nodes() const {
    // Read from the selected ranges themselves: the selection model's own list of selected rows
    // asks, for every row, every range whether it holds the row, and a Select All over thousands
    // of open folders is one range per folder. The rows are put in shown order by walking down
    // from the top through the folders that hold selected rows, each range taken whole from its
    // folder's rows as the model keeps them: no row's place is worked out on its own, and only
    // the rows above selected ones are looked up as rows.
    QHash<QModelIndex, std::vector<std::pair<int, int>>> runs;  // selected rows, by their folder's row
    QHash<QModelIndex, std::vector<int>> through;                 // rows above selected rows, by folder
    QSet<QModelIndex> known;
    for (const QItemSelectionRange& range : outline_.selectionModel()->selection()) {
        if (range.left() > 0 || !range.isValid()) continue;
        const QModelIndex parent = range.parent();
        runs[parent].emplace_back(range.top(), range.bottom());
        for (QModelIndex child = parent; child.isValid() && !known.contains(child); child = child.parent()) {
            known.insert(child);
            through[child.parent()].push_back(child.row());
        }
    }
    std::vector<FileNode*> out;
    // A folder's rows to visit in order: (row, selected, above selected rows), each row once.
    struct Visit {
        int row;
        bool selected;
        bool above;
    };
    struct Level {
        QModelIndex parent;
        std::span<FileNode* const> nodes;
        std::vector<Visit> rows;
        size_t next = 0;
    };
    const auto levelOf = [&](const QModelIndex& parent) {
        Level level{parent, model_.madeRows(parent), {}, 0};
        if (const auto r = runs.constFind(parent); r != runs.constEnd())
            for (auto [top, bottom] : *r)
                for (int row = top; row <= bottom; ++row) level.rows.push_back({row, true, false});
        if (const auto t = through.constFind(parent); t != through.constEnd())
            for (int row : *t) level.rows.push_back({row, false, true});
        std::sort(level.rows.begin(), level.rows.end(), [](const Visit& a, const Visit& b) { return a.row < b.row; });
        // A row both selected and above others, or in two ranges, is visited once.
        size_t kept = 0;
        for (size_t i = 0; i < level.rows.size(); ++i) {
            if (kept > 0 && level.rows[kept - 1].row == level.rows[i].row) {
                level.rows[kept - 1].selected |= level.rows[i].selected;
                level.rows[kept - 1].above |= level.rows[i].above;
            } else {
                level.rows[kept++] = level.rows[i];
            }
        }
        level.rows.resize(kept);
        return level;
    };
    std::vector<Level> stack;
    stack.push_back(levelOf(QModelIndex()));
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.rows.size()) {
            stack.pop_back();
            continue;
        }
        const Visit visit = level.rows[level.next++];
        if (visit.selected && size_t(visit.row) < level.nodes.size())
            if (FileNode* n = level.nodes[size_t(visit.row)]) out.push_back(n);
        if (visit.above) {
            const QModelIndex index = model_.index(visit.row, 0, level.parent);
            stack.push_back(levelOf(index));  // `level` is not used past this point
        }
    }
    return out;
}

const NodeSet& OutlineRowSelection::remember(const std::vector<FileNode*>& chosen) {
    // The user's rows win over those of a selection still being looked through.
    choices_.supersede();
    shown_ = NodeSet(chosen.begin(), chosen.end());
    return *shown_;
}

void OutlineRowSelection::show(const NodeSet& target, std::shared_ptr<const void> trees) {
    if (shown_ && *shown_ == target) return;
    if (size_t(target.size()) <= kShownNodes) {
        choices_.supersede();
        const std::vector<FileNode*> current = nodes();
        if (current.size() == size_t(target.size()) &&
            std::all_of(current.begin(), current.end(), [&](FileNode* n) { return target.contains(n); })) {
            shown_ = target;
            return;
        }
        std::vector<FileNode*> wanted;
        wanted.reserve(size_t(target.size()));
        for (FileNode* n : target)
            if (!model_.isRetiredGroup(n)) wanted.push_back(n);
        select(wanted);
        shown_ = target;
        return;
    }
    // The rows of the selection before go at once; those of this one come once chosen.
    shown_ = target;
    showing_ = true;
    outline_.selectionModel()->clearSelection();
    showing_ = false;
    runInBackground(
        &outline_, choices_,
        [target, trees = std::move(trees), budget = rowBudget_](const CancelFlag& cancel) {
            return nodesWithinBudget(target, kShownNodes, budget, cancel);
        },
        [this](const std::vector<FileNode*>& chosen) {
            std::vector<FileNode*> wanted;
            wanted.reserve(chosen.size());
            for (FileNode* n : chosen)
                if (!model_.isRetiredGroup(n)) wanted.push_back(n);
            select(wanted);
        });
}

void OutlineRowSelection::select(const std::vector<FileNode*>& wanted) {
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
    outline_.replaceSelection(selection);
    showing_ = false;
    if (first.isValid()) outline_.scrollTo(first);
}

void OutlineRowSelection::holdForLayout() {
    held_.clear();
    QItemSelectionModel& selectionModel = *outline_.selectionModel();
    QHash<QModelIndex, std::vector<std::pair<int, int>>> runs;  // selected rows, by their folder's row
    for (const QItemSelectionRange& range : selectionModel.selection())
        if (range.isValid()) runs[range.parent()].emplace_back(range.top(), range.bottom());
    if (runs.isEmpty()) return;
    for (auto it = runs.begin(); it != runs.end(); ++it) {
        const QModelIndex& parent = it.key();
        std::vector<std::pair<int, int>>& rows = it.value();
        HeldFolder held{parent.isValid() ? model_.nodeAt(parent) : nullptr, false, {}};
        if (parent.isValid() && !held.folder) continue;
        std::sort(rows.begin(), rows.end());
        int covered = 0;  // the rows from the first on that the runs cover without a gap
        for (const auto& [top, bottom] : rows) {
            if (top > covered) break;
            covered = std::max(covered, bottom + 1);
        }
        held.every = covered >= model_.rowCount(parent);
        if (!held.every)
            for (const auto& [top, bottom] : rows)
                for (int row = top; row <= bottom; ++row)
                    if (FileNode* n = model_.nodeAt(model_.index(row, 0, parent))) held.nodes.push_back(n);
        held_.push_back(std::move(held));
    }
    showing_ = true;
    selectionModel.clearSelection();
    showing_ = false;
}

void OutlineRowSelection::restoreAfterLayout() {
    if (held_.empty()) return;
    const int lastColumn = FileTreeOutlineModel::kColumnCount - 1;
    QItemSelection selection;
    const auto selectRows = [&](const QModelIndex& parent, int first, int last) {
        selection.append(QItemSelectionRange(model_.index(first, 0, parent), model_.index(last, lastColumn, parent)));
    };
    for (const HeldFolder& held : held_) {
        // A folder's rows keep their folder: only where the folder stands may have changed.
        const QModelIndex parent = held.folder ? model_.existingIndexForNode(held.folder) : QModelIndex();
        if (held.folder && !parent.isValid()) continue;
        const int rows = model_.rowCount(parent);
        if (rows <= 0) continue;
        if (held.every) {
            selectRows(parent, 0, rows - 1);
            continue;
        }
        const std::unordered_set<const FileNode*> wanted(held.nodes.begin(), held.nodes.end());
        int first = -1;
        for (int row = 0; row <= rows; ++row) {
            const bool selected = row < rows && wanted.count(model_.nodeAt(model_.index(row, 0, parent)));
            if (selected && first < 0) first = row;
            if (!selected && first >= 0) {
                selectRows(parent, first, row - 1);
                first = -1;
            }
        }
    }
    held_.clear();
    showing_ = true;
    outline_.selectionModel()->select(selection, QItemSelectionModel::Select);
    showing_ = false;
}

}  // namespace zelvane

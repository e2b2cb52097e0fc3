#include "ZelvaneMac/Widgets/Outline/SelectedRowRuns.hpp"

#include <QHash>
#include <QItemSelection>

#include <algorithm>
#include <span>

#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"

namespace zelvane {

SelectedRowRuns::SelectedRowRuns(const QItemSelection& selection, const FileTreeOutlineModel& model) {
    // A folder's row (invalid: the roots' level) and its place in folders_; each folder is linked
    // to the one above it the first time a run below it is met.
    QHash<QModelIndex, size_t> known;
    folders_.emplace_back();
    known.insert(QModelIndex(), 0);
    std::vector<QModelIndex> chain;
    const auto folderOf = [&](const QModelIndex& parent) {
        chain.clear();
        QModelIndex p = parent;
        auto found = known.constFind(p);
        while (found == known.constEnd()) {
            chain.push_back(p);
            p = p.parent();
            found = known.constFind(p);
        }
        size_t above = *found;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const size_t made = folders_.size();
            folders_.emplace_back();
            folders_[above].opened.emplace_back(it->row(), made);
            known.insert(*it, made);
            above = made;
        }
        return above;
    };
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid() || range.left() > 0) continue;
        const QModelIndex parent = range.parent();
        const std::span<FileNode* const> rows = model.madeRows(parent);
        const int top = std::max(0, range.top());
        const int bottom = std::min(range.bottom(), int(rows.size()) - 1);
        if (top > bottom) continue;
        const size_t folder = folderOf(parent);
        folders_[folder].runs.push_back({top, bottom, nodes_.size()});
        nodes_.insert(nodes_.end(), rows.begin() + top, rows.begin() + bottom + 1);
    }
    for (Folder& f : folders_) {
        std::sort(f.runs.begin(), f.runs.end(), [](const Run& a, const Run& b) { return a.top < b.top; });
        std::sort(f.opened.begin(), f.opened.end());
    }
}

std::vector<FileNode*> SelectedRowRuns::inRowOrder(const CancelFlag& cancel, size_t most) const {
    std::vector<FileNode*> out;
    out.reserve(std::min(most, nodes_.size()));
    walk(0, out, most, cancel);
    if (cancel.isSet()) return {};
    return out;
}

void SelectedRowRuns::walk(size_t folder, std::vector<FileNode*>& out, size_t most, const CancelFlag& cancel) const {
    if (cancel.isSet()) return;
    const Folder& f = folders_[folder];
    int done = -1;  // the last row given; runs may overlap
    const auto give = [&](const Run& run, int last) {
        for (int row = std::max(run.top, done + 1); row <= std::min(run.bottom, last) && out.size() < most; ++row)
            out.push_back(nodes_[run.at + size_t(row - run.top)]);
        done = std::max(done, std::min(run.bottom, last));
    };
    size_t next = 0;
    for (const Run& run : f.runs) {
        // A row holding selected rows below it: its own row first, when selected, then those.
        for (; next < f.opened.size() && f.opened[next].first <= run.bottom; ++next) {
            give(run, f.opened[next].first);
            walk(f.opened[next].second, out, most, cancel);
        }
        give(run, run.bottom);
    }
    for (; next < f.opened.size(); ++next) walk(f.opened[next].second, out, most, cancel);
}

}  // namespace zelvane

#pragma once

#include <unordered_set>
#include <vector>

namespace zelvane {

class ContextMenuOutlineView;
class FileNode;
class FileTreeOutlineModel;

// The outline's selected rows as nodes, both ways. Showing the window's selection never counts as
// a choice of the user: a node the outline cannot show (a retired group, a file below the open
// depth) is simply left unselected, and the rows that were selected before are cleared without the
// outline announcing the shrunken set, which would overwrite the window's selection with it.
class OutlineRowSelection final {
public:
    OutlineRowSelection(ContextMenuOutlineView& outline, FileTreeOutlineModel& model) : outline_(outline), model_(model) {}

    // In row order (the order of the rows' paths of row numbers from the top), group rows included.
    std::vector<FileNode*> nodes() const;
    // Selects the rows of `target` that can be shown, opening their folders and scrolling to the
    // first; does nothing when the rows selected are those already.
    void show(const std::unordered_set<FileNode*>& target);
    // True while `show` changes the rows: the change is the window's, not the user's.
    bool isShowing() const { return showing_; }

private:
    ContextMenuOutlineView& outline_;
    FileTreeOutlineModel& model_;
    bool showing_ = false;
};

}  // namespace zelvane

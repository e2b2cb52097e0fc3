#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class ContextMenuOutlineView;
class FileNode;
class FileTreeOutlineModel;

// The outline's selected rows as nodes, both ways. Showing the window's selection never counts as
// a choice of the user: a node the outline cannot show (a retired group, a file below the open
// depth) is simply left unselected, and the rows that were selected before are cleared without the
// outline announcing the shrunken set, which would overwrite the window's selection with it.
//
// A selection of more nodes than a reader goes through (every file of a type, millions of them)
// is shown in part: rows are made and folders opened for at most `kShownNodes` of its nodes and
// `rowBudget` rows, the rest stays selected in the window without rows of its own. Which of its
// nodes fit is worked out on the thread pool, so that the GUI thread only makes and selects the
// rows shown; the rows selected before are cleared at once.
class OutlineRowSelection final {
public:
    static constexpr size_t kShownNodes = 2'000;

    OutlineRowSelection(ContextMenuOutlineView& outline, FileTreeOutlineModel& model, size_t rowBudget)
        : outline_(outline), model_(model), rowBudget_(rowBudget) {}

    // In row order (the order of the rows' paths of row numbers from the top), group rows included.
    std::vector<FileNode*> nodes() const;
    // Selects the rows of `target` that can be shown, opening their folders and scrolling to the
    // first; does nothing when the rows selected are those already, or when `target` is the set
    // shown last and the rows have not changed since.
    // `trees` holds the trees of `target`'s nodes while a large one is looked through.
    void show(const NodeSet& target, std::shared_ptr<const void> trees = {});
    // The user chose these rows: the window's selection made of them (the set returned, or an
    // equal one) needs no showing.
    const NodeSet& remember(const std::vector<FileNode*>& chosen);
    // The rows selected no longer follow the set shown last (the rows were made anew).
    void forget() {
        shown_.reset();
        choices_.supersede();
    }
    // True while `show` changes the rows: the change is the window's, not the user's.
    bool isShowing() const { return showing_; }

    // Around a layout change of every row: the rows selected are let go, kept as a range of
    // each folder's rows (or, for a folder with only some selected, as their nodes), and selected
    // again afterwards, the same nodes, in whole ranges; the current row is the model's to keep.
    // The cost follows the folders holding selected rows, not the rows selected.
    void holdForLayout();
    void restoreAfterLayout();

private:
    // The selected rows of a folder (null: the roots' rows) while the rows are laid out again.
    struct HeldFolder {
        FileNode* folder = nullptr;
        bool every = false;            // every row of the folder
        std::vector<FileNode*> nodes;  // else these rows
    };

    // Selects the rows of `wanted` that fit, opening their folders, and scrolls to the first.
    void select(const std::vector<FileNode*>& wanted);

    ContextMenuOutlineView& outline_;
    FileTreeOutlineModel& model_;
    const size_t rowBudget_;
    bool showing_ = false;
    // The set shown last; a copy shares its data, so comparing the same set again costs nothing.
    std::optional<NodeSet> shown_;
    JobGeneration choices_;
    std::vector<HeldFolder> held_;
};

}  // namespace zelvane

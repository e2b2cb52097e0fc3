#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"

namespace zelvane {

// The canvas's copy of the window's selection and what clicks make of it.
//
// Group nodes the canvas put into the selection live in the store of the layout that made them;
// the store is kept while such a node stays selected, so the selection never dangles. A group is
// made anew by every layout: only its folder says which group it is.
class TreemapCanvasSelection final {
public:
    const TreemapSelection& nodes() const { return selection_; }
    TreemapNodeList list() const { return TreemapNodeList(selection_.begin(), selection_.end()); }
    bool isEmpty() const { return selection_.isEmpty(); }

    // The window's selection as it was handed in.
    void adopt(const TreemapSelection& selection);
    // A click on `node` selects it alone or, with `toggle` (the Ctrl key), adds or removes it; a
    // right click keeps a selection that holds it, else selects it alone or, with `add`, adds it.
    // Each says whether the selection changed; `layout` is the picture that was clicked.
    bool click(FileNode* node, bool toggle, const TreemapLayout& layout);
    bool rightClick(FileNode* node, bool add, const TreemapLayout& layout);

    bool isSelected(const FileNode* node) const;
    // The boxes of `layout` drawn as selected. They are worked out once for each selection and
    // layout, since the canvas asks on every paint. A selection of more than `kOutlinedInPlace`
    // nodes (every file of a type: millions) is outlined in the background instead: until its
    // boxes are handed in with `setOutlines`, none are drawn. The span holds until the selection
    // changes or another layout is asked about.
    static constexpr qsizetype kOutlinedInPlace = 20'000;
    std::span<const TreemapRect> outlines(const std::shared_ptr<const TreemapLayout>& layout) const;
    // The selection's boxes in `layout` must be made in the background.
    bool outlinesWanted(const std::shared_ptr<const TreemapLayout>& layout) const;
    // Which selection the canvas holds: a new number for each one adopted.
    uint64_t revision() const { return revision_; }
    // The boxes a background job made for selection `revision` in `layout`; dropped when the
    // selection changed since.
    void setOutlines(const std::shared_ptr<const TreemapLayout>& layout, uint64_t revision, std::vector<TreemapRect> boxes);
    // What keeps the group nodes the canvas put into the selection alive.
    std::vector<std::shared_ptr<const void>> groupStores() const;
    // The boxes of `selection` in `layout`, on any thread, while the trees of its nodes are held.
    static std::vector<TreemapRect> outlinesIn(const TreemapSelection& selection, const TreemapLayout& layout);

private:
    bool change(TreemapSelection next, const TreemapLayout& layout);
    bool outlinedIn(const std::shared_ptr<const TreemapLayout>& layout) const;

    TreemapSelection selection_;
    uint64_t revision_ = 0;
    std::vector<std::pair<FileNode*, std::shared_ptr<const void>>> groupStores_;
    // The outlines of the selection in `outlinedLayout_`, while `outlinesValid_`.
    mutable std::weak_ptr<const TreemapLayout> outlinedLayout_;
    mutable std::vector<TreemapRect> outlines_;
    mutable bool outlinesValid_ = false;
};

}  // namespace zelvane

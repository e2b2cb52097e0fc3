#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "ZelvaneMac/Actions/TargetChecks.hpp"

class QMenu;
class QWidget;

namespace zelvane {

class FileNode;

// How a result view reaches the file actions without knowing them: the owner of the view (the
// window's tab) fills these in; an empty hook leaves its feature out (no menu entries, no preview,
// renames refused). Targets are asked for when an action runs, never stored.
struct FileActionHooks {
    using Targets = std::function<std::vector<FileNode*>()>;
    // What a view whose selection may hold millions hands to its menu: every node (listed only
    // when an action that works item by item runs), how many there are (at once, for the menu's
    // titles and enabling), the first ones (for Quick Look, which shows one at a time), and the
    // listing the actions that take a selection of any size list on the thread pool.
    struct Selection {
        Targets nodes;
        std::function<size_t()> count;
        Targets previewed;
        std::function<NodeListing()> listing;
    };
    // A new context menu with the file actions for `targets`, to open over `view`; the view adds
    // its own entries at the end and deletes the menu when it closed.
    std::function<QMenu*(QWidget* view, Targets targets)> makeContextMenu;
    // The same for a selection of any size.
    std::function<QMenu*(QWidget* view, Selection selection)> makeSelectionMenu;
    // The preview window for these nodes (the Space key).
    std::function<void(QWidget* view, const std::vector<FileNode*>& nodes)> quickLook;
    // Renames the node on disk and in the tree; false when refused (the hook tells the user why).
    std::function<bool(QWidget* view, FileNode* node, const QString& newName)> rename;
};

}  // namespace zelvane

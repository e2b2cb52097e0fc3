#pragma once

#include <QString>

#include <functional>
#include <vector>

class QMenu;
class QWidget;

namespace zelvane {

class FileNode;

// How a result view reaches the file actions without knowing them: the owner of the view (the
// window's tab) fills these in; an empty hook leaves its feature out (no menu entries, no preview,
// renames refused). Targets are asked for when an action runs, never stored.
struct FileActionHooks {
    using Targets = std::function<std::vector<FileNode*>()>;
    // Adds the file-action entries to a context menu about to open over `view`.
    std::function<void(QMenu& menu, QWidget* view, Targets targets)> populateContextMenu;
    // The preview window for these nodes (the Space key).
    std::function<void(QWidget* view, const std::vector<FileNode*>& nodes)> quickLook;
    // Renames the node on disk and in the tree; false when refused (the hook tells the user why).
    std::function<bool(QWidget* view, FileNode* node, const QString& newName)> rename;
};

}  // namespace zelvane

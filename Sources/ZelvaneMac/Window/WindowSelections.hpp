#pragma once

#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class MainWindowController;
class NodeSelection;

// The two selections of one window and the tab that says which of them the commands act on.
struct WindowSelections {
    MainWindowController& tabs;
    NodeSelection& tree;
    NodeSelection& file;

    bool onFileView() const;
    // The File View's selection while its tab is shown, else the Tree View's.
    const NodeSet& shown() const;
};

}  // namespace zelvane

#include "ZelvaneMac/Window/WindowSelections.hpp"

#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"

namespace zelvane {

bool WindowSelections::onFileView() const { return tabs.selectedTab() == ContentTab::fileView; }

const NodeSet& WindowSelections::shown() const { return onFileView() ? file.nodes() : tree.nodes(); }

}  // namespace zelvane

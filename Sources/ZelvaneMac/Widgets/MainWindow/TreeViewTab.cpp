#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

TreeViewTab::TreeViewTab(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

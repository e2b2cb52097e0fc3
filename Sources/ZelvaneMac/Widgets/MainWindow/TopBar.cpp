#include "ZelvaneMac/Widgets/MainWindow/TopBar.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

TopBar::TopBar(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

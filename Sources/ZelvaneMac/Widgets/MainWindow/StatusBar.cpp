#include "ZelvaneMac/Widgets/MainWindow/StatusBar.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

StatusBar::StatusBar(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

#include "ZelvaneMac/Widgets/MainWindow/FilterPanel.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

FilterPanel::FilterPanel(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

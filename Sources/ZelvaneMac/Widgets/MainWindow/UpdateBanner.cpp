#include "ZelvaneMac/Widgets/MainWindow/UpdateBanner.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

UpdateBanner::UpdateBanner(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

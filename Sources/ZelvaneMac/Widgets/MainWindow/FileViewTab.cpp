#include "ZelvaneMac/Widgets/MainWindow/FileViewTab.hpp"

#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane {

FileViewTab::FileViewTab(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {}

}  // namespace zelvane

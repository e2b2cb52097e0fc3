#pragma once

class QMenu;
class QMenuBar;

namespace zelvane {

class ContentViewState;
class MenuItems;

// Adds the Options menu to `bar`: size display, panes, treemap display, updates, sheets and the
// language. Its items act on `state` (this window's toggles, the shared preferences).
QMenu* buildOptionsMenu(QMenuBar& bar, MenuItems& items, ContentViewState& state);

}  // namespace zelvane

#pragma once

class QMenu;
class QMenuBar;

namespace zelvane {

class MenuItems;
class PaneToggles;
class Preferences;
class TreemapToggles;

// Adds the Options menu to `bar`: size display, panes, treemap display, updates, sheets and the
// language. Its items act on this window's toggles and the shared preferences.
QMenu* buildOptionsMenu(QMenuBar& bar, MenuItems& items, Preferences& prefs, PaneToggles& panes,
                        TreemapToggles& treemap);

}  // namespace zelvane

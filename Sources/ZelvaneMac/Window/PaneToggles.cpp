#include "ZelvaneMac/Window/PaneToggles.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/AssignIfChanged.hpp"

namespace zelvane {

PaneToggles::PaneToggles(Preferences& preferences, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      showFilterPanel_(preferences.value(PreferenceKeys::showFilterPanel)),
      showFileTypes_(preferences.value(PreferenceKeys::showFileTypes)),
      showTreemap_(preferences.value(PreferenceKeys::showTreemap)) {}

void PaneToggles::setShowFilterPanel(bool value) {
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showFilterPanel, showFilterPanel_, value))
        emit showFilterPanelChanged(showFilterPanel_);
}

void PaneToggles::setShowHeader(bool value) {
    if (assignIfChanged(showHeader_, value)) emit showHeaderChanged(showHeader_);
}

void PaneToggles::setShowFileTypes(bool value) {
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showFileTypes, showFileTypes_, value))
        emit showFileTypesChanged(showFileTypes_);
}

void PaneToggles::setShowTreemap(bool value) {
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showTreemap, showTreemap_, value))
        emit showTreemapChanged(showTreemap_);
}

void PaneToggles::setAwaitsWindowFrameRestore(bool value) {
    if (assignIfChanged(awaitsWindowFrameRestore_, value)) emit awaitsWindowFrameRestoreChanged(value);
}

}  // namespace zelvane

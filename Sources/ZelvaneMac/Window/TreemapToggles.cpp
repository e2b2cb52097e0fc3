#include "ZelvaneMac/Window/TreemapToggles.hpp"

#include "ZelvaneMac/Window/AssignIfChanged.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

TreemapToggles::TreemapToggles(Preferences& preferences, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      showTreemapAllocatedSize_(preferences.value(PreferenceKeys::showTreemapAllocatedSize)),
      showTreemapFilenames_(preferences.value(PreferenceKeys::showTreemapFilenames)),
      showTreemapFreeSpace_(preferences.value(PreferenceKeys::showTreemapFreeSpace)) {}

void TreemapToggles::setShowTreemapAllocatedSize(bool value) {
    if (!assignIfChanged(showTreemapAllocatedSize_, value)) return;
    preferences_.set(PreferenceKeys::showTreemapAllocatedSize, value);
    emit showTreemapAllocatedSizeChanged(showTreemapAllocatedSize_);
}

void TreemapToggles::setShowTreemapFilenames(bool value) {
    if (!assignIfChanged(showTreemapFilenames_, value)) return;
    preferences_.set(PreferenceKeys::showTreemapFilenames, value);
    emit showTreemapFilenamesChanged(showTreemapFilenames_);
}

void TreemapToggles::setShowTreemapFreeSpace(bool value) {
    if (!assignIfChanged(showTreemapFreeSpace_, value)) return;
    preferences_.set(PreferenceKeys::showTreemapFreeSpace, value);
    emit showTreemapFreeSpaceChanged(showTreemapFreeSpace_);
}

}  // namespace zelvane

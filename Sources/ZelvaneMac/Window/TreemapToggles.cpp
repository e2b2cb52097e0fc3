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
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showTreemapAllocatedSize, showTreemapAllocatedSize_, value))
        emit showTreemapAllocatedSizeChanged(showTreemapAllocatedSize_);
}

void TreemapToggles::setShowTreemapFilenames(bool value) {
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showTreemapFilenames, showTreemapFilenames_, value))
        emit showTreemapFilenamesChanged(showTreemapFilenames_);
}

void TreemapToggles::setShowTreemapFreeSpace(bool value) {
    if (assignAndStoreIfChanged(preferences_, PreferenceKeys::showTreemapFreeSpace, showTreemapFreeSpace_, value))
        emit showTreemapFreeSpaceChanged(showTreemapFreeSpace_);
}

}  // namespace zelvane

#include "ZelvaneMac/Window/VolumeChoice.hpp"

#include "ZelvaneMac/Window/AssignIfChanged.hpp"

namespace zelvane {

void VolumeChoice::setVolumes(const std::vector<VolumeInfo>& value) {
    if (assignIfChanged(volumes_, value)) emit volumesChanged(volumes_);
}

void VolumeChoice::setSelectedVolumeID(const std::optional<QString>& value) {
    if (assignIfChanged(selectedVolumeID_, value)) emit selectedVolumeIDChanged(selectedVolumeID_);
}

}  // namespace zelvane

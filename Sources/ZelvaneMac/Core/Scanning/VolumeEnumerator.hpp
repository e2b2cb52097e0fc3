#pragma once

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

#include "Platform/MountTable.hpp"
#include "Platform/VolumeCapacity.hpp"

namespace zelvane {

// A mounted volume a person may pick as a scan root.
struct VolumeInfo {
    QString path;  // the mount point; also the identity
    QString displayName;
    bool isBoot = false;
    bool isLocal = true;
    std::optional<int64_t> totalCapacity;
    std::optional<int64_t> availableCapacity;

    const QString& id() const { return path; }
    bool operator==(const VolumeInfo&) const = default;
};
size_t qHash(const VolumeInfo& v, size_t seed = 0);

// What the enumeration asks of the system about one mount point.
struct VolumeProbe {
    std::function<bool(const std::string& mountPoint)> isDirectory;
    std::function<std::optional<QString>(const MountEntry&)> label;  // the file system's label
    std::function<VolumeCapacity(const std::string& mountPoint)> capacity;
    static VolumeProbe system();
};

// The boot volume, then local volumes, then network volumes, each group by name (plain Unicode
// order, case-sensitive). Pseudo and system file systems are left out.
QVector<VolumeInfo> enumerateVolumes();
QVector<VolumeInfo> enumerateVolumes(const MountTable& table, const VolumeProbe& probe);

// Whether a mount is one a person would pick (not proc, sysfs, container layers, snaps, ...).
bool isUserVisibleMount(const MountEntry& e);

}  // namespace zelvane

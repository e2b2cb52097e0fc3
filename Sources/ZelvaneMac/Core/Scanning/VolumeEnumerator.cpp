#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

#include <QHash>
#include <algorithm>
#include <map>
#include <memory>
#include <string_view>

#include "Platform/FileSystemInfo.hpp"
#include "Platform/FileSystemLabels.hpp"
#include "Platform/FileSystemTypes.hpp"

namespace zelvane {

size_t qHash(const VolumeInfo& v, size_t seed) {
    QtPrivate::QHashCombine combine;
    seed = combine(seed, v.path);
    seed = combine(seed, v.displayName);
    seed = combine(seed, v.isBoot);
    seed = combine(seed, v.isLocal);
    seed = combine(seed, v.totalCapacity.has_value());
    seed = combine(seed, v.totalCapacity.value_or(0));
    seed = combine(seed, v.availableCapacity.has_value());
    seed = combine(seed, v.availableCapacity.value_or(0));
    return seed;
}

namespace {

bool under(std::string_view path, std::string_view folder) {
    return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                              path[folder.size()] == '/');
}

bool isRemovableMediaPath(std::string_view p) { return under(p, "/media") || under(p, "/run/media") || under(p, "/mnt"); }

}  // namespace

bool isUserVisibleMount(const MountEntry& e) {
    const std::string_view mp = e.mountPoint;
    const std::string_view t = e.fsType;
    if (mp == "/") return true;
    if (isPseudoFileSystem(t)) return false;
    // A tmpfs a person mounted under the media folders is real enough to scan.
    if (isSystemLayerFileSystem(t)) return t == "tmpfs" && isRemovableMediaPath(mp);
    static constexpr std::string_view kSystemFolders[] = {"/proc", "/sys", "/dev", "/run", "/snap",
                                                          "/var/lib/docker", "/var/lib/containers",
                                                          "/var/snap"};
    for (auto f : kSystemFolders)
        if (under(mp, f) && !under(mp, "/run/media")) return false;
    return true;
}

VolumeProbe VolumeProbe::system() {
    VolumeProbe p;
    p.isDirectory = [](const std::string& mp) {
        const auto st = statPath(mp);
        return st && st->isDir();
    };
    // Read once per probe, on the first label asked for.
    auto labels = std::make_shared<std::optional<std::map<std::string, std::string>>>();
    p.label = [labels](const MountEntry& e) -> std::optional<QString> {
        if (!*labels) *labels = fileSystemLabelsByDevice();
        if (e.source.empty() || e.source[0] != '/') return std::nullopt;
        const auto device = resolvedPath(e.source);
        if (!device) return std::nullopt;
        const auto it = (*labels)->find(*device);
        if (it == (*labels)->end()) return std::nullopt;
        return QString::fromUtf8(it->second);
    };
    p.capacity = volumeCapacity;
    return p;
}

QVector<VolumeInfo> enumerateVolumes(const MountTable& table, const VolumeProbe& probe) {
    // The kernel lists mounts in mount order; a later mount at the same point hides an earlier one.
    QVector<const MountEntry*> visible;
    QHash<QString, qsizetype> indexByPath;
    for (const MountEntry& e : table.entries()) {
        const QString path = QString::fromStdString(e.mountPoint);
        auto it = indexByPath.constFind(path);
        if (it != indexByPath.constEnd()) {
            visible[*it] = &e;
        } else {
            indexByPath.insert(path, visible.size());
            visible.push_back(&e);
        }
    }

    std::optional<VolumeInfo> boot;
    QVector<VolumeInfo> local, remote;
    for (const MountEntry* e : visible) {
        if (!isUserVisibleMount(*e)) continue;
        if (probe.isDirectory && !probe.isDirectory(e->mountPoint)) continue;
        VolumeInfo v;
        v.path = QString::fromStdString(e->mountPoint);
        v.isLocal = !e->isRemote;
        std::optional<QString> label = probe.label ? probe.label(*e) : std::nullopt;
        if (label && !label->isEmpty()) {
            v.displayName = *label;
        } else if (v.path == QLatin1String("/")) {
            v.displayName = v.path;
        } else {
            v.displayName = v.path.section(QLatin1Char('/'), -1);
        }
        v.isBoot = v.path == QLatin1String("/");
        if (probe.capacity) {
            const VolumeCapacity c = probe.capacity(e->mountPoint);
            v.totalCapacity = c.total;
            v.availableCapacity = c.available;
        }
        if (v.isBoot)
            boot = v;
        else if (v.isLocal)
            local.push_back(v);
        else
            remote.push_back(v);
    }
    // Plain Unicode order: scalar values after canonical composition, case-sensitive.
    auto byName = [](const VolumeInfo& a, const VolumeInfo& b) {
        return a.displayName.normalized(QString::NormalizationForm_C).toUcs4() <
               b.displayName.normalized(QString::NormalizationForm_C).toUcs4();
    };
    std::stable_sort(local.begin(), local.end(), byName);
    std::stable_sort(remote.begin(), remote.end(), byName);
    QVector<VolumeInfo> out;
    if (boot) out.push_back(*boot);
    out += local;
    out += remote;
    return out;
}

QVector<VolumeInfo> enumerateVolumes() { return enumerateVolumes(MountTable::current(), VolumeProbe::system()); }

}  // namespace zelvane

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

namespace zelvane {

// How one window chooses what to scan: the volumes the picker lists, the row chosen in it (a
// volume, a folder or one of the command rows), the folders last checked in Select Multiple and
// the folder the last open panel ended in. Main thread only.
class VolumeChoice final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    void setVolumes(const std::vector<VolumeInfo>& value);
    const std::optional<QString>& selectedVolumeID() const { return selectedVolumeID_; }
    void setSelectedVolumeID(const std::optional<QString>& value);
    const QStringList& selectMultipleCheckedPaths() const { return selectMultipleCheckedPaths_; }
    void setSelectMultipleCheckedPaths(const QStringList& value) { selectMultipleCheckedPaths_ = value; }
    // Empty until a panel was used; the next panel reads it when it opens.
    const QString& lastOpenPanelFolder() const { return lastOpenPanelFolder_; }
    void setLastOpenPanelFolder(const QString& value) { lastOpenPanelFolder_ = value; }

signals:
    void volumesChanged(const std::vector<zelvane::VolumeInfo>& value);
    void selectedVolumeIDChanged(const std::optional<QString>& value);

private:
    std::vector<VolumeInfo> volumes_;
    std::optional<QString> selectedVolumeID_;
    QStringList selectMultipleCheckedPaths_;
    QString lastOpenPanelFolder_;
};

}  // namespace zelvane

#include "ZelvaneMac/Window/VolumePicker.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

bool PickerTag::isCommand(const QString& tag) { return tag == selectFolder || tag == selectMultiple || tag == selectCSV; }

QVector<PickerRow> volumePickerRows(std::span<const VolumeInfo> volumes, const QStringList& customFolders) {
    QVector<PickerRow> rows;
    for (const VolumeInfo& v : volumes) rows.push_back({v.displayName, v.path});
    if (!customFolders.isEmpty()) {
        rows.push_back({});
        for (const QString& path : customFolders) rows.push_back({path, path});
    }
    rows.push_back({});
    rows.push_back({localized("<Select Folder...>"), PickerTag::selectFolder});
    rows.push_back({localized("<Select Multiple...>"), PickerTag::selectMultiple});
    rows.push_back({localized("<CSV file>"), PickerTag::selectCSV});
    return rows;
}

PickerChoice decidePickerChoice(const QString& tag, std::span<const VolumeInfo> volumes, const QStringList& customFolders,
                                bool autoScanAfterSelection) {
    using A = PickerChoice::Action;
    if (tag == PickerTag::selectFolder) return {A::selectFolder, {}, {}, false};
    if (tag == PickerTag::selectMultiple) return {A::selectMultiple, {}, {}, false};
    if (tag == PickerTag::selectCSV) return {A::selectCSV, {}, {}, false};
    for (const VolumeInfo& v : volumes)
        if (v.path == tag) return {A::selectRoot, v.path, v.displayName, autoScanAfterSelection};
    // A custom folder scans at once, like a folder chosen in the panel.
    if (customFolders.contains(tag)) return {A::selectRoot, tag, tag, true};
    return {};
}

PickerChoice::Action scanButtonAction(const std::optional<QString>& selectedVolumeID) {
    using A = PickerChoice::Action;
    if (selectedVolumeID == PickerTag::selectFolder) return A::selectFolder;
    if (selectedVolumeID == PickerTag::selectMultiple) return A::selectMultiple;
    if (selectedVolumeID == PickerTag::selectCSV) return A::selectCSV;
    return A::selectRoot;
}

bool isSelectionOrphaned(const std::optional<QString>& selectedVolumeID, std::span<const VolumeInfo> volumes,
                         const QStringList& customFolders) {
    if (!selectedVolumeID) return true;
    for (const VolumeInfo& v : volumes)
        if (v.path == *selectedVolumeID) return false;
    if (customFolders.contains(*selectedVolumeID)) return false;
    return !PickerTag::isCommand(*selectedVolumeID);
}

QString selectionKindMarker(const std::optional<QString>& selectedVolumeID, const QStringList& customFolders) {
    const QString id = selectedVolumeID.value_or(QString());
    if (id == PickerTag::selectFolder) return localized("<Folder>");
    if (id == PickerTag::selectMultiple) return localized("<Multiple>");
    if (id == PickerTag::selectCSV) return localized("<CSV file>");
    if (customFolders.contains(id)) return localized("<Folder>");
    return {};
}

}  // namespace zelvane

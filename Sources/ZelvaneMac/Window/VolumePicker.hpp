#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <span>

#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

namespace zelvane {

// Tags of the picker rows that are commands rather than paths.
namespace PickerTag {
inline const QString selectFolder = QStringLiteral("__select_folder__");
inline const QString selectMultiple = QStringLiteral("__select_multiple__");
inline const QString selectCSV = QStringLiteral("__select_csv__");
bool isCommand(const QString& tag);
}  // namespace PickerTag

// One row of the volume picker; a row without tag is a separator.
struct PickerRow {
    QString title;
    std::optional<QString> tag;
    bool operator==(const PickerRow&) const = default;
};

// Volumes, then (after a separator) the custom folders, then a separator and the three command
// rows. The picker rebuilds its menu only when this list differs from the last one.
QVector<PickerRow> volumePickerRows(std::span<const VolumeInfo> volumes, const QStringList& customFolders);

// What a picked row asks the window to do.
struct PickerChoice {
    enum class Action {
        none,            // unknown tag (a volume unmounted since the menu was built): ignored
        selectFolder,    // open the folder panel
        selectMultiple,  // stop live monitoring, show the multi-root sheet
        selectCSV,       // open the CSV panel
        selectRoot,      // record the tag, select the root, scan when `scan`
    };
    Action action = Action::none;
    QString path;
    QString label;
    bool scan = false;
    bool operator==(const PickerChoice&) const = default;
};
PickerChoice decidePickerChoice(const QString& tag, std::span<const VolumeInfo> volumes, const QStringList& customFolders,
                                bool autoScanAfterSelection);

// The Scan button without a running scan: a command row chosen before reopens its panel or
// sheet; anything else scans.
PickerChoice::Action scanButtonAction(const std::optional<QString>& selectedVolumeID);

// The selection no longer names anything the picker can show.
bool isSelectionOrphaned(const std::optional<QString>& selectedVolumeID, std::span<const VolumeInfo> volumes,
                         const QStringList& customFolders);

// "<Folder>", "<Multiple>", "<CSV file>" (translated), or "" for a volume.
QString selectionKindMarker(const std::optional<QString>& selectedVolumeID, const QStringList& customFolders);

}  // namespace zelvane

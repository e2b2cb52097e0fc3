#include "ZelvaneMac/Window/WindowStartup.hpp"

#include <QSet>

#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {

WindowStartupHooks systemWindowStartupHooks() {
    WindowStartupHooks hooks;
    hooks.hasFullDiskAccess = [] { return FullDiskAccessChecker::hasFullDiskAccess(); };
    hooks.enumerateVolumes = [] {
        const QVector<VolumeInfo> list = enumerateVolumes();
        return std::vector<VolumeInfo>(list.begin(), list.end());
    };
    return hooks;
}

WindowStartup::WindowStartup(const Parts& parts, WindowStartupHooks hooks, QObject* parent)
    : QObject(parent), parts_(parts), hooks_(std::move(hooks)) {}

void WindowStartup::runAppearance() {
    if (hasRun_) return;
    hasRun_ = true;
    Preferences& prefs = parts_.preferences;
    const CLIAutomation::Options& cli = parts_.cliAutomationOptions;
    const bool exportMode = cli.isExportMode();

    if (exportMode && hooks_.hideAllWindows) hooks_.hideAllWindows();
    if (hooks_.restoreStoredTab) hooks_.restoreStoredTab();
    if (hooks_.checkForUpdates) hooks_.checkForUpdates();

    const bool access = hooks_.hasFullDiskAccess ? hooks_.hasFullDiskAccess() : true;
    prefs.set(PreferenceKeys::hasFullDiskAccessCached, access);
    if (!access && !prefs.value(PreferenceKeys::suppressFullDiskAccessPrompt)) parts_.prompts.setShowFullDiskAccessAlert(true);
    if (hooks_.shouldOfferPortableMode && hooks_.shouldOfferPortableMode()) parts_.prompts.setShowPreparePortableModePrompt(true);
    // The move offer only when neither of the others is up.
    if (!parts_.prompts.showFullDiskAccessAlert() && !parts_.prompts.showPreparePortableModePrompt() &&
        !prefs.value(PreferenceKeys::suppressMoveToApplicationsPrompt) && hooks_.shouldOfferMoveToApplications &&
        hooks_.shouldOfferMoveToApplications())
        parts_.prompts.setShowMoveToApplicationsPrompt(true);

    if (!exportMode) {
        const auto text = [](const std::optional<std::string>& s) { return QString::fromStdString(s.value_or(std::string())); };
        if (cli.filter) {
            parts_.panes.setShowFilterPanel(true);
            prefs.set(PreferenceKeys::includeFilterText, text(cli.filter));
            prefs.set(PreferenceKeys::excludeFilterText, text(cli.filterExclude));
        } else if (cli.filterExclude) {
            parts_.panes.setShowFilterPanel(true);
            prefs.set(PreferenceKeys::includeFilterText, QString());
            prefs.set(PreferenceKeys::excludeFilterText, text(cli.filterExclude));
        }
        if (cli.filterFullPathWasSet) {
            prefs.set(PreferenceKeys::filterMatchEntirePath, cli.filterFullPath);
            prefs.set(PreferenceKeys::fileMatchEntirePath, cli.filterFullPath);
        }
    }
    if (cli.exportFoldersWasSet) prefs.set(PreferenceKeys::csvExportFolders, cli.exportFolders);
    if (cli.exportFilesWasSet) prefs.set(PreferenceKeys::csvExportFiles, cli.exportFiles);
    if (cli.exportMFTRecNoWasSet) prefs.set(PreferenceKeys::csvExportFileID, cli.exportMFTRecNo);
    if (cli.exportAllDatesWasSet) prefs.set(PreferenceKeys::csvExportDates, cli.exportAllDates);
    if (cli.exportAllSizesWasSet) prefs.set(PreferenceKeys::csvExportFolderSizes, cli.exportAllSizes);
    if (cli.exportSplitFilenameWasSet) prefs.set(PreferenceKeys::csvSplitFilename, cli.exportSplitFilename);
    if (cli.exportDriveCapacityWasSet) prefs.set(PreferenceKeys::csvExportDriveCapacity, cli.exportDriveCapacity);
    if (cli.exportPercentOfParentWasSet) prefs.set(PreferenceKeys::csvExportPercentOfParent, cli.exportPercentOfParent);
    if (cli.exportMaxDepthWasSet) prefs.set(PreferenceKeys::csvMaxDepth, cli.exportMaxDepth);

    if (hooks_.enumerateVolumes) parts_.volumeChoice.setVolumes(hooks_.enumerateVolumes());

    QStringList folders;
    for (const std::string& folder : hooks_.commandLine.folders) folders << qStringFromPathBytes(folder);
    ScanViewModel& model = parts_.viewModel;
    if (const auto& csv = hooks_.commandLine.csvFile) {
        parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectCSV);
        model.startCSVImport(qStringFromPathBytes(*csv), prefs.value(PreferenceKeys::tweakShowMaxModifiedDate));
        return;
    }
    if (folders.isEmpty()) {
        if (parts_.volumeChoice.volumes().empty()) return;
        const VolumeInfo& first = parts_.volumeChoice.volumes().front();
        parts_.volumeChoice.setSelectedVolumeID(first.path);
        model.selectRoot(first.path, first.displayName);
        return;
    }
    if (folders.size() == 1) {
        parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectFolder);
        model.selectRoot(folders.front(), folders.front());
    } else {
        parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectMultiple);
        model.selectPaths(folders);
    }
    parts_.scans.startScan();
}

void WindowStartup::handleApplicationActivated() {
    if (hooks_.hasFullDiskAccess)
        parts_.preferences.set(PreferenceKeys::hasFullDiskAccessCached, hooks_.hasFullDiskAccess());
}

void WindowStartup::handleVolumesChanged() {
    if (!hooks_.enumerateVolumes) return;
    QSet<QString> before;
    for (const VolumeInfo& v : parts_.volumeChoice.volumes()) before.insert(v.path);
    parts_.volumeChoice.setVolumes(hooks_.enumerateVolumes());
    const QStringList custom = parts_.preferences.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON);
    if (!isSelectionOrphaned(parts_.volumeChoice.selectedVolumeID(), parts_.volumeChoice.volumes(), custom)) return;
    for (const VolumeInfo& v : parts_.volumeChoice.volumes()) {
        if (before.contains(v.path)) continue;
        parts_.volumeChoice.setSelectedVolumeID(v.path);
        parts_.viewModel.selectRoot(v.path, v.displayName);
        return;
    }
}

}  // namespace zelvane

#include "ZelvaneMac/Widgets/MainWindow/Sheets/ScanSheets.hpp"

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Common/OpenPanels.hpp"
#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

void bindScanSheets(WindowSheets& sheets, VolumeChoice& volumeChoice, Preferences& preferences, ScanController& scans,
                    const ScanViewModel& viewModel, std::function<bool()> isPortable) {
    VolumeChoice* choice = &volumeChoice;
    Preferences* prefs = &preferences;
    ScanController* s = &scans;
    const ScanViewModel* model = &viewModel;
    sheets.bindSheet(
        &WindowPrompts::showSelectMultipleSheet, &WindowPrompts::setShowSelectMultipleSheet,
        &WindowPrompts::showSelectMultipleSheetChanged,
        [choice, prefs](QWidget* window) -> QDialog* {
            auto* dialog = new SelectMultipleDialog(choice->volumes(), choice->selectMultipleCheckedPaths(), *prefs, window);
            // "Add Folder…" starts where the window's last open panel ended, and ends there.
            dialog->setFolderChooser([choice](QWidget* owner) {
                const QString path = chooseFolderIn(owner, QString(), openPanelStartFolder(*choice));
                rememberOpenPanelChoice(*choice, path);
                return path;
            });
            return dialog;
        },
        [s](QDialog& dialog) {
            s->finishSelectMultiple(static_cast<SelectMultipleDialog&>(dialog).confirmedPaths());
        },
        [s](QDialog&) { s->resumeLiveMonitoringForCurrentRoots(); });

    sheets.bindAskedSheet(AskedSheet::accessDeniedFolders, [model](QWidget* window) -> QDialog* {
        return new AccessDeniedFoldersDialog(model->lastScanAccessDeniedPaths(), window);
    });

    const auto answered = [prefs](QDialog& dialog) {
        if (static_cast<FullDiskAccessPromptDialog&>(dialog).answer() == FullDiskAccessPromptDialog::Answer::dontAskAgain)
            prefs->set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
    };
    sheets.bindSheet(
        &WindowPrompts::showFullDiskAccessAlert, &WindowPrompts::setShowFullDiskAccessAlert,
        &WindowPrompts::showFullDiskAccessAlertChanged,
        [isPortable](QWidget* window) -> QDialog* { return new FullDiskAccessPromptDialog(isPortable && isPortable(), window); },
        answered, answered);
}

}  // namespace zelvane

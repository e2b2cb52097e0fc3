#include "ZelvaneMac/Widgets/MainWindow/ScanSheets.hpp"

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Common/OpenPanels.hpp"
#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowSheets.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/PanelFolders.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

void bindScanSheets(WindowSheets& sheets, ContentViewState& state, std::function<bool()> isPortable) {
    ContentViewState* s = &state;
    sheets.bindSheet(
        &WindowPrompts::showSelectMultipleSheet, &WindowPrompts::setShowSelectMultipleSheet,
        &WindowPrompts::showSelectMultipleSheetChanged,
        [s](QWidget* window) -> QDialog* {
            auto* dialog = new SelectMultipleDialog(s->volumes(), s->selectMultipleCheckedPaths(), s->preferences(), window);
            // "Add Folder…" starts where the window's last open panel ended, and ends there.
            dialog->setFolderChooser([s](QWidget* owner) {
                const QString path = chooseFolderIn(owner, QString(), openPanelStartFolder(*s));
                rememberOpenPanelChoice(*s, path);
                return path;
            });
            return dialog;
        },
        [s](QDialog& dialog) {
            s->scanControl().finishSelectMultiple(static_cast<SelectMultipleDialog&>(dialog).confirmedPaths());
        },
        [s](QDialog&) { s->scanControl().resumeLiveMonitoringForCurrentRoots(); });

    sheets.bindSheet(&WindowPrompts::showAccessDeniedFoldersSheet, &WindowPrompts::setShowAccessDeniedFoldersSheet,
                     &WindowPrompts::showAccessDeniedFoldersSheetChanged, [s](QWidget* window) -> QDialog* {
                         return new AccessDeniedFoldersDialog(s->viewModel().lastScanAccessDeniedPaths(), window);
                     });

    const auto answered = [s](QDialog& dialog) {
        if (static_cast<FullDiskAccessPromptDialog&>(dialog).answer() == FullDiskAccessPromptDialog::Answer::dontAskAgain)
            s->preferences().set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
    };
    sheets.bindSheet(
        &WindowPrompts::showFullDiskAccessAlert, &WindowPrompts::setShowFullDiskAccessAlert,
        &WindowPrompts::showFullDiskAccessAlertChanged,
        [isPortable](QWidget* window) -> QDialog* { return new FullDiskAccessPromptDialog(isPortable && isPortable(), window); },
        answered, answered);
}

}  // namespace zelvane

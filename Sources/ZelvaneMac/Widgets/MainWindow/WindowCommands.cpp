#include "ZelvaneMac/Widgets/MainWindow/WindowCommands.hpp"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>

#include <memory>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Services/MoveToApplications.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/TweaksSheet.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/Exports/WindowImageExport.hpp"
#include "ZelvaneMac/Window/TweaksSettings.hpp"

namespace zelvane {

void performCSVExport(ContentViewState& state, QWidget* window) {
    const CSVExportProposal proposal = proposeCSVExport(state, QDateTime::currentDateTime());
    ExportSourceSelection selection(proposal.source, proposal.hasSelection, proposal.format);
    const auto path = runCSVExportSaveDialog(window, state.preferences(), selection, proposal.folder, proposal.fileName);
    if (path) completeCSVExport(state, selection, *path);
}

ContextMenuCommands contextMenuCommands(ContentViewState& state, QWidget* view) {
    return {[&state, view] { performCSVExport(state, view->window()); }, [&state] { zoomTreemap(state); },
            [&state] { zoomOut(state, state.scanControl().effectiveRoots()); }};
}

void performExportFileTypesToCSV(ContentViewState& state, QWidget* window) {
    QFileDialog dialog(window, localized("Export File Types to CSV File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(shownNameFilters(localized("Comma Separated Values (*.csv)")));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    const QString folder = exportStartFolder(state.preferences());
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(proposedFileTypesName(QDateTime::currentDateTime()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    completeFileTypesExport(state, dialog.selectedFiles().first());
}

void performExportTreemapImage(ContentViewState& state, QWidget* window) {
    if (!hasTreemapContent(state)) return;
    TreemapImageExportSelection selection(state.treemapToggles().showTreemapFreeSpace());
    const auto choice = runTreemapImageSaveDialog(window, state.preferences(), selection,
                                                  exportStartFolder(state.preferences()),
                                                  proposedTreemapImageName(QDateTime::currentDateTime()));
    if (!choice) return;
    // The picture is made in the background; the busy cursor says so until the file is written.
    auto busy = std::make_shared<ScopedBusyCursor>();
    completeTreemapImageExport(state, selection.showFreeSpace(), choice->path, choice->size,
                               [busy]() mutable { busy.reset(); });
}

void performCopyFileAndSizeInfo(ContentViewState& state) {
    const QString text = clipboardSummaryText(state);
    if (text.isEmpty()) return;
    if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

void bindServiceSheets(WindowSheets& sheets, ContentViewState& state) {
    ContentViewState* s = &state;
    sheets.bindSheet(
        &WindowPrompts::showTweaksSheet, &WindowPrompts::setShowTweaksSheet, &WindowPrompts::showTweaksSheetChanged,
        [s](QWidget* window) -> QDialog* { return new TweaksSheet(loadTweaks(s->preferences()), window); },
        [s](QDialog& dialog) { storeTweaks(s->preferences(), static_cast<TweaksSheet&>(dialog).settings()); });

    sheets.bindFlagAlert(&WindowPrompts::showFullDiskAccessAlreadyGrantedAlert,
                         &WindowPrompts::setShowFullDiskAccessAlreadyGrantedAlert,
                         &WindowPrompts::showFullDiskAccessAlreadyGrantedAlertChanged,
                         localized("Full Disk Access Already Granted"),
                         [] { return localized("ZelvaneMac already has Full Disk Access."); },
                         {AlertButton{localized("OK"), QMessageBox::RejectRole, {}}});

    sheets.bindFlagAlert(
        &WindowPrompts::showPreparePortableModePrompt, &WindowPrompts::setShowPreparePortableModePrompt,
        &WindowPrompts::showPreparePortableModePromptChanged, localized("Prepare This Copy for Portable Use?"),
        [] {
            return localized("ZelvaneMac is running from a removable drive. Preparing this copy keeps its settings on "
                             "the drive itself, so they travel with it.\n\nYou can also do this later with \"Prepare "
                             "This Copy for Portable Use\u2026\" in the File menu.");
        },
        {AlertButton{localized("Not Now"), QMessageBox::RejectRole,
                     [s] {
                         if (PortableMode* mode = s->appServices().portableMode) mode->setWasDeclinedThisLaunch(true);
                     }},
         AlertButton{localized("Prepare"), QMessageBox::AcceptRole, [s] {
                         PortableMode* mode = s->appServices().portableMode;
                         if (mode && mode->prepare()) mode->syncPreferencesBackToPortableDriveIfActive(s->preferences());
                     }}});

    sheets.bindFlagAlert(
        &WindowPrompts::showMoveToApplicationsPrompt, &WindowPrompts::setShowMoveToApplicationsPrompt,
        &WindowPrompts::showMoveToApplicationsPromptChanged, localized("Move to Applications Folder?"),
        [] {
            return localized("ZelvaneMac isn't running from your Applications folder. Moving it there makes it easier "
                             "to find, and keeps future manual updates landing in the same predictable place instead of "
                             "leaving old copies scattered around.");
        },
        // Return must not move the program: "Not Now" is the default, not the move.
        {AlertButton{localized("Not Now"), QMessageBox::RejectRole, {}, true},
         AlertButton{localized("Don't Ask Again"), QMessageBox::DestructiveRole,
                     [s] { s->preferences().set(PreferenceKeys::suppressMoveToApplicationsPrompt, true); }},
         AlertButton{localized("Move to Applications"), QMessageBox::AcceptRole, [s] {
                         MoveToApplicationsMover::moveAndRelaunch(MoveToApplicationsMover::currentEnvironment(s->preferences()));
                     }}});
}

}  // namespace zelvane

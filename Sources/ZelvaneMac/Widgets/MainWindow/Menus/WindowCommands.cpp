#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPointer>

#include <memory>

#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Support/FreedHeap.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Services/MoveToApplications.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/TweaksSheet.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/Exports/WindowImageExport.hpp"
#include "ZelvaneMac/Window/TweaksSettings.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"

namespace zelvane {

void performCSVExport(const ExportContext& context, QWidget* window) {
    const CSVExportProposal proposal = proposeCSVExport(context, QDateTime::currentDateTime());
    ExportSourceSelection selection(proposal.source, proposal.hasSelection, proposal.format);
    const auto path = runCSVExportSaveDialog(window, context.preferences, selection, proposal.folder, proposal.fileName);
    if (path) completeCSVExport(context, selection, *path);
}

ContextMenuCommands contextMenuCommands(const ExportContext& context, QWidget* view) {
    const auto window = [view] { return view ? view->window() : nullptr; };
    return {[context, window] { performCSVExport(context, window()); },
            [context] { zoomTreemap(context.selections, context.treemapZoom); },
            [context] { zoomOut(context.treemapZoom, context.scans.effectiveRoots()); },
            [context, window] { performExportFileTypesToCSV(context, window()); }};
}

void performExportFileTypesToCSV(const ExportContext& context, QWidget* window) {
    QFileDialog dialog(window, localized("Export File Types to CSV File"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(shownNameFilters(localized("Comma Separated Values (*.csv)")));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    const QString folder = exportStartFolder(context.preferences);
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(proposedFileTypesName(QDateTime::currentDateTime()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    completeFileTypesExport(context, dialog.selectedFiles().first());
}

void performExportTreemapImage(const ExportContext& context, QWidget* window) {
    if (!hasTreemapContent(context.scans)) return;
    TreemapImageExportSelection selection(context.treemapToggles.showTreemapFreeSpace());
    const auto choice = runTreemapImageSaveDialog(window, context.preferences, selection,
                                                  exportStartFolder(context.preferences),
                                                  proposedTreemapImageName(QDateTime::currentDateTime()));
    if (!choice) return;
    // The picture is made in the background; the busy cursor says so until the file is written.
    auto busy = std::make_shared<ScopedBusyCursor>();
    completeTreemapImageExport(context, selection.showFreeSpace(), choice->path, choice->size,
                               [busy]() mutable { busy.reset(); });
}

void performCopyFileAndSizeInfo(const ExportContext& context, QWidget* window, QObject* owner, JobGeneration& copies,
                                qsizetype limit) {
    const auto put = [window = QPointer<QWidget>(window), limit](const QByteArray& text) {
        if (text.isEmpty()) return;
        if (text.size() > limit) {
            ActionAlertPrompter(window).ask(alerts::clipboardLimitAlert(limit));
            return;
        }
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setMimeData(plainTextMimeData(text).release());
    };
    ClipboardSummaryInput input = clipboardSummaryInput(context);
    if (clipboardSummaryRowBound(input) <= kRowsListedInPlace) {
        copies.supersede();
        put(clipboardSummaryText(std::move(input)).toUtf8());
        return;
    }
    // A long listing is gathered, put in order and written in the background, the trees held and the busy
    // cursor shown meanwhile; the window goes on, and a newer copy or selection drops it.
    auto busy = std::make_shared<ScopedBusyCursor>();
    runInBackground(
        owner, copies, [input = std::move(input)]() mutable { return clipboardSummaryText(std::move(input)).toUtf8(); },
        [busy, put](const QByteArray& text) mutable {
            busy.reset();
            put(text);
            // What the job made the text with, and the clipboard's content before, go back.
            trimFreedHeapInBackground();
        },
        [busy]() mutable { busy.reset(); });
}

void bindServiceSheets(WindowSheets& sheets, Preferences& preferences, const WindowServices& services) {
    Preferences* s = &preferences;
    const WindowServices* app = &services;
    sheets.bindAskedSheet(
        AskedSheet::tweaks, [s](QWidget* window) -> QDialog* { return new TweaksSheet(loadTweaks(*s), window); },
        [s](QDialog& dialog) { storeTweaks(*s, static_cast<TweaksSheet&>(dialog).settings()); });

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
                     [app] {
                         if (PortableMode* mode = app->portableMode()) mode->setWasDeclinedThisLaunch(true);
                     }},
         AlertButton{localized("Prepare"), QMessageBox::AcceptRole, [s, app] {
                         PortableMode* mode = app->portableMode();
                         if (mode && mode->prepare()) mode->syncPreferencesBackToPortableDriveIfActive(*s);
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
                     [s] { s->set(PreferenceKeys::suppressMoveToApplicationsPrompt, true); }},
         AlertButton{localized("Move to Applications"), QMessageBox::AcceptRole, [s] {
                         MoveToApplicationsMover::moveAndRelaunch(MoveToApplicationsMover::currentEnvironment(*s));
                     }}});
}

}  // namespace zelvane

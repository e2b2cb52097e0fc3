#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"

#include <QMenu>
#include <QMenuBar>

#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Support/NodePaths.hpp"
#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuItems.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/OptionsMenu.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"

namespace zelvane {

MenuBarSettings MenuBarSettings::of(const Preferences& p) {
    namespace K = PreferenceKeys;
    MenuBarSettings s;
    s.sizes = SizeTextFormat::of(p);
    s.checkForUpdatesEnabled = p.value(K::checkForUpdatesEnabled);
    s.checkForUpdatesLockedByAdmin = p.value(K::checkForUpdatesLockedByAdmin);
    s.autoScanAfterSelection = p.value(K::autoScanAfterSelection);
    s.languageOverride = p.value(K::appLanguageOverride);
    s.hasFullDiskAccessCached = p.value(K::hasFullDiskAccessCached);
    return s;
}

MenuBar::MenuBar(MainWindow& window)
    : QObject(&window),
      window_(window),
      items_(new MenuItems(this)),
      settings_(window.state().preferences()),
      fileActions_(new FileActionMenu(&window, &window.state().liveMonitor())),
      summaryCopies_(std::make_unique<JobGeneration>()),
      summaryLimit_(kClipboardBytesLimit),
      firstSearches_(std::make_unique<JobGeneration>()) {
    ContentViewState& state = window.state();
    connect(items_, &MenuItems::commandTriggered, this, &MenuBar::handleMenuAction);
    // A copy still being made gives way to the selection that follows it.
    for (NodeSelection* selection : {&state.selections().tree, &state.selections().file})
        connect(selection, &NodeSelection::changed, this, [this] {
            fileActions_->actions().dropUnfinishedCopy();
            summaryCopies_->supersede();
            firstSearches_->supersede();
        });
    buildFile();
    options_ = buildOptionsMenu(*window.menuBar(), *items_, state.preferences(), state.panes(), state.treemapToggles());
    addApplyFiltersKey();

    connect(file_, &QMenu::aboutToShow, this, &MenuBar::refresh);
    connect(options_, &QMenu::aboutToShow, this, &MenuBar::refresh);
    connect(&state.scanControl(), &ScanController::effectiveRootsChanged, this, &MenuBar::refresh);
    connect(&settings_, &SettingsWatch::changed, this, &MenuBar::refresh);
    PaneToggles& panes = state.panes();
    for (auto changed : {&PaneToggles::showFilterPanelChanged, &PaneToggles::showHeaderChanged, &PaneToggles::showFileTypesChanged,
                         &PaneToggles::showTreemapChanged})
        connect(&panes, changed, this, &MenuBar::refresh);
    TreemapToggles& treemap = state.treemapToggles();
    for (auto changed : {&TreemapToggles::showTreemapAllocatedSizeChanged, &TreemapToggles::showTreemapFilenamesChanged,
                         &TreemapToggles::showTreemapFreeSpaceChanged})
        connect(&treemap, changed, this, &MenuBar::refresh);
    refresh();
}

MenuBar::~MenuBar() = default;

void MenuBar::buildFile() {
    ContentViewState& state = window_.state();
    file_ = window_.menuBar()->addMenu(localized("File"));
    using A = ZelvaneMenuAction;
    const auto add = [this](const char* title, A a, const QKeySequence& key = {}) { items_->command(file_, title, a, key); };
    add(textKey("Scan"), A::scan, QKeySequence(Qt::CTRL | Qt::Key_R));
    add(textKey("Select Folder\u2026"), A::selectFolder, QKeySequence(Qt::Key_F3));
    add(textKey("Select Multiple\u2026"), A::selectMultiple, QKeySequence(Qt::ALT | Qt::Key_F3));
    add(textKey("Select CSV File\u2026"), A::selectCSVFile, QKeySequence(Qt::SHIFT | Qt::Key_F3));
    QAction* newWindow = file_->addAction(localized("New Window"));
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newWindow, &QAction::triggered, &window_, [&window = window_] { emit window.newWindowRequested(); });
    file_->addSeparator();
    add(textKey("Reset Tree Expansion"), A::resetTreeExpansion, QKeySequence(Qt::Key_F4));
    add(textKey("Expand All"), A::expandAll, QKeySequence(Qt::SHIFT | Qt::Key_F4));
    add(textKey("Select Parent"), A::selectParent, QKeySequence(Qt::SHIFT | Qt::Key_F7));
    add(textKey("Reselect Child"), A::reselectChild, QKeySequence(Qt::Key_F7));
    add(textKey("Zoom Treemap"), A::zoomTreemap, QKeySequence(Qt::Key_F10));
    add(textKey("Unzoom Treemap"), A::unzoomTreemap, QKeySequence(Qt::SHIFT | Qt::Key_F11));
    add(textKey("Save Treemap Image as .png File\u2026"), A::exportTreemapImage, QKeySequence(Qt::CTRL | Qt::Key_S));
    file_->addSeparator();
    add(textKey("Show in File Manager"), A::showInFinder, QKeySequence(Qt::CTRL | Qt::Key_E));
    add(textKey("New Terminal at Folder"), A::newTerminal, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    add(textKey("Copy Path"), A::copyPath, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    file_->addSeparator();
    add(textKey("Copy"), A::copy, QKeySequence(Qt::CTRL | Qt::Key_C));
    add(textKey("Move to Trash"), A::moveToTrash, QKeySequence(Qt::Key_Delete));
    add(textKey("Delete Immediately"), A::deleteImmediately, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    add(textKey("Rename"), A::rename, QKeySequence(Qt::Key_F2));
    file_->addSeparator();
    add(textKey("Export to CSV File\u2026"), A::exportToCSV, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_E));
    add(textKey("Copy File and Size Info to Clipboard"), A::copyFileAndSizeInfo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    add(textKey("Export File Types to CSV File\u2026"), A::exportFileTypesToCSV, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    file_->addSeparator();
    add(textKey("Check for Updates Now"), A::checkForUpdatesNow);
    add(textKey("Reset Configuration to Default Values"), A::resetConfiguration);
    add(textKey("Grant Full Disk Access to ZelvaneMac\u2026"), A::grantFullDiskAccess);
    add(textKey("Prepare This Copy for Portable Use\u2026"), A::preparePortableMode);
    add(textKey("Reset All Permissions (Full Disk Access, etc.)\u2026"), A::resetPermissions);
    add(textKey("Restart as Administrator\u2026"), A::restartAsAdministrator);
    add(textKey("Restart without Administrator"), A::restartWithoutAdministrator);
    file_->addSeparator();
    // What every program of the desktop offers: closing this window (the last one closed ends the
    // program), and quitting, which closes every window as the user would one by one.
    QAction* closeWindow = file_->addAction(localized("Close Window"));
    closeWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    closeWindow->setShortcutContext(Qt::WindowShortcut);
    connect(closeWindow, &QAction::triggered, &window_, &QWidget::close);
    QAction* quit = file_->addAction(localized("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, &window_, [&window = window_] { emit window.quitRequested(); });
    // Both stay in reach while a file action's panel has the keyboard.
    for (QAction* kept : {closeWindow, quit}) kept->setProperty(ActionAlertPrompter::kReachableFromPanels, true);

    // Commands that need a scanned result, and the items that come and go.
    items_->addRefresher([this, &state] {
        const bool content = !state.scanControl().effectiveRoots().empty();
        for (A a : {A::exportTreemapImage, A::exportToCSV, A::copyFileAndSizeInfo, A::exportFileTypesToCSV})
            action(a)->setEnabled(content);
        const Preferences& prefs = state.preferences();
        action(A::checkForUpdatesNow)
            ->setEnabled(!(prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin) &&
                           !prefs.value(PreferenceKeys::checkForUpdatesEnabled)));
        action(A::grantFullDiskAccess)->setVisible(!prefs.value(PreferenceKeys::hasFullDiskAccessCached));
        const PortableMode* mode = state.services().portableMode();
        action(A::preparePortableMode)
            ->setVisible(mode && !mode->isActive() && PortableModeFacts::isRunningFromNonInternalVolume());
        const bool elevated = isRunningElevated();
        action(A::restartAsAdministrator)->setVisible(!elevated);
        action(A::restartWithoutAdministrator)->setVisible(elevated);
    });
}

void MenuBar::addApplyFiltersKey() {
    // Applying the filters has no menu item. Its key works anywhere in this window, in a filter
    // field too (a text field has no use for it); Control alongside Shift does not change it.
    auto* applyFilters = new QAction(&window_);
    applyFilters->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)});
    applyFilters->setShortcutContext(Qt::WindowShortcut);
    window_.addAction(applyFilters);
    connect(applyFilters, &QAction::triggered, this, [&state = window_.state()] { state.scanControl().applyFilters(); });
}

QAction* MenuBar::action(ZelvaneMenuAction a) const { return items_->action(a); }

void MenuBar::refresh() { items_->refresh(); }

void MenuBar::withFirstSelected(std::function<void(FileNode*)> then) {
    ContentViewState& state = window_.state();
    const NodeSet& shown = state.selections().shown();
    firstSearches_->supersede();
    if (size_t(shown.size()) <= kFirstFoundInPlace) {
        then(firstByPath(shown));
        return;
    }
    // Making the path of each of millions of nodes takes a second or more: on the thread pool,
    // the window's trees held; a newer selection drops it.
    runInBackground(
        this, *firstSearches_,
        [shown, trees = state.scanControl().selectionHeld()](const CancelFlag& cancel) { return firstByPath(shown, &cancel); },
        [then = std::move(then)](FileNode* first) { then(first); });
}

void MenuBar::handleMenuAction(ZelvaneMenuAction action) {
    ContentViewState& state = window_.state();
    ScanController& scans = state.scanControl();
    TopBar* topBar = window_.contentView() ? window_.contentView()->topBar() : nullptr;
    using A = ZelvaneMenuAction;
    // File actions work on the selection as it is now. A selection of millions is listed, put
    // in order and resolved on the thread pool (the set is shared, not copied; listing it takes
    // seconds), the window's trees held meanwhile.
    const auto fileAction = [&](FileActionController::ListedAction listed) {
        const NodeSet& shown = state.selections().shown();
        FileActionController::Listing listing;
        listing.count = size_t(shown.size());
        listing.gather = [shown](const CancelFlag& cancel) { return listedWithoutGroupRows(shown, &cancel); };
        listing.inPathOrder = true;
        listing.trees = scans.selectionHeld();
        fileActions_->actions().actOnListing(listed, std::move(listing));
    };
    using L = FileActionController::ListedAction;
    switch (action) {
    case A::scan:
        // Rescans what was chosen, a folder or several included (the Scan button opens their
        // panel again instead), and starts a scan under way over; not while a name is edited,
        // as for the button.
        if (!state.commands().isRenamingInline()) scans.startScan();
        break;
    case A::selectFolder:
        if (topBar) topBar->selectFolder();
        break;
    case A::selectMultiple: scans.requestSelectMultiple(); break;
    case A::selectCSVFile:
        if (topBar) topBar->selectCSVFile();
        break;
    case A::resetTreeExpansion: resetTreeExpansion(state.treeSelection(), state.treemapZoom(), state.commands()); break;
    case A::expandAll: state.commands().expandAll(); break;
    case A::selectParent:
        if (!state.selections().onFileView()) selectParent(state.selections());
        else withFirstSelected([selections = state.selections()](FileNode* first) { selectParentOf(selections, first); });
        break;
    case A::reselectChild: reselectChild(state.selections()); break;
    case A::rename: requestRename(state.selections(), state.preferences(), state.commands()); break;
    case A::zoomTreemap:
        withFirstSelected([&zoom = state.treemapZoom()](FileNode* first) { zoomTreemapTo(zoom, first); });
        break;
    case A::unzoomTreemap: zoomOut(state.treemapZoom(), scans.effectiveRoots()); break;
    case A::showInFinder: fileAction(L::showInFileManager); break;
    case A::newTerminal: fileAction(L::newTerminal); break;
    case A::copyPath: fileAction(L::copyPath); break;
    case A::copy: fileAction(L::copy); break;
    case A::moveToTrash: fileAction(L::moveToTrash); break;
    case A::deleteImmediately: fileAction(L::deleteImmediately); break;
    case A::resetConfiguration: window_.sheets().present(AskedSheet::resetSettings); break;
    case A::grantFullDiskAccess:
        presentFullDiskAccessPrompt(state.preferences(), state.prompts(), FullDiskAccessChecker::hasFullDiskAccess());
        break;
    case A::resetPermissions: window_.sheets().present(AskedSheet::resetPermissions); break;
    case A::restartAsAdministrator: {
        const QRect frame = window_.frameGeometry();
        performRestartAsAdministrator(state.prompts(), state.preferences(), frame);
        break;
    }
    case A::restartWithoutAdministrator: performRestartWithoutAdministrator(state.prompts(), state.preferences()); break;
    case A::exportToCSV: performCSVExport(state.exportContext(), &window_); break;
    case A::exportFileTypesToCSV: performExportFileTypesToCSV(state.exportContext(), &window_); break;
    case A::checkForUpdatesNow:
        if (UpdateChecker* checker = state.services().updateChecker()) checker->checkForUpdates(true, true);
        break;
    case A::exportTreemapImage: performExportTreemapImage(state.exportContext(), &window_); break;
    case A::copyFileAndSizeInfo: performCopyFileAndSizeInfo(state.exportContext(), &window_, this, *summaryCopies_, summaryLimit_); break;
    case A::colors: window_.sheets().present(AskedSheet::colors); break;
    case A::tweaks: window_.sheets().present(AskedSheet::tweaks); break;
    case A::preparePortableMode:
        if (PortableMode* mode = state.services().portableMode(); mode && mode->prepare())
            mode->syncPreferencesBackToPortableDriveIfActive(state.preferences());
        break;
    }
}

}  // namespace zelvane

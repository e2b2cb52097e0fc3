#include "ZelvaneMac/Widgets/MainWindow/MenuBar.hpp"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowCommands.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {

MenuBar::MenuBar(MainWindow& window) : QObject(&window), window_(window) {
    ContentViewState& state = window.state();
    fileActions_ = new FileActionMenu(&window);
    QMenuBar* bar = window.menuBar();
    file_ = bar->addMenu(localized("File"));
    using A = ZelvaneMenuAction;
    add(file_, textKey("Scan"), A::scan, QKeySequence(Qt::CTRL | Qt::Key_R));
    add(file_, textKey("Select Folder\u2026"), A::selectFolder, QKeySequence(Qt::Key_F3));
    add(file_, textKey("Select Multiple\u2026"), A::selectMultiple, QKeySequence(Qt::ALT | Qt::Key_F3));
    add(file_, textKey("Select CSV File\u2026"), A::selectCSVFile, QKeySequence(Qt::SHIFT | Qt::Key_F3));
    QAction* newWindow = file_->addAction(localized("New Window"));
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newWindow, &QAction::triggered, &window, [&window] { emit window.newWindowRequested(); });
    file_->addSeparator();
    add(file_, textKey("Reset Tree Expansion"), A::resetTreeExpansion, QKeySequence(Qt::Key_F4));
    add(file_, textKey("Expand All"), A::expandAll, QKeySequence(Qt::SHIFT | Qt::Key_F4));
    add(file_, textKey("Select Parent"), A::selectParent, QKeySequence(Qt::SHIFT | Qt::Key_F7));
    add(file_, textKey("Reselect Child"), A::reselectChild, QKeySequence(Qt::Key_F7));
    add(file_, textKey("Zoom Treemap"), A::zoomTreemap, QKeySequence(Qt::Key_F10));
    add(file_, textKey("Unzoom Treemap"), A::unzoomTreemap, QKeySequence(Qt::SHIFT | Qt::Key_F11));
    add(file_, textKey("Save Treemap Image as .png File\u2026"), A::exportTreemapImage, QKeySequence(Qt::CTRL | Qt::Key_S));
    file_->addSeparator();
    add(file_, textKey("Show in File Manager"), A::showInFinder, QKeySequence(Qt::CTRL | Qt::Key_E));
    add(file_, textKey("New Terminal at Folder"), A::newTerminal, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    add(file_, textKey("Copy Path"), A::copyPath, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    file_->addSeparator();
    add(file_, textKey("Copy"), A::copy, QKeySequence(Qt::CTRL | Qt::Key_C));
    add(file_, textKey("Move to Trash"), A::moveToTrash, QKeySequence(Qt::Key_Delete));
    add(file_, textKey("Delete Immediately"), A::deleteImmediately, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    add(file_, textKey("Rename"), A::rename, QKeySequence(Qt::Key_F2));
    file_->addSeparator();
    add(file_, textKey("Export to CSV File\u2026"), A::exportToCSV, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_E));
    add(file_, textKey("Copy File and Size Info to Clipboard"), A::copyFileAndSizeInfo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    add(file_, textKey("Export File Types to CSV File\u2026"), A::exportFileTypesToCSV, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    file_->addSeparator();
    add(file_, textKey("Check for Updates Now"), A::checkForUpdatesNow);
    add(file_, textKey("Reset Configuration to Default Values"), A::resetConfiguration);
    add(file_, textKey("Grant Full Disk Access to ZelvaneMac\u2026"), A::grantFullDiskAccess);
    add(file_, textKey("Prepare This Copy for Portable Use\u2026"), A::preparePortableMode);
    add(file_, textKey("Reset All Permissions (Full Disk Access, etc.)\u2026"), A::resetPermissions);
    add(file_, textKey("Restart as Administrator\u2026"), A::restartAsAdministrator);
    add(file_, textKey("Restart without Administrator"), A::restartWithoutAdministrator);

    // Commands that need a scanned result, and the items that come and go.
    refreshers_.push_back([this, &state] {
        const bool content = !state.scanControl().effectiveRoots().empty();
        for (A a : {A::exportTreemapImage, A::exportToCSV, A::copyFileAndSizeInfo, A::exportFileTypesToCSV})
            action(a)->setEnabled(content);
        const Preferences& prefs = state.preferences();
        action(A::checkForUpdatesNow)
            ->setEnabled(!(prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin) &&
                           !prefs.value(PreferenceKeys::checkForUpdatesEnabled)));
        action(A::grantFullDiskAccess)->setVisible(!prefs.value(PreferenceKeys::hasFullDiskAccessCached));
        const PortableMode* mode = state.appServices().portableMode;
        action(A::preparePortableMode)
            ->setVisible(mode && !mode->isActive() && PortableModeFacts::isRunningFromNonInternalVolume());
        const bool elevated = isRunningElevated();
        action(A::restartAsAdministrator)->setVisible(!elevated);
        action(A::restartWithoutAdministrator)->setVisible(elevated);
    });

    buildOptions();

    // Applying the filters has no menu item. Its key works anywhere in this window, in a filter
    // field too (a text field has no use for it); Control alongside Shift does not change it.
    auto* applyFilters = new QAction(&window);
    applyFilters->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)});
    applyFilters->setShortcutContext(Qt::WindowShortcut);
    window.addAction(applyFilters);
    connect(applyFilters, &QAction::triggered, this, [&state] { state.scanControl().applyFilters(); });

    connect(file_, &QMenu::aboutToShow, this, &MenuBar::refresh);
    connect(options_, &QMenu::aboutToShow, this, &MenuBar::refresh);
    connect(&state.scanControl(), &ScanController::effectiveRootsChanged, this, &MenuBar::refresh);
    connect(&state.preferences(), &Preferences::changed, this, &MenuBar::refresh);
    refresh();
}

QAction* MenuBar::action(ZelvaneMenuAction a) const {
    for (const auto& [key, act] : actions_)
        if (key == a) return act;
    return nullptr;
}

QAction* MenuBar::add(QMenu* menu, const char* title, ZelvaneMenuAction a, const QKeySequence& key) {
    QAction* act = menu->addAction(localized(title));
    if (!key.isEmpty()) {
        act->setShortcut(key);
        act->setShortcutContext(Qt::WindowShortcut);
    }
    connect(act, &QAction::triggered, this, [this, a] { handleMenuAction(a); });
    actions_.emplace_back(a, act);
    return act;
}

template <class Owner>
QAction* MenuBar::addToggle(QMenu* menu, const char* title, const QKeySequence& key, Owner& owner,
                            bool (Owner::*get)() const, void (Owner::*set)(bool)) {
    QAction* act = menu->addAction(localized(title));
    act->setCheckable(true);
    if (!key.isEmpty()) {
        act->setShortcut(key);
        act->setShortcutContext(Qt::WindowShortcut);
    }
    connect(act, &QAction::triggered, this, [&owner, set](bool on) { (owner.*set)(on); });
    refreshers_.push_back([act, &owner, get] { act->setChecked((owner.*get)()); });
    return act;
}

void MenuBar::buildOptions() {
    ContentViewState& state = window_.state();
    Preferences& prefs = state.preferences();
    options_ = window_.menuBar()->addMenu(localized("Options"));

    auto* modes = new QActionGroup(this);
    modes->setExclusive(true);
    const char* modeTitles[] = {textKey("Display Dynamic Values"), textKey("Display Byte Values"), textKey("Display KB Values"),
                                textKey("Display MB Values"),      textKey("Display GB Values"),   textKey("Display TB Values")};
    for (int i = 0; i < 6; ++i) {
        QAction* act = options_->addAction(localized(modeTitles[i]));
        act->setCheckable(true);
        modes->addAction(act);
        connect(act, &QAction::triggered, this, [&prefs, i] { prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(i)); });
        refreshers_.push_back([act, &prefs, i] {
            act->setChecked(SizeTextFormat::of(prefs).mode == ByteSizeDisplayMode(i));
        });
    }
    options_->addSeparator();
    addToggle(options_, textKey("Filter Scan Results"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), state.panes(), &PaneToggles::showFilterPanel,
              &PaneToggles::setShowFilterPanel);
    options_->addSeparator();
    QAction* updates = options_->addAction(localized("Check for updates"));
    updates->setCheckable(true);
    connect(updates, &QAction::triggered, this, [&prefs](bool on) { prefs.set(PreferenceKeys::checkForUpdatesEnabled, on); });
    refreshers_.push_back([updates, &prefs] {
        updates->setChecked(prefs.value(PreferenceKeys::checkForUpdatesEnabled));
        updates->setEnabled(!prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin));
    });
    QAction* autoScan = options_->addAction(localized("Auto scan after making selection"));
    autoScan->setCheckable(true);
    connect(autoScan, &QAction::triggered, this, [&prefs](bool on) { prefs.set(PreferenceKeys::autoScanAfterSelection, on); });
    refreshers_.push_back([autoScan, &prefs] { autoScan->setChecked(prefs.value(PreferenceKeys::autoScanAfterSelection)); });
    options_->addSeparator();
    addToggle(options_, textKey("Show Header"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), state.panes(), &PaneToggles::showHeader,
              &PaneToggles::setShowHeader);
    addToggle(options_, textKey("Show File Types"), QKeySequence(Qt::Key_F8), state.panes(), &PaneToggles::showFileTypes,
              &PaneToggles::setShowFileTypes);
    addToggle(options_, textKey("Show Treemap"), QKeySequence(Qt::Key_F9), state.panes(), &PaneToggles::showTreemap,
              &PaneToggles::setShowTreemap);
    addToggle(options_, textKey("Show Allocated Space on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
              state.treemapToggles(), &TreemapToggles::showTreemapAllocatedSize, &TreemapToggles::setShowTreemapAllocatedSize);
    addToggle(options_, textKey("Show Free Space on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
              state.treemapToggles(), &TreemapToggles::showTreemapFreeSpace, &TreemapToggles::setShowTreemapFreeSpace);
    addToggle(options_, textKey("Show Folder and File Names on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
              state.treemapToggles(), &TreemapToggles::showTreemapFilenames, &TreemapToggles::setShowTreemapFilenames);
    add(options_, textKey("Colors\u2026"), ZelvaneMenuAction::colors);
    add(options_, textKey("Tweaks\u2026"), ZelvaneMenuAction::tweaks);

    QMenu* language = options_->addMenu(localized("Language"));
    auto* languages = new QActionGroup(this);
    languages->setExclusive(true);
    const auto addLanguage = [&](const QString& title, const QString& code) {
        QAction* act = language->addAction(title);
        act->setCheckable(true);
        languages->addAction(act);
        connect(act, &QAction::triggered, this, [&prefs, code] { prefs.set(PreferenceKeys::appLanguageOverride, code); });
        refreshers_.push_back([act, &prefs, code] { act->setChecked(prefs.value(PreferenceKeys::appLanguageOverride) == code); });
    };
    addLanguage(localized("System Default"), QStringLiteral("system"));
    language->addSeparator();
    for (const AppLanguages::Language& l : AppLanguages::supportedLanguages()) addLanguage(l.name, l.code);
}

void MenuBar::refresh() {
    for (const auto& f : refreshers_) f();
}

void MenuBar::handleMenuAction(ZelvaneMenuAction action) {
    ContentViewState& state = window_.state();
    ScanController& scans = state.scanControl();
    TopBar* topBar = window_.contentView() ? window_.contentView()->topBar() : nullptr;
    using A = ZelvaneMenuAction;
    // File actions work on the selection as it is now, and report deletions to the monitor.
    const auto fileAction = [&](void (FileActionController::*operation)()) {
        FileActionController& controller = fileActions_->actions();
        const std::vector<FileNode*> frozen = currentSelectionNodes(state);
        controller.targetNodesProvider = [frozen] { return frozen; };
        controller.onNodesDeleted = [&state](const std::vector<FileNode*>& nodes) {
            state.liveMonitor().markDeletedLocally(nodes);
        };
        (controller.*operation)();
    };
    switch (action) {
    case A::scan:
        // Rescans what was chosen, a folder or several included (the Scan button opens their
        // panel again instead), and starts a scan under way over; not while a name is edited,
        // as for the button.
        if (!state.isRenamingInline()) scans.startScan();
        break;
    case A::selectFolder:
        if (topBar) topBar->selectFolder();
        break;
    case A::selectMultiple: scans.requestSelectMultiple(); break;
    case A::selectCSVFile:
        if (topBar) topBar->selectCSVFile();
        break;
    case A::resetTreeExpansion: resetTreeExpansion(state); break;
    case A::expandAll: state.commands().expandAll(); break;
    case A::selectParent: selectParent(state); break;
    case A::reselectChild: reselectChild(state); break;
    case A::rename: requestRename(state); break;
    case A::zoomTreemap: zoomTreemap(state); break;
    case A::unzoomTreemap: zoomOut(state, scans.effectiveRoots()); break;
    case A::showInFinder: fileAction(&FileActionController::showInFileManager); break;
    case A::newTerminal: fileAction(&FileActionController::newTerminal); break;
    case A::copyPath: fileAction(&FileActionController::copyPath); break;
    case A::copy: fileAction(&FileActionController::copy); break;
    case A::moveToTrash: fileAction(&FileActionController::moveToTrash); break;
    case A::deleteImmediately: fileAction(&FileActionController::deleteImmediately); break;
    case A::resetConfiguration: state.prompts().setShowResetConfirmation(true); break;
    case A::grantFullDiskAccess: presentFullDiskAccessPrompt(state, FullDiskAccessChecker::hasFullDiskAccess()); break;
    case A::resetPermissions: state.prompts().setShowResetPermissionsConfirmation(true); break;
    case A::restartAsAdministrator: {
        const QRect frame = window_.frameGeometry();
        performRestartAsAdministrator(state, frame);
        break;
    }
    case A::restartWithoutAdministrator: performRestartWithoutAdministrator(state); break;
    case A::exportToCSV: performCSVExport(state, &window_); break;
    case A::exportFileTypesToCSV: performExportFileTypesToCSV(state, &window_); break;
    case A::checkForUpdatesNow:
        if (UpdateChecker* checker = state.appServices().updateChecker) checker->checkForUpdates(true, true);
        break;
    case A::exportTreemapImage: performExportTreemapImage(state, &window_); break;
    case A::copyFileAndSizeInfo: performCopyFileAndSizeInfo(state); break;
    case A::colors: state.prompts().setShowColorsSheet(true); break;
    case A::tweaks: state.prompts().setShowTweaksSheet(true); break;
    case A::preparePortableMode:
        if (PortableMode* mode = state.appServices().portableMode; mode && mode->prepare())
            mode->syncPreferencesBackToPortableDriveIfActive(state.preferences());
        break;
    }
}

}  // namespace zelvane

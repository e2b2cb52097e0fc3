#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "ZelvaneMac/Widgets/Dialogs/RelaunchAlerts.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/ScanSheets.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"
#include "ZelvaneMac/Window/VolumeListWatcher.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/WindowFrameKeeper.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane {

MainWindow::MainWindow(Preferences& preferences, CLIAutomation::Options cliOptions, QWidget* parent)
    : QMainWindow(parent),
      state_(new ContentViewState(preferences, std::move(cliOptions), this)),
      controller_(&state_->controller()) {
    setAttribute(Qt::WA_DeleteOnClose);
    // No icon of its own: the window shows the application's, which carries the administrator
    // badge in an elevated run.
    state_->panes().setAwaitsWindowFrameRestore(true);
    contentView_ = new ContentView(*state_, this);
    setCentralWidget(contentView_);
    setWindowTitle(controller_->windowTitle());
    // The ideal size, as far as the screen allows; the remembered frame, when there is one, is
    // applied over it.
    QSize size = sizeHint();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size()).expandedTo(minimumSizeHint());
    resize(size);
    connect(controller_, &MainWindowController::windowTitleChanged, this, &QWidget::setWindowTitle);

    sheets_ = new WindowSheets(state_->prompts(), this);
    bindStandardSheets(*sheets_, preferences, [this] { controller_->recomputeColorRank(); });
    bindScanSheets(*sheets_, state_->volumeChoice(), preferences, state_->scanControl(), state_->viewModel(), [this] {
        const PortableMode* mode = state_->services().portableMode();
        return mode && mode->isActive();
    });
    bindServiceSheets(*sheets_, preferences, state_->services());
    menus_ = new MenuBar(*this);
    setStartupHooks(systemWindowStartupHooks());
    volumeWatcher_ = new VolumeListWatcher(this);
    connect(volumeWatcher_, &VolumeListWatcher::volumesChanged, this, [this] {
        startup_->handleVolumesChanged();
        state_->scanControl().liveUpdates().mountsChanged();
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive) startup_->handleApplicationActivated();
    });
    auto* relaunchAlerts = new RelaunchAlerts(state_->prompts(), preferences, this);
    sheets_->bindAsked(AskedSheet::resetSettings, [relaunchAlerts] { relaunchAlerts->confirmResetSettings(); });
    sheets_->bindAsked(AskedSheet::resetPermissions, [relaunchAlerts] { relaunchAlerts->confirmResetPermissions(); });
    connect(contentView_->topBar(), &TopBar::accessDeniedFoldersAsked, sheets_,
            [this] { sheets_->present(AskedSheet::accessDeniedFolders); });

    WindowFrameKeeper::Hooks frameHooks;
    frameHooks.screens = [] {
        std::vector<ScreenArea> areas;
        for (const QScreen* s : QGuiApplication::screens())
            areas.push_back({s->geometry(), s->availableGeometry(), s->devicePixelRatio()});
        return areas;
    };
    frameHooks.windowScreen = [this]() -> std::optional<ScreenArea> {
        const QScreen* s = screen();
        if (!s) return std::nullopt;
        return ScreenArea{s->geometry(), s->availableGeometry(), s->devicePixelRatio()};
    };
    // The place is the outer frame's corner (title bar included), the size the content's: what
    // move() and resize() take, so a stored frame comes back exactly, title bar on the screen.
    frameHooks.frame = [this] { return QRect(pos(), this->size()); };
    frameHooks.minimumSize = [this] { return minimumSizeHint().expandedTo(minimumSize()); };
    frameHooks.setFrame = [this](const QRect& r) {
        resize(r.size());
        move(r.topLeft());
    };
    frameHooks.setSize = [this](QSize s) { resize(s); };
    frameKeeper_ = new WindowFrameKeeper(preferences, std::move(frameHooks), this);
    connect(frameKeeper_, &WindowFrameKeeper::restoreDidComplete, state_,
            [this] { state_->panes().setAwaitsWindowFrameRestore(false); });
}

void MainWindow::setVisible(bool visible) {
    // The frame is set before the window first appears, so the desktop places it there and the
    // panes are laid out once at their real size.
    if (visible && !frameKeeper_->hasRestored()) frameKeeper_->restore();
    QMainWindow::setVisible(visible);
    if (visible && !screenWatched_ && windowHandle()) {
        screenWatched_ = true;
        connect(windowHandle(), &QWindow::screenChanged, frameKeeper_, &WindowFrameKeeper::screenChanged);
    }
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (frameKeeper_) frameKeeper_->frameChanged();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (frameKeeper_) frameKeeper_->frameChanged();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    frameKeeper_->flush();
    QMainWindow::closeEvent(event);
}

void MainWindow::setStartupHooks(WindowStartupHooks hooks) {
    if (!hooks.restoreStoredTab) hooks.restoreStoredTab = [this] { controller_->restoreStoredTab(); };
    if (!hooks.hideAllWindows)
        hooks.hideAllWindows = [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<MainWindow*>(w)) w->hide();
        };
    delete startup_;
    startup_ = new WindowStartup(state_->startupParts(), std::move(hooks), this);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Once the window is on screen, so that its prompts have a window to sit on.
    if (!startup_->hasRun()) QTimer::singleShot(0, this, [this] { startup_->runAppearance(); });
}

// The widgets go first: they observe the state, which must outlive them.
MainWindow::~MainWindow() {
    frameKeeper_->flush();
    delete takeCentralWidget();
}

QSize MainWindow::sizeHint() const { return {1436, 758}; }

Preferences& MainWindow::preferences() const { return state_->preferences(); }
ScanViewModel& MainWindow::viewModel() const { return state_->viewModel(); }
ScanController& MainWindow::scanControl() const { return state_->scanControl(); }
LiveMonitorController& MainWindow::liveMonitor() const { return state_->liveMonitor(); }
NodeSelection& MainWindow::treeSelection() const { return state_->treeSelection(); }
NodeSelection& MainWindow::fileSelection() const { return state_->fileSelection(); }
WindowPrompts& MainWindow::prompts() const { return state_->prompts(); }
PaneToggles& MainWindow::panes() const { return state_->panes(); }
FileViewResults& MainWindow::fileResults() const { return state_->fileResults(); }
TreemapZoom& MainWindow::treemapZoom() const { return state_->treemapZoom(); }
TreemapToggles& MainWindow::treemapToggles() const { return state_->treemapToggles(); }
FileTypeStatistics& MainWindow::fileTypes() const { return state_->fileTypes(); }
ViewCommands& MainWindow::commands() const { return state_->commands(); }
HoverPathState& MainWindow::hoverPathState() const { return state_->hoverPathState(); }
TreeExpansion& MainWindow::treeExpansion() const { return state_->treeExpansion(); }
VolumeChoice& MainWindow::volumeChoice() const { return state_->volumeChoice(); }
WindowServices& MainWindow::services() const { return state_->services(); }
WindowSelections MainWindow::selections() const { return state_->selections(); }
ExportContext MainWindow::exportContext() const { return state_->exportContext(); }

}  // namespace zelvane

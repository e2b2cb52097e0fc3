#pragma once

#include <QMainWindow>
#include <memory>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

class ContentView;
class ContentViewState;
class FileTypeStatistics;
class FileViewResults;
class HoverPathState;
class LiveMonitorController;
class MainWindowController;
class MenuBar;
class NodeSelection;
class PaneToggles;
class Preferences;
class ScanController;
class ScanViewModel;
class TreeExpansion;
class TreemapToggles;
class TreemapZoom;
class ViewCommands;
class VolumeChoice;
class VolumeListWatcher;
class WindowFrameKeeper;
class WindowPrompts;
class WindowServices;
class WindowSheets;
class WindowStartup;
struct ExportContext;
struct WindowSelections;
struct WindowStartupHooks;

// One main window: it owns its parts (made by `ContentViewState`, which only the window, its
// content and its menus see) and shows `ContentView`. Windows share only the preference store.
// The content's minimum size is 1000 x 650 points. A window opens where it was last left on the same arrangement of displays,
// else at 1436 x 758 (as far as the screen allows) centred on the primary screen.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Preferences& preferences, CLIAutomation::Options cliOptions, QWidget* parent = nullptr);
    ~MainWindow() override;

    MainWindowController& controller() const { return *controller_; }
    // The window's parts, as the program and tests reach them.
    Preferences& preferences() const;
    ScanViewModel& viewModel() const;
    ScanController& scanControl() const;
    LiveMonitorController& liveMonitor() const;
    NodeSelection& treeSelection() const;
    NodeSelection& fileSelection() const;
    WindowPrompts& prompts() const;
    PaneToggles& panes() const;
    FileViewResults& fileResults() const;
    TreemapZoom& treemapZoom() const;
    TreemapToggles& treemapToggles() const;
    FileTypeStatistics& fileTypes() const;
    ViewCommands& commands() const;
    HoverPathState& hoverPathState() const;
    TreeExpansion& treeExpansion() const;
    VolumeChoice& volumeChoice() const;
    WindowServices& services() const;
    // What the menu commands and the exports act on.
    WindowSelections selections() const;
    ExportContext exportContext() const;
    ContentView* contentView() const { return contentView_; }

    QSize sizeHint() const override;

    // What the window does when it first appears (the services fill some of the hooks); set
    // before the window is shown.
    void setStartupHooks(WindowStartupHooks hooks);
    WindowStartup& startup() const { return *startup_; }
    // The window's sheets and alerts; later features bind theirs here.
    WindowSheets& sheets() const { return *sheets_; }
    // The window's own menus; every command acts on this window.
    MenuBar& menus() const { return *menus_; }
    WindowFrameKeeper& frameKeeper() const { return *frameKeeper_; }

    void setVisible(bool visible) override;

signals:
    // The user asked for another main window (the File menu's "New Window").
    void newWindowRequested();
    // The user asked to quit the program (the File menu's "Quit").
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's menus act on every part.
    friend class MenuBar;
    ContentViewState& state() const { return *state_; }

    ContentViewState* state_;
    MainWindowController* controller_;
    ContentView* contentView_;
    WindowStartup* startup_ = nullptr;
    WindowSheets* sheets_ = nullptr;
    MenuBar* menus_ = nullptr;
    WindowFrameKeeper* frameKeeper_ = nullptr;
    bool screenWatched_ = false;
    VolumeListWatcher* volumeWatcher_ = nullptr;
};

}  // namespace zelvane

#pragma once

#include <QMainWindow>
#include <memory>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

class ContentView;
class ContentViewState;
class MainWindowController;
class MenuBar;
class Preferences;
class VolumeListWatcher;
class WindowSheets;
class WindowFrameKeeper;
class WindowStartup;
struct WindowStartupHooks;

// One main window: it owns its state (`ContentViewState`) and the controller of that state, and
// shows `ContentView`. Windows share only the preference store. The content's minimum size is
// 1000 x 650 points. A window opens where it was last left on the same arrangement of displays,
// else at 1436 x 758 (as far as the screen allows) centred on the primary screen.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Preferences& preferences, CLIAutomation::Options cliOptions, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentViewState& state() const { return *state_; }
    MainWindowController& controller() const { return *controller_; }
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

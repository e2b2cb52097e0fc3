#pragma once

#include <QMainWindow>
#include <memory>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

class ContentView;
class ContentViewState;
class MainWindowController;
class Preferences;

// One main window: it owns its state (`ContentViewState`) and the controller of that state, and
// shows `ContentView`. Windows share only the preference store. The content's minimum size is
// 1000 x 650 points; a new window opens at 1436 x 758 when the screen allows.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Preferences& preferences, CLIAutomation::Options cliOptions, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentViewState& state() const { return *state_; }
    MainWindowController& controller() const { return *controller_; }
    ContentView* contentView() const { return contentView_; }

    QSize sizeHint() const override;

private:
    ContentViewState* state_;
    MainWindowController* controller_;
    ContentView* contentView_;
};

}  // namespace zelvane

#pragma once

#include <QObject>
#include <QPointer>
#include <string>
#include <vector>

#include "ZelvaneMac/App/StartupSteps.hpp"
#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

class MainWindow;
class Preferences;

// The graphical application: runs the start-up in its fixed order when made, opens main windows
// (each with its own state over the one preference store) and restarts the program once when the
// interface language is changed. One per process, on the main thread.
class ZelvaneMacApp final : public QObject {
    Q_OBJECT
public:
    ZelvaneMacApp(Preferences& preferences, std::vector<std::string> arguments, StartupSteps steps,
                  QObject* parent = nullptr);
    ~ZelvaneMacApp() override;

    // A new main window, shown.
    MainWindow* openWindow();
    // The main windows that are open, oldest first.
    std::vector<MainWindow*> windows() const;

    Preferences& preferences() const { return preferences_; }
    const std::vector<std::string>& arguments() const { return arguments_; }

private:
    Preferences& preferences_;
    std::vector<std::string> arguments_;
    std::vector<QPointer<MainWindow>> windows_;
};

}  // namespace zelvane

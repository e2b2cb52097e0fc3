#include "ZelvaneMac/App/ZelvaneMacApp.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"

namespace zelvane {

namespace {

template <typename F, typename... Args>
void runStep(const F& step, Args&... args) {
    if (step) step(args...);
}

}  // namespace

ZelvaneMacApp::ZelvaneMacApp(Preferences& preferences, std::vector<std::string> arguments, StartupSteps steps,
                             QObject* parent)
    : QObject(parent), preferences_(preferences), arguments_(std::move(arguments)) {
    runStep(steps.raiseFileDescriptorLimit);
    runStep(steps.activatePortableModeIfPrepared);
    runStep(steps.syncPreferencesFromPortableDriveIfActive, preferences_);
    runStep(steps.syncPreferencesFromRealUserIfElevated, preferences_);
    runStep(steps.applyAdminOverridesIfPresent, preferences_);
}

ZelvaneMacApp::~ZelvaneMacApp() = default;

MainWindow* ZelvaneMacApp::openWindow() {
    auto* window = new MainWindow(preferences_, CLIAutomation::parse(arguments_));
    windows_.emplace_back(window);
    window->show();
    return window;
}

std::vector<MainWindow*> ZelvaneMacApp::windows() const {
    std::vector<MainWindow*> open;
    for (const auto& window : windows_)
        if (window) open.push_back(window);
    return open;
}

}  // namespace zelvane

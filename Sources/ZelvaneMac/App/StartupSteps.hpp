#pragma once

#include <functional>

namespace zelvane {

class Preferences;

// The steps of the program's start-up that belong to other parts of the program, in the order they
// run. Each is a call so that the services that own them plug in their own, and tests can watch the
// order; an empty step does nothing.
struct StartupSteps {
    std::function<void()> raiseFileDescriptorLimit;
    // Turns portable mode on when this copy runs prepared from a removable drive.
    std::function<void()> activatePortableModeIfPrepared;
    std::function<void(Preferences&)> syncPreferencesFromPortableDriveIfActive;
    std::function<void(Preferences&)> syncPreferencesFromRealUserIfElevated;
    std::function<void(Preferences&)> applyAdminOverridesIfPresent;
};

// The written-back copies at termination, in the order they run.
struct TerminationSteps {
    std::function<void(Preferences&)> syncPreferencesBackToRealUserIfElevated;
    std::function<void(Preferences&)> syncPreferencesBackToPortableDriveIfActive;
};

}  // namespace zelvane

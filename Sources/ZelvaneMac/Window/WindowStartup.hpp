#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"
#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

namespace zelvane {

class PaneToggles;
class Preferences;
class ScanController;
class ScanViewModel;
class VolumeChoice;
class WindowPrompts;

// What a window asks of the rest of the program when it first appears. Every hook may be left
// empty: the step is then skipped (the services that fill some of them come later).
struct WindowStartupHooks {
    std::function<void()> restoreStoredTab;
    std::function<void()> checkForUpdates;  // once a day at most; not waited for
    std::function<bool()> hasFullDiskAccess;
    // Running from a removable drive, portable mode not active and not declined this launch.
    std::function<bool()> shouldOfferPortableMode;
    // Not in the Applications folder, not running from a removable drive, and not offered yet in
    // this run: asked only when the offer would be shown, so a true answer counts as the offer.
    std::function<bool()> shouldOfferMoveToApplications;
    std::function<void()> hideAllWindows;  // the command line's export mode
    std::function<std::vector<VolumeInfo>()> enumerateVolumes;
    CommandLineTargets commandLine;  // what the program's command line names
};

// The window's appearance handler and the notifications it follows while open: the tab, the
// update check, the Full Disk Access check and the two offers, the command line's filters and
// export settings, the volume list, and what the command line names (a CSV file, one folder,
// several folders, else the first volume selected without a scan). Main thread only.
class WindowStartup final : public QObject {
    Q_OBJECT
public:
    // The parts of the window its first appearance sets up.
    struct Parts {
        Preferences& preferences;
        const CLIAutomation::Options& cliAutomationOptions;
        WindowPrompts& prompts;
        PaneToggles& panes;
        ScanViewModel& viewModel;
        VolumeChoice& volumeChoice;
        ScanController& scans;
    };
    WindowStartup(const Parts& parts, WindowStartupHooks hooks, QObject* parent = nullptr);

    // Runs once per window; a second call does nothing.
    void runAppearance();
    // The application became active again: access granted in the meantime shows in the menus.
    void handleApplicationActivated();
    // The mount table changed: list the volumes again. When the selection names nothing the
    // picker can show any more, a volume that has just appeared becomes the selection (no scan).
    void handleVolumesChanged();

    bool hasRun() const { return hasRun_; }

private:
    Parts parts_;
    WindowStartupHooks hooks_;
    bool hasRun_ = false;
};

// The hooks the program uses outside tests.
WindowStartupHooks systemWindowStartupHooks();

}  // namespace zelvane

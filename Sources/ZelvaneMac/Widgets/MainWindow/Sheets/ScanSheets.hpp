#pragma once

#include <functional>

namespace zelvane {

class Preferences;
class ScanController;
class ScanViewModel;
class VolumeChoice;
class WindowSheets;

// The scan sheets of a window: the multi-root selection (a confirmed choice is selected and, with
// scanning after selection on, scanned; a cancelled one resumes monitoring), the access-denied
// folders of the last scan, and the Full Disk Access prompt ("Don't Ask Again" is stored; Linux
// has no settings pane to open). `isPortable` picks the prompt's removable-drive wording.
void bindScanSheets(WindowSheets& sheets, VolumeChoice& volumeChoice, Preferences& preferences, ScanController& scans,
                    const ScanViewModel& viewModel, std::function<bool()> isPortable);

}  // namespace zelvane

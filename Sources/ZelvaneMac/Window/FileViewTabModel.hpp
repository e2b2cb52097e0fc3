#pragma once

#include <QString>

#include <vector>

#include "ScanEngine/Analysis/DuplicateDetection.hpp"
#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"

namespace zelvane {

class Preferences;

// What the File View tab reads from the preferences: how the list searches and counts, how it
// writes sizes, and how its table looks and acts.
struct FileViewTabSettings {
    SizeTextFormat sizes;
    int decimalPlaces = 0;
    bool matchEntirePath = false;
    bool includeFolders = false;
    MaxFilesOption maxFiles = MaxFilesOption::all;
    DuplicateMethod dupMethod = DuplicateMethod::none;
    bool dupsOnly = false;
    bool showHorizontalLines = false;
    bool altRowColors = false;
    bool enableDragDrop = false;
    bool enableDoubleClickOpen = false;

    static FileViewTabSettings of(const Preferences& preferences);
    bool operator==(const FileViewTabSettings&) const = default;
};

// The File View tab's settings without its widgets, followed as the preferences change, and the
// inputs the tab hands its list.
class FileViewTabModel final {
public:
    explicit FileViewTabModel(const Preferences& preferences) : settings_(preferences) {}

    const FileViewTabSettings& settings() const { return settings_.current(); }
    // Sends `changed` once for each change of what the tab reads from the preferences.
    const SettingsWatch& settingsWatch() const { return settings_; }
    // The list's inputs for these roots and this search text; `active` while the tab is shown.
    FileListInputs listInputs(std::vector<RootRef> roots, const QString& filterText, bool active) const;

private:
    SettingsWatcher<FileViewTabSettings> settings_;
};

// The duplicate method the stored preference names (0, 1 or 2; anything else is none).
DuplicateMethod storedDuplicateMethod(const Preferences& preferences);

}  // namespace zelvane

#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "ScanEngine/Analysis/DuplicateDetection.hpp"
#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"

namespace zelvane {

class Preferences;

// How the file list searches and what it lists, as the search bar shows it and the list applies it.
struct FileSearchOptions {
    bool matchEntirePath = false;
    bool includeFolders = false;
    MaxFilesOption maxFiles = MaxFilesOption::all;
    DuplicateMethod dupMethod = DuplicateMethod::none;
    bool dupsOnly = false;

    static FileSearchOptions of(const Preferences& preferences);
    bool operator==(const FileSearchOptions&) const = default;
};

// What the search bar shows from the preferences: the options and the search history.
struct FileSearchBarSettings {
    FileSearchOptions options;
    QStringList history;

    static FileSearchBarSettings of(const Preferences& preferences);
    bool operator==(const FileSearchBarSettings&) const = default;
};

// What the File View tab reads from the preferences: how the list searches, how it writes sizes,
// and how its table looks and acts.
struct FileViewTabSettings {
    FileSearchOptions search;
    SizeTextFormat sizes;
    int decimalPlaces = 0;
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

}  // namespace zelvane

#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"

class QAction;
class QMenu;

namespace zelvane {

class FileActionMenu;
class JobGeneration;
class MainWindow;
class MenuItems;

// What the menus show from the preferences: the size display, the update flags, the automatic
// scan, the language and whether full disk access was found. The panes and the treemap's
// display are the window's own toggles, followed through their signals.
struct MenuBarSettings {
    SizeTextFormat sizes;
    bool checkForUpdatesEnabled = false;
    bool checkForUpdatesLockedByAdmin = false;
    bool autoScanAfterSelection = false;
    QString languageOverride;
    bool hasFullDiskAccessCached = false;

    static MenuBarSettings of(const Preferences& preferences);
    bool operator==(const MenuBarSettings&) const = default;
};

// The menu bar of one main window: File and Options. Every command acts on this window only, and
// its shortcuts are this window's (a focused text field keeps its own Ctrl+C and Delete). Items
// that depend on state are brought up to date whenever a menu opens and when the state changes.
class MenuBar final : public QObject {
    Q_OBJECT
public:
    explicit MenuBar(MainWindow& window);
    ~MenuBar() override;

    // Runs a command on this window, as its menu item would.
    void handleMenuAction(ZelvaneMenuAction action);

    QMenu* fileMenu() const { return file_; }
    QMenu* optionsMenu() const { return options_; }
    QAction* action(ZelvaneMenuAction a) const;
    // Brings enabling, check marks and the conditional items up to date.
    void refresh();
    // The most bytes Copy File and Size Info puts on the clipboard (`kClipboardBytesLimit`); a longer
    // text leaves the clipboard as it was and says so.
    void setClipboardLimit(qsizetype bytes) { summaryLimit_ = bytes; }

private:
    void buildFile();
    void addApplyFiltersKey();
    // Runs `then` with the first node of the selection the commands act on, in path order.
    void withFirstSelected(std::function<void(FileNode*)> then);

    MainWindow& window_;
    MenuItems* items_;
    SettingsWatcher<MenuBarSettings> settings_;
    FileActionMenu* fileActions_;
    // The size listing still being made for the clipboard.
    std::unique_ptr<JobGeneration> summaryCopies_;
    qsizetype summaryLimit_;
    // Select Parent's or Zoom Treemap's search for the first of a selection of millions.
    std::unique_ptr<JobGeneration> firstSearches_;
    QMenu* file_ = nullptr;
    QMenu* options_ = nullptr;
};

}  // namespace zelvane

#pragma once

#include <QWidget>

#include <memory>
#include <vector>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"

class QStackedWidget;

namespace zelvane {

class EmptyStateView;
class FileActionController;
class FileViewResults;
class HoverPathState;
class LiveMonitorController;
class MainWindowController;
class NodeSelection;
class Preferences;
class ScanController;
class ScanViewModel;
class ViewCommands;
class FileActionMenu;
class FileListView;
class FileNode;
class FileSearchBar;
class FileViewTabModel;
class FilterHistoryMenu;
class FilterSyntaxTextField;
struct FileListInputs;
struct FileListSelection;

// The File View tab: the search bar above the file list, or the empty state when no root has
// anything to list.
class FileViewTab final : public QWidget {
    Q_OBJECT
public:
    // The parts of the window the tab shows and changes.
    struct Parts {
        Preferences& preferences;
        const CLIAutomation::Options& cliAutomationOptions;
        FileViewResults& fileResults;
        NodeSelection& fileSelection;
        const MainWindowController& controller;
        HoverPathState& hoverPathState;
        LiveMonitorController& liveMonitor;
        const ScanController& scanControl;
        ViewCommands& commands;
        const ScanViewModel& viewModel;
    };
    FileViewTab(const Parts& parts, ContextMenuCommands menuCommands, QWidget* parent = nullptr);
    ~FileViewTab() override;

    // Selections up to this many rows become the window's file selection at once, larger ones
    // from the background.
    static constexpr size_t kSelectionSetHere = 100'000;
    void setSelectionSetHere(size_t rows) { selectionSetHere_ = rows; }

    FileListView& fileList() { return *list_; }
    FilterSyntaxTextField& searchField();
    FilterHistoryMenu& historyMenu();
    bool showsEmptyState() const;
    FileListInputs currentInputs() const;

private:
    QWidget* buildContent();
    void connectList();
    void followState();
    void actOn(FileNode* node, void (FileActionController::*action)(const std::vector<FileNode*>&));
    void endRename();
    void updateList();
    // The empty state tells of a failed run, or of none.
    void showOutcome();
    void takeSelection(const FileListSelection& selection);
    void replaceSelection(const NodeSet& nodes);

    Parts parts_;
    ContextMenuCommands menuCommands_;
    std::unique_ptr<FileViewTabModel> model_;
    FileSearchBar* searchBar_ = nullptr;
    QStackedWidget* content_ = nullptr;
    EmptyStateView* empty_ = nullptr;
    FileListView* list_ = nullptr;
    std::unique_ptr<FileActionMenu> fileActions_;
    JobGeneration selectionJobs_;
    size_t selectionSetHere_ = kSelectionSetHere;
    bool goneWhileSelected_ = false;
    bool showsFailure_ = false;
};

}  // namespace zelvane

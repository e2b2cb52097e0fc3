#pragma once

#include <QWidget>

#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewPanes.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Window/CoalescedUpdate.hpp"
#include "ZelvaneMac/Window/TreeViewTabChanges.hpp"
#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

class QStackedWidget;

namespace zelvane {

class EmptyStateView;
class ExtensionTableView;
class FileActionMenu;
class FileTreeOutlineView;
class TreemapCanvas;
class TreemapInfoStrip;

// The Tree View tab: the tree outline (or a placeholder by scan state) beside the file-type table,
// over the treemap pane with its information strip. Its model decides what the panes show, and
// `TreeViewTabChanges` which of them a change of the window's state touches; the tab brings those
// up to date once per turn of the event loop; `TreeViewPanes` puts the panes together.
class TreeViewTab final : public QWidget {
    Q_OBJECT
public:
    TreeViewTab(const TreeViewParts& parts, ContextMenuCommands menuCommands, QWidget* parent = nullptr);
    ~TreeViewTab() override;

    // The strip's first row as its texts (1 or 3), and whether the zoom buttons show.
    QStringList infoStripTexts() const { return model_.infoStripTexts(); }
    bool zoomButtonsShown() const { return model_.validatedZoomNode() != nullptr; }

    FileTreeOutlineView* outline() const { return outline_; }
    ExtensionTableView* fileTypeTable() const { return extTable_; }
    bool showsOutline() const;
    AutosavingSplitter* treeSplit() const { return panes_->treeSplit(); }
    AutosavingSplitter* extSplit() const { return panes_->extSplit(); }
    TreemapCanvas* treemapCanvas() const { return treemap_; }

    // Runs the update that changes of the window's state scheduled, at once.
    void refreshNow();
    // Whether changes of the window's state wait for the tab's next update.
    bool updateScheduled() const { return rebuilder_->pending() != 0; }

signals:
    // Divider drags of either split; the treemap canvas pauses its redraws in between.
    void splitDividerDragBegan();
    void splitDividerDragEnded();

private:
    using Part = TreeViewTabChanges::Part;
    void buildOutline();
    void buildTypesTable();
    void buildTreemapPane();
    void bindContextMenuCommands(FileActionMenu& menu);
    std::optional<FileActionHooks::Selection> largeActionSelection() const;
    void followGoneRows();
    void dropGoneFromSelection();
    void refresh(CoalescedUpdate::Parts parts);
    void updatePlaceholder();

    TreeViewParts parts_;
    ContextMenuCommands menuCommands_;
    TreeViewTabChanges* changes_;
    TreeViewTabModel model_;
    CoalescedUpdate* rebuilder_;
    FileTreeOutlineView* outline_ = nullptr;
    ExtensionTableView* extTable_ = nullptr;
    EmptyStateView* placeholder_ = nullptr;
    QStackedWidget* treeContent_ = nullptr;
    QWidget* treemapPane_ = nullptr;
    QWidget* treemapSlot_ = nullptr;
    TreemapCanvas* treemap_ = nullptr;
    TreemapInfoStrip* strip_ = nullptr;
    TreeViewPanes* panes_ = nullptr;
    FileActionMenu* fileActions_ = nullptr;  // a child of the outline
    std::vector<RootRef> shownRoots_;
    bool selectionFromOutline_ = false;
    bool goneWhileSelected_ = false;
    bool dropGoneOnUpdate_ = false;
    JobGeneration goneJobs_;
};

}  // namespace zelvane

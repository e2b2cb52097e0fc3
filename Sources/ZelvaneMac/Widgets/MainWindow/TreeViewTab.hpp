#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/CoalescedUpdate.hpp"
#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace zelvane {


class ContentViewState;
class EmptyStateView;
class ExtensionTableView;
class FileActionMenu;
class TreemapCanvas;
class TreemapInfoStrip;
struct TreemapCanvasInputs;

// The Tree View tab: the tree outline (or a placeholder by scan state) beside the file-type table,
// over the treemap pane with its information strip. The splits exist only while both of their
// panes are shown and are made anew each time, so each takes its remembered divider then.
//
// The treemap canvas sits in the pane's slot (`treemapSlot()`), which is hidden while no shown
// root has a stored child.
class TreeViewTab final : public QWidget {
    Q_OBJECT
public:
    TreeViewTab(ContentViewState& state, QWidget* parent = nullptr);
    ~TreeViewTab() override;

    // The roots all three panes show.
    std::vector<FileNode*> effectiveRoots() const;
    QString rootDisplayLabel(const FileNode& node) const;
    // The strip's first row as its texts (1 or 3), and whether the zoom buttons show.
    QStringList infoStripTexts() const;
    bool zoomButtonsShown() const;

    FileTreeOutlineView* outline() const { return outline_; }
    ExtensionTableView* fileTypeTable() const { return extTable_; }
    EmptyStateView* placeholder() const { return placeholder_; }
    bool showsOutline() const;
    AutosavingSplitter* treeSplit() const { return treeSplit_; }
    AutosavingSplitter* extSplit() const { return extSplit_; }
    QWidget* treemapSlot() const { return treemapSlot_; }
    void setTreemapCanvas(QWidget* canvas);
    TreemapCanvas* treemapCanvas() const { return treemap_; }
    // What the canvas is handed from the window's state.
    TreemapCanvasInputs treemapInputs() const;

    // Runs the update that changes of the window's state scheduled, at once.
    void refreshNow();

signals:
    // The file-type table's "Export File Types to CSV File…".
    void exportFileTypesRequested();
    // Divider drags of either split; the treemap canvas pauses its redraws in between.
    void splitDividerDragBegan();
    void splitDividerDragEnded();

private:
    // The parts of the tab that are brought up to date separately.
    enum Part : unsigned {
        arrangementPart = 1,
        placeholderPart = 2,
        outlinePart = 4,
        typesPart = 8,
        treemapPart = 16,
        stripPart = 32,
    };
    static CoalescedUpdate::Parts partsShowing(const QString& preferenceKey);
    void buildOutline();
    void buildTypesTable();
    void buildTreemapPane();
    void subscribe();
    void refresh(CoalescedUpdate::Parts parts);
    // True when the panes were put together anew.
    bool arrangePanes();
    void updatePlaceholder();
    void updateInfoStrip();
    void selectAllFiles(const QString& extension);

    ContentViewState& state_;
    TreeViewTabModel model_;
    CoalescedUpdate* rebuilder_;
    bool placeholderShowsScanning_ = false;
    FileTreeOutlineView* outline_ = nullptr;
    ExtensionTableView* extTable_ = nullptr;
    EmptyStateView* placeholder_ = nullptr;
    QStackedWidget* treeContent_ = nullptr;
    QWidget* treemapPane_ = nullptr;
    QWidget* treemapSlot_ = nullptr;
    TreemapCanvas* treemap_ = nullptr;
    TreemapInfoStrip* strip_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QPointer<AutosavingSplitter> treeSplit_;
    QPointer<AutosavingSplitter> extSplit_;
    std::optional<TreeViewTabModel::Arrangement> arrangedAs_;
    FileActionMenu* fileActions_ = nullptr;  // a child of the outline
    std::vector<RootRef> shownRoots_;
    OutlineCommands pendingOutline_;
    // The live monitor's last batch, for the outline and treemap to redraw; the revision tells
    // them a batch is new.
    int liveRevision_ = 0;
    std::vector<FileNode*> liveChanged_;
};

}  // namespace zelvane

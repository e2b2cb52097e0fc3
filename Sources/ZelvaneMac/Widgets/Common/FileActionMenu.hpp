#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"

class QMenu;
class QWidget;

namespace zelvane {

class LiveMonitorController;
class PreviewWindow;

// The file-action menu of one owner (the tree outline, the file list, the treemap, or the main
// window's menu bar, which uses `actions()` without a menu). The owner calls `popUp` with the nodes
// the menu is for; everything the menu does goes through the owner's `FileActionController`, with
// the targets the menu was made for.
class FileActionMenu final : public QObject {
    Q_OBJECT
public:
    // Alerts appear over `owner`'s window; the desktop is the real one. What the actions delete or
    // rename reaches `monitor`, the window's live monitor (null only for a view standing alone).
    FileActionMenu(QWidget* owner, LiveMonitorController* monitor);
    // Tests hand in their own desktop and alerts.
    FileActionMenu(QWidget* owner, DesktopServices& desktop, ActionPrompter& prompter);
    ~FileActionMenu() override;

    FileActionController& actions() { return *controller_; }

    // The one entry point of the views: shows a new menu at `globalPos` for `nodes` (the owner's
    // selection, or the clicked row). `appendItems` may add the owner's own items at the end; they
    // are enabled and disabled with the rest. The menu deletes itself when closed.
    QMenu* popUp(std::vector<FileNode*> nodes, const QPoint& globalPos,
                 const std::function<void(QMenu&)>& appendItems = {});

    // Space in a view: previews `nodes`.
    void quickLook(std::vector<FileNode*> nodes);
    // An in-place rename was committed: true when the item was renamed.
    bool performRename(FileNode* node, const QString& newName) { return controller_->performRename(node, newName); }

    // The owner's commands behind the menu's last items.
    void setOnExportToCSV(std::function<void()> f) { exportToCSV_ = std::move(f); }
    void setOnZoomTreemap(std::function<void()> f) { zoomIn_ = std::move(f); }
    void setOnUnzoomTreemap(std::function<void()> f) { zoomOut_ = std::move(f); }

    // A new menu on every call, for the nodes `targets` gives when an item is chosen; it brings
    // itself up to date each time it is about to show. The caller owns it.
    QMenu* makeContextMenu(FileActionHooks::Targets targets, QWidget* parent = nullptr);
    // The same for a selection of any size: it is counted when the menu is about to show, and the
    // actions that take any number of items list it on the thread pool when it is large.
    QMenu* makeContextMenu(FileActionHooks::Selection selection, QWidget* parent = nullptr);
    // Enables every top-level item when there is at least one target and titles the Move item.
    static void updateMenu(QMenu& menu, const std::vector<FileNode*>& targets);
    static void updateMenu(QMenu& menu, size_t targetCount);

    PreviewWindow* previewWindow() const { return preview_; }

private:
    void showPreview(std::vector<std::string> paths);

    QPointer<QWidget> owner_;
    std::unique_ptr<DesktopServices> ownDesktop_;
    std::unique_ptr<ActionPrompter> ownPrompter_;
    std::unique_ptr<FileActionController> controller_;
    QPointer<PreviewWindow> preview_;
    std::function<void()> exportToCSV_;
    std::function<void()> zoomIn_;
    std::function<void()> zoomOut_;
};

// The hooks of a result view, reaching the menu that `menu` returns when they run: a view's hooks
// are made before the menu, which the view owns. While it returns none, the hooks do nothing.
FileActionHooks fileActionHooks(std::function<FileActionMenu*()> menu);
// The same for a menu that exists already; the hooks do nothing once it is gone.
FileActionHooks fileActionHooks(FileActionMenu& menu);

}  // namespace zelvane

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

class PreviewWindow;

// The file-action menu of one owner (the tree outline, the file list, the treemap, or the main
// window's menu bar, which uses `actions()` without a menu). The owner calls `popUp` with the nodes
// the menu is for; everything the menu does goes through the owner's `FileActionController`.
class FileActionMenu final : public QObject {
    Q_OBJECT
public:
    // Alerts appear over `owner`'s window; the desktop is the real one.
    explicit FileActionMenu(QWidget* owner);
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

    void setOnNodesDeleted(FileActionController::NodesHandler handler) { controller_->onNodesDeleted = std::move(handler); }
    void setOnNodesRenamed(FileActionController::NodesHandler handler) { controller_->onNodesRenamed = std::move(handler); }
    void setOnExportToCSV(std::function<void()> f) { controller_->onExportToCSV = std::move(f); }
    void setOnZoomTreemap(std::function<void()> f) { controller_->onZoomTreemap = std::move(f); }
    void setOnUnzoomTreemap(std::function<void()> f) { controller_->onUnzoomTreemap = std::move(f); }

    // A new menu on every call, for the controller's current provider; it brings itself up to date
    // each time it is about to show. The caller owns it.
    QMenu* makeContextMenu(QWidget* parent = nullptr);
    // Enables every top-level item when there is at least one target and titles the Move item.
    void updateMenu(QMenu& menu);

    PreviewWindow* previewWindow() const { return preview_; }

private:
    void showPreview();

    QPointer<QWidget> owner_;
    std::unique_ptr<DesktopServices> ownDesktop_;
    std::unique_ptr<ActionPrompter> ownPrompter_;
    std::unique_ptr<FileActionController> controller_;
    DesktopServices* desktop_ = nullptr;
    QPointer<PreviewWindow> preview_;
};

// The hooks of a result view, reaching the menu that `menu` returns when they run: a view's hooks
// are made before the menu, which the view owns. While it returns none, the hooks do nothing.
FileActionHooks fileActionHooks(std::function<FileActionMenu*()> menu);
// The same for a menu that exists already; the hooks do nothing once it is gone.
FileActionHooks fileActionHooks(FileActionMenu& menu);

}  // namespace zelvane

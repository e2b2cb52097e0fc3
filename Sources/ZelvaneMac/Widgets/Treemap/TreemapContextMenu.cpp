#include "ZelvaneMac/Widgets/Treemap/TreemapContextMenu.hpp"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"

namespace zelvane {

TreemapContextMenu::TreemapContextMenu(QWidget* canvas, LiveMonitorController* monitor)
    : QObject(canvas), canvas_(canvas), fileMenu_(new FileActionMenu(canvas, monitor)) {
    showTreemap_ = makeDisplayAction(textKey("Show Treemap"), &TreemapContextMenu::showTreemapToggled);
    showAllocated_ = makeDisplayAction(textKey("Show Allocated Space on Treemap"), &TreemapContextMenu::showAllocatedSizeToggled);
    showFreeSpace_ = makeDisplayAction(textKey("Show Free Space on Treemap"), &TreemapContextMenu::showFreeSpaceToggled);
    showNames_ = makeDisplayAction(textKey("Show Folder and File Names on Treemap"), &TreemapContextMenu::showFilenamesToggled);
}

QAction* TreemapContextMenu::makeDisplayAction(const char* title, void (TreemapContextMenu::*toggled)()) {
    auto* action = new QAction(localized(title), canvas_);
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, toggled);
    return action;
}

QMenu* TreemapContextMenu::makeFileActionMenu(const TreemapNodeList& targets) {
    if (fileActions_.makeMenu) return fileActions_.makeMenu(canvas_, [targets] { return targets; });
    return fileMenu_->makeContextMenu([targets] { return targets; }, canvas_);
}

void TreemapContextMenu::quickLook(const TreemapNodeList& nodes) {
    if (fileActions_.quickLook) fileActions_.quickLook(nodes);
    else fileMenu_->quickLook(nodes);
}

void TreemapContextMenu::popup(TreemapMenuKind kind, const TreemapNodeList& targets, DisplayChecks checks, QPoint globalPos) {
    if (kind == TreemapMenuKind::none) return;
    showTreemap_->setChecked(true);
    showAllocated_->setChecked(checks.allocatedSize);
    showFreeSpace_->setChecked(checks.freeSpace);
    showNames_->setChecked(checks.names);

    QMenu* menu = kind == TreemapMenuKind::fileActions ? makeFileActionMenu(targets) : nullptr;
    if (!menu) menu = new QMenu(canvas_);
    else if (!menu->isEmpty()) menu->addSeparator();
    for (QAction* a : displayActions()) menu->addAction(a);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (openMenu_) openMenu_->close();
    openMenu_ = menu;
    // Actions added to the menu belong to the canvas: closing the menu keeps them.
    menu->popup(globalPos);
}

}  // namespace zelvane

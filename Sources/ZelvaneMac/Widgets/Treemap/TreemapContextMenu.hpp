#pragma once

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"

class QAction;
class QWidget;

namespace zelvane {

class FileActionMenu;
class LiveMonitorController;

// Stand-ins for the file actions shared with the outline and the file list, for tests; a field
// left empty is served by the canvas's own FileActionMenu.
struct TreemapFileActions {
    using TargetProvider = std::function<TreemapNodeList()>;
    // A new menu of the file actions, each working on what `targets` returns when it runs; the
    // canvas appends its display items and deletes the menu once it has closed.
    std::function<QMenu*(QWidget* parent, TargetProvider targets)> makeMenu;
    // The preview window for these nodes (the Space key).
    std::function<void(const TreemapNodeList& nodes)> quickLook;
};

// The treemap's right-click menus: the file actions on the selection (when a node was hit), then
// the four display items, checked as the canvas shows them. At most one menu is open at a time.
class TreemapContextMenu final : public QObject {
    Q_OBJECT
public:
    // What the display items show checked; "Show Treemap" is always checked while it is visible.
    struct DisplayChecks {
        bool allocatedSize = false;
        bool freeSpace = false;
        bool names = false;
    };

    // What the file actions delete reaches `monitor` (see FileActionMenu).
    TreemapContextMenu(QWidget* canvas, LiveMonitorController* monitor);

    void setFileActions(TreemapFileActions actions) { fileActions_ = std::move(actions); }
    FileActionMenu& fileActionMenu() { return *fileMenu_; }
    QList<QAction*> displayActions() const { return {showTreemap_, showAllocated_, showFreeSpace_, showNames_}; }
    QMenu* openMenu() const { return openMenu_; }

    // Opens the menu of this kind at `globalPos`; the file actions work on `targets`.
    void popup(TreemapMenuKind kind, const TreemapNodeList& targets, DisplayChecks checks, QPoint globalPos);
    // The preview window for these nodes.
    void quickLook(const TreemapNodeList& nodes);

signals:
    void showTreemapToggled();
    void showAllocatedSizeToggled();
    void showFreeSpaceToggled();
    void showFilenamesToggled();

private:
    QAction* makeDisplayAction(const char* title, void (TreemapContextMenu::*toggled)());
    QMenu* makeFileActionMenu(const TreemapNodeList& targets);

    QWidget* canvas_;
    // Owned for the canvas's whole life, like the outline's and the file list's.
    FileActionMenu* fileMenu_;
    TreemapFileActions fileActions_;
    QAction* showTreemap_;
    QAction* showAllocated_;
    QAction* showFreeSpace_;
    QAction* showNames_;
    // Guarded: the menu deletes itself on close, and goes with the canvas that parents it.
    QPointer<QMenu> openMenu_;
};

}  // namespace zelvane

#pragma once

#include <QWidget>

#include "ZelvaneMac/Widgets/Treemap/TreemapContextMenu.hpp"


namespace zelvane {

// The treemap of the scanned roots (or of one zoomed folder): the picture laid out and rendered
// in the background, selection, hover and deleted outlines over it, clicks, double-click zoom,
// the Space preview, the context menus, the tooltip and the busy cursor. Decisions sit in
// `TreemapCanvasModel`; this widget paints and forwards events.
class TreemapCanvas final : public QWidget {
    Q_OBJECT
public:
    // The busy cursor is not shown over this top strip.
    static constexpr int kCursorFreeTop = 12;

    // What its file actions delete reaches `monitor`, the window's live monitor (null only for a
    // canvas standing alone).
    explicit TreemapCanvas(LiveMonitorController* monitor, QWidget* parent = nullptr);
    ~TreemapCanvas() override;

    using QWidget::update;
    // The window's state as it is now; what changed since the last call decides what happens.
    void update(const TreemapCanvasInputs& inputs);
    void setFileActions(TreemapFileActions actions) { menu_->setFileActions(std::move(actions)); }
    FileActionMenu& fileActionMenu() { return menu_->fileActionMenu(); }

    TreemapCanvasModel& model() { return *model_; }
    const TreemapCanvasModel& model() const { return *model_; }
    // The four display items of the context menus, check marks as of the last menu shown.
    QList<QAction*> displayActions() const { return menu_->displayActions(); }
    // The menu of the last right click while it is open (null otherwise).
    QMenu* openMenu() const { return menu_->openMenu(); }

public slots:
    // A split-view divider drag began or ended: no new picture while it lasts.
    void splitDragBegan() { model_->splitDragBegan(); }
    void splitDragEnded() { model_->splitDragEnded(); }
    // Drops the picture and the hover at once (the tree it shows is going).
    void clearPicture() { model_->clearStaleLayoutAndHover(); }

signals:
    // A click made this the selection; the window's selection becomes exactly this set.
    void selectionMade(const TreemapSelection& selection);
    // A double click asks to zoom into this folder (or root).
    void zoomRequested(FileNode* node);
    // The node under the pointer changed (null: none).
    void hoveredNodeChanged(FileNode* node);
    // The display items of the context menus.
    void showTreemapToggled();
    void showAllocatedSizeToggled();
    void showFreeSpaceToggled();
    void showFilenamesToggled();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void refreshCursor(QPointF point);
    void refreshToolTip();

    TreemapCanvasModel* model_;
    TreemapContextMenu* menu_;
    bool cursorBusy_ = false;
};

}  // namespace zelvane

#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QLineEdit>
#include <QTreeView>

#include <functional>
#include <vector>

#include "ZelvaneMac/Models/InlineRenameSession.hpp"

namespace zelvane {

// The outline of the tree and of the file list. To the platform's tree view it adds: a right click
// selects the row under the pointer (Ctrl adds it) before the menu opens, and one below the rows
// leaves the selection as it is (the tree view would clear it on the release); Space with a selection
// asks for the preview and is always consumed; the row under the pointer is reported as the
// pointer moves and when it leaves; the name cell can be edited in place to rename its node.
class ContextMenuOutlineView : public QTreeView {
    Q_OBJECT
public:
    explicit ContextMenuOutlineView(QWidget* parent = nullptr);

    // Starts editing the name of `index`'s row. False, changing nothing, when the row is not in
    // the view (inside a closed folder) or is not in the name column.
    bool beginRenaming(const QModelIndex& index, const QString& currentName, InlineRenameSession::Commit onCommit,
                       InlineRenameSession::Ended onEditingEnded);
    bool isRenaming() const { return session_.isEditing(); }
    QLineEdit* renameField() const { return renameField_; }
    // Ends an edit running (Return commits, Escape does not, focus loss commits).
    void endRenaming(bool commit, const QString& newText);
    // Opens these rows (not their children) with one layout of the view for all of them, instead
    // of one insertion into the laid-out rows per row opened.
    void expandRows(const std::vector<QModelIndex>& rows);
    // Every row shown, as one range of whole rows per open folder: the tree view's own Select All
    // asks the selection model to widen each of its ranges to whole rows, merging them one by one
    // (a comparison of every range with every other), which over thousands of open folders froze
    // the window.
    void selectAll() override;
    // The open rows whose own rows are shown, in any order, when the model can list them without
    // a look at every row shown: Select All then asks the view about those rows only, instead of
    // asking for each of tens of thousands of rows whether it is open.
    using OpenRowsSource = std::function<std::vector<QModelIndex>()>;
    void setOpenRowsSource(OpenRowsSource source) { openRowsSource_ = std::move(source); }
    // Makes `rows` the selection. The selection model works out what changed by comparing every
    // range it held with every new one: from a selection shown in part (thousands of single rows
    // in as many folders) to a Select All over thousands of open folders that held the window for
    // a third of a second. So a large selection is let go first, unannounced (the rows shown are
    // repainted), and the new one is told as it is, against nothing.
    void replaceSelection(const QItemSelection& rows);

signals:
    // The row under the pointer; invalid when the pointer left the rows.
    void rowHovered(const QModelIndex& index);
    // A context menu for the selection, to open at `globalPos` (the selection is not empty).
    void menuRequested(const QPoint& globalPos);
    // Space with a selection.
    void quickLookRequested();
    // "*" on a row: open it with everything inside. While this is connected the receiver opens
    // the rows; otherwise the tree view opens every row below, however many.
    void expandBelowRequested(const QModelIndex& index);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A change of many ranges repaints the rows shown: the tree view looks for each range's rows
    // among all the open rows to find the region it covers, which for a thousand rows selected in
    // as many folders, among tens of thousands open, took longer than drawing every row shown.
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void placeRenameField();

    InlineRenameSession session_;
    QPointer<QLineEdit> renameField_;
    QPersistentModelIndex renameIndex_;
    OpenRowsSource openRowsSource_;
    bool rightPressBelowRows_ = false;  // its release is not the tree view's either
};

}  // namespace zelvane

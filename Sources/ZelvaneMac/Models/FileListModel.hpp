#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QPoint>

#include <algorithm>
#include <span>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Models/ColumnTable.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FileListSorting.hpp"

namespace zelvane {

class FileListPipeline;

// The file list's rows: the pipeline's published rows at the top level and, under a file that has
// duplicates, the other members of its group (made from the group whenever asked, never stored).
// The rows are the pipeline's own list, shared, and the view is given them a slice at a time
// (`fetchMore` as it scrolls to the end), so that a list of millions costs the view no more than
// the rows it has reached. Display only; every change comes from the pipeline. GUI thread only.
class FileListModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { nameColumn, pathColumn, percentColumn, sizeColumn, allocatedColumn, modifiedColumn,
                  dupCountColumn, dupSizeColumn, attributesColumn, columnCount_ };
    static constexpr int kColumnCount = columnCount_;
    // Identifiers, English titles, widths and first sort orders of the columns.
    static const ColumnTable& columns();
    // The column that sorts by `key`.
    static int columnFor(FileListSortKey key);

    explicit FileListModel(FileListPipeline& pipeline, QObject* parent = nullptr);

    // The other members of the node's duplicate group, in group order; empty without a group of two.
    static std::vector<FileNode*> dupChildren(const FileNode& node);
    // The highlight ranges (UTF-16 start, length) of a row's name or path cell.
    QList<QPoint> nameHighlights(const FileNode& node) const;
    QList<QPoint> pathHighlights(const FileNode& node, const QString& fullPath) const;

    // Rows handed to the view at a time: every row of a capped list, the first of a longer one.
    static constexpr size_t kSliceRows = 50000;
    void setSliceRows(size_t rows) { sliceRows_ = std::max<size_t>(1, rows); }
    // While held, the view is told there is nothing more to fetch: its layout asks for the next
    // slice whenever there is one, whether the end of the rows is in sight or not.
    void holdFetches(bool held) { fetchesHeld_ = held; }

    // Every top-level row of the list, given to the view or not; the view has the first `rowCount()`.
    size_t listRows() const { return list_->size(); }
    const SharedNodeList& list() const { return list_; }

    FileNode* nodeAt(const QModelIndex& index) const;
    bool isMemberRow(const QModelIndex& index) const { return index.isValid() && index.internalId() != 0; }
    QModelIndex indexOfTopNode(const FileNode* node) const;
    // Redraws the rows of these nodes (live monitoring, renames).
    void refreshNodes(const std::vector<FileNode*>& nodes);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;

private:
    void publish();
    QVariant displayText(const FileNode& n, int column, bool member) const;

    FileListPipeline& pipeline_;
    SharedNodeList list_;
    std::shared_ptr<const RowsWithCopies> copies_;
    // The rows the view has been given: the first `shown_` of the list.
    std::span<FileNode* const> rows_;
    size_t sliceRows_ = kSliceRows;
    bool fetching_ = false;
    bool fetchesHeld_ = false;
};

}  // namespace zelvane

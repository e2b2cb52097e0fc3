#include "ZelvaneMac/Models/FileListModel.hpp"

#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <QMimeData>
#include <QScopedValueRollback>

#include <algorithm>
#include <unordered_set>

#include "ScanEngine/Support/LocaleFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {

namespace {

using M = FileListModel;
constexpr ColumnSpec kColumnSpecs[] = {
    {M::nameColumn, "name", textKey("File Name"), 309, Qt::AscendingOrder},
    {M::pathColumn, "path", textKey("Path"), 488, Qt::AscendingOrder},
    {M::percentColumn, "percent", textKey("% of Root"), 63, Qt::DescendingOrder, true, true, "100.0%"},
    {M::sizeColumn, "size", textKey("Size"), 100, Qt::DescendingOrder, true},
    {M::allocatedColumn, "allocated", textKey("Allocated"), 100, Qt::DescendingOrder, true},
    {M::modifiedColumn, "modified", textKey("Modified"), 140, Qt::DescendingOrder},
    {M::dupCountColumn, "dupCount", textKey("Dup Count"), 80, Qt::DescendingOrder, true},
    {M::dupSizeColumn, "dupSize", textKey("Dup Size"), 90, Qt::DescendingOrder, true},
    {M::attributesColumn, "attributes", textKey("Attr."), 40, Qt::DescendingOrder},
};
static_assert(everyColumnHasItsRow(kColumnSpecs, M::kColumnCount), "one row per column, in order");
constexpr ColumnTable kColumns(kColumnSpecs, 100);

// Positions in the shown text, which a right-to-left window begins with the isolate of the name.
QList<QPoint> toPoints(const std::vector<TextRange>& ranges, int shift = 0) {
    if (namesShownIsolated()) ++shift;
    QList<QPoint> out;
    out.reserve(qsizetype(ranges.size()));
    for (const TextRange& r : ranges) out.push_back(QPoint(r.start + shift, r.length));
    return out;
}

}  // namespace

const ColumnTable& FileListModel::columns() { return kColumns; }

int FileListModel::columnFor(FileListSortKey key) {
    switch (key) {
    case FileListSortKey::name: return nameColumn;
    case FileListSortKey::path: return pathColumn;
    case FileListSortKey::percent: return percentColumn;
    case FileListSortKey::allocated: return allocatedColumn;
    case FileListSortKey::modified: return modifiedColumn;
    case FileListSortKey::dupCount: return dupCountColumn;
    case FileListSortKey::dupSize: return dupSizeColumn;
    case FileListSortKey::attributes: return attributesColumn;
    case FileListSortKey::size: break;
    }
    return sizeColumn;
}

FileListModel::FileListModel(FileListPipeline& pipeline, QObject* parent) : QAbstractItemModel(parent), pipeline_(pipeline) {
    connect(&pipeline_, &FileListPipeline::rowsPublished, this, &FileListModel::publish);
    connect(&pipeline_, &FileListPipeline::displayFormatChanged, this, [this] {
        if (!rows_.empty()) emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, kColumnCount - 1));
    });
    list_ = pipeline_.displayedList();
    copies_ = pipeline_.displayedCopies();
    rows_ = std::span<FileNode* const>(*list_).first(std::min(list_->size(), sliceRows_));
}

void FileListModel::publish() {
    beginResetModel();
    list_ = pipeline_.displayedList();
    copies_ = pipeline_.displayedCopies();
    rows_ = std::span<FileNode* const>(*list_).first(std::min(list_->size(), sliceRows_));
    endResetModel();
}

bool FileListModel::canFetchMore(const QModelIndex& parent) const {
    return !fetchesHeld_ && !parent.isValid() && rows_.size() < list_->size();
}

void FileListModel::fetchMore(const QModelIndex& parent) {
    // Views and checkers may ask again while the rows go in: one slice at a time.
    if (fetching_ || !canFetchMore(parent)) return;
    const QScopedValueRollback guard(fetching_, true);
    const size_t more = std::min(list_->size() - rows_.size(), sliceRows_);
    beginInsertRows({}, int(rows_.size()), int(rows_.size() + more) - 1);
    rows_ = std::span<FileNode* const>(*list_).first(rows_.size() + more);
    endInsertRows();
}

std::vector<FileNode*> FileListModel::dupChildren(const FileNode& node) {
    const DuplicateGroup* g = node.dupGroup();
    if (!g || g->members.size() < 2) return {};
    std::vector<FileNode*> out;
    out.reserve(g->members.size() - 1);
    for (FileNode* m : g->members)
        if (m != &node) out.push_back(m);
    return out;
}

FileNode* FileListModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    if (index.internalId() == 0) return size_t(index.row()) < rows_.size() ? rows_[size_t(index.row())] : nullptr;
    const size_t parentRow = size_t(index.internalId() - 1);
    if (parentRow >= rows_.size()) return nullptr;
    const auto kids = dupChildren(*rows_[parentRow]);
    return size_t(index.row()) < kids.size() ? kids[size_t(index.row())] : nullptr;
}

QModelIndex FileListModel::indexOfTopNode(const FileNode* node) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i] == node) return index(int(i), 0);
    return {};
}

void FileListModel::refreshNodes(const std::vector<FileNode*>& nodes) {
    if (rows_.empty() || nodes.empty()) return;
    const std::unordered_set<const FileNode*> dirty(nodes.begin(), nodes.end());
    for (size_t i = 0; i < rows_.size(); ++i)
        if (dirty.count(rows_[i])) emit dataChanged(index(int(i), 0), index(int(i), kColumnCount - 1));
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= kColumnCount) return {};
    if (!parent.isValid()) return size_t(row) < rows_.size() ? createIndex(row, column, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0 || size_t(parent.row()) >= rows_.size()) return {};
    if (size_t(row) >= listedCopiesOf(*rows_[size_t(parent.row())])) return {};
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex FileListModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(rows_.size());
    if (parent.column() != 0 || parent.internalId() != 0 || size_t(parent.row()) >= rows_.size()) return 0;
    return int(listedCopiesOf(*rows_[size_t(parent.row())]));
}

int FileListModel::columnCount(const QModelIndex&) const { return kColumnCount; }

bool FileListModel::hasChildren(const QModelIndex& parent) const {
    // Asked for every row the view lays out: answered from the rows' bits when the list came
    // with them, without reading each row's group through its node.
    if (parent.isValid() && parent.column() == 0 && parent.internalId() == 0 && size_t(parent.row()) < copies_->size())
        return copies_->has(size_t(parent.row())) && size_t(parent.row()) < rows_.size();
    return rowCount(parent) > 0;
}

QList<QPoint> FileListModel::nameHighlights(const FileNode& node) const {
    if (pipeline_.highlightFilters().empty()) return {};
    auto name = node.nameUnits();
    return toPoints(highlightRanges(pipeline_.highlightFilters(), name));
}

QList<QPoint> FileListModel::pathHighlights(const FileNode& node, const QString& fullPath) const {
    if (pipeline_.highlightFilters().empty()) return {};
    if (pipeline_.highlightFullPath()) {
        const std::u16string_view text(reinterpret_cast<const char16_t*>(fullPath.utf16()), size_t(fullPath.size()));
        return toPoints(highlightRanges(pipeline_.highlightFilters(), text));
    }
    // The name's matches, at the name's place at the end of the path.
    const int shift = int(fullPath.size()) - node.nameLength();
    if (shift < 0) return {};
    auto name = node.nameUnits();
    return toPoints(highlightRanges(pipeline_.highlightFilters(), name), shift);
}

QVariant FileListModel::displayText(const FileNode& n, int column, bool member) const {
    const FileListInputs& in = pipeline_.inputs();
    const auto bytes = [&in](int64_t v) {
        return qStringFromUtf8(humanBytes(v, in.byteUnitBase, in.byteSizeDisplayMode, in.decimalPlaces));
    };
    switch (column) {
    case nameColumn: return shownName(qStringFromUtf8(n.name()));
    case pathColumn: return shownName(qStringFromUtf8(n.fullPath()));
    case percentColumn: {
        if (n.isDeleted()) return QStringLiteral("0.0%");
        const FileNode* root = &n;
        while (root->parent()) root = root->parent();
        const bool byAlloc = pipeline_.sortKey() == FileListSortKey::allocated;
        const int64_t v = byAlloc ? countedAllocatedShare(n) : n.effectiveSize();
        const int64_t r = byAlloc ? root->effectiveAllocSize() : root->effectiveSize();
        const double pct = r < 1 ? 0.0 : double(v) / double(r) * 100.0;
        return QString::number(pct, 'f', 1) + QLatin1Char('%');
    }
    case sizeColumn: return bytes(n.effectiveSize());
    case allocatedColumn: {
        const QString t = bytes(n.effectiveAllocSize());
        return n.doNotCountAllocated() ? QLatin1Char('(') + t + QLatin1Char(')') : t;
    }
    case modifiedColumn: return modifiedDateText(n);
    case dupCountColumn: return member ? QString() : qStringFromUtf8(formatIntegerForLocale(n.dupCount()));
    case dupSizeColumn: return member ? QString() : bytes(n.dupSize());
    case attributesColumn: return qStringFromUtf8(n.dosAttributesString());
    default: return {};
    }
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    const FileNode* n = nodeAt(index);
    if (!n) return {};
    const int column = index.column();
    const bool member = isMemberRow(index);
    switch (role) {
    case Qt::DisplayRole: return displayText(*n, column, member);
    case Qt::ToolTipRole:
        return column == nameColumn ? QVariant(nameToolTip(*n)) : QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue((kColumns[column].alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case ResultTableRole::node: return QVariant::fromValue(quintptr(n));
    case ResultTableRole::sortedColumn: return column == columnFor(pipeline_.sortKey());
    case ResultTableRole::textTone: return int(nodeTextTone(*n, column == nameColumn, column == allocatedColumn));
    case ResultTableRole::barFraction:
        return column == percentColumn ? QVariant(percentBarDepthFactor(member ? 1 : 0)) : QVariant();
    case ResultTableRole::barFromRight: return column == percentColumn ? QVariant(true) : QVariant();
    case ResultTableRole::highlightRanges:
        if (member) return {};
        if (column == nameColumn) return QVariant::fromValue(nameHighlights(*n));
        if (column == pathColumn) return QVariant::fromValue(pathHighlights(*n, qStringFromUtf8(n->fullPath())));
        return {};
    default: return {};
    }
}

QModelIndexList FileListModel::match(const QModelIndex& start, int role, const QVariant& value, int hits,
                                    Qt::MatchFlags flags) const {
    return QAbstractItemModel::match(start, role, typedSearchAsShown(role, value, flags), hits, flags);
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return localized(kColumns[section].title);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((kColumns[section].alignRight ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList FileListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const {
    return fileURLsMimeData(indexes, [this](const QModelIndex& i) -> const FileNode* { return nodeAt(i); });
}

}  // namespace zelvane

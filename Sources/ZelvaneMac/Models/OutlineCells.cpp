#include "ZelvaneMac/Models/OutlineCells.hpp"

#include <algorithm>

#include "ScanEngine/Support/LocaleFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {

namespace {

using M = FileTreeOutlineModel;
constexpr ColumnSpec kColumnSpecs[] = {
    {M::nameColumn, "name", textKey("Folder"), 224, Qt::AscendingOrder},
    {M::percentColumn, "percent", textKey("% of Parent"), 66, Qt::DescendingOrder, false, true, "100.0%"},
    {M::sizeColumn, "size", textKey("Size"), 87, Qt::DescendingOrder},
    {M::allocatedColumn, "allocated", textKey("Allocated"), 92, Qt::DescendingOrder},
    {M::itemsColumn, "items", textKey("Items"), 88, Qt::DescendingOrder},
    {M::filesColumn, "files", textKey("Files"), 79, Qt::DescendingOrder},
    {M::foldersColumn, "folders", textKey("Folders"), 79, Qt::DescendingOrder},
    {M::modifiedColumn, "modified", textKey("Modified"), 140, Qt::DescendingOrder},
    {M::attributesColumn, "attributes", textKey("Attr."), 40, Qt::DescendingOrder},
};
static_assert(everyColumnHasItsRow(kColumnSpecs, M::kColumnCount), "one row per column, in order");
constexpr ColumnTable kColumns(kColumnSpecs, 80);

}  // namespace

const ColumnTable& outlineColumns() { return kColumns; }

QVariant outlineHeaderData(int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= FileTreeOutlineModel::kColumnCount) return {};
    if (role == Qt::DisplayRole) return localized(kColumns[section].title);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant outlineCellText(const FileNode& n, int column, const OutlineCellContext& c) {
    const auto bytes = [&c](int64_t v) {
        return qStringFromUtf8(humanBytes(v, c.display.byteUnitBase, c.display.byteSizeDisplayMode, c.display.decimalPlaces));
    };
    switch (column) {
    case FileTreeOutlineModel::nameColumn:
        if (n.isRoot()) {
            const auto at = std::find(c.roots.begin(), c.roots.end(), &n);
            const size_t i = size_t(at - c.roots.begin());
            if (i < c.rootLabels.size()) return shownName(c.rootLabels[i]);
        }
        return shownName(qStringFromUtf8(n.name()));
    case FileTreeOutlineModel::percentColumn: {
        const bool bySize = c.sortKey == OutlineSortKey::size;
        const auto base = [bySize](const FileNode& x) { return bySize ? x.effectiveSize() : countedAllocatedShare(x); };
        double pct = 0;
        if (n.isDeleted()) pct = 0;
        else if (!n.parent()) pct = 100;
        else if (base(*n.parent()) >= 1) pct = double(base(n)) / double(base(*n.parent())) * 100.0;
        return QString::number(pct, 'f', 1) + QLatin1Char('%');
    }
    case FileTreeOutlineModel::sizeColumn: return bytes(n.effectiveSize());
    case FileTreeOutlineModel::allocatedColumn: {
        QString t = bytes(n.effectiveAllocSize());
        return n.doNotCountAllocated() ? QLatin1Char('(') + t + QLatin1Char(')') : t;
    }
    case FileTreeOutlineModel::itemsColumn:
        return n.isDir() ? qStringFromUtf8(formatIntegerForLocale(int64_t(n.subFolderFileCount()) + n.subFolderDirCount())) : QString();
    case FileTreeOutlineModel::filesColumn: return n.isDir() ? qStringFromUtf8(formatIntegerForLocale(n.subFolderFileCount())) : QString();
    case FileTreeOutlineModel::foldersColumn: return n.isDir() ? qStringFromUtf8(formatIntegerForLocale(n.subFolderDirCount())) : QString();
    case FileTreeOutlineModel::modifiedColumn: return modifiedDateText(n);
    case FileTreeOutlineModel::attributesColumn: return qStringFromUtf8(n.dosAttributesString());
    default: return {};
    }
}

QVariant outlineCellData(const FileNode& node, int column, int role, const OutlineCellContext& c) {
    const FileNode* n = &node;
    switch (role) {
    case Qt::DisplayRole: return outlineCellText(*n, column, c);
    case Qt::ToolTipRole:
        return column == FileTreeOutlineModel::nameColumn ? QVariant(nameToolTip(*n)) : QVariant();
    case Qt::TextAlignmentRole:
        if (column >= FileTreeOutlineModel::percentColumn && column <= FileTreeOutlineModel::foldersColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case ResultTableRole::node: return QVariant::fromValue(quintptr(n));
    case ResultTableRole::sortedColumn: return column == FileTreeOutlineModel::columnFor(c.sortKey);
    case ResultTableRole::textTone: return int(nodeTextTone(*n, column == FileTreeOutlineModel::nameColumn, column == FileTreeOutlineModel::allocatedColumn));
    case ResultTableRole::barFraction:
        return column == FileTreeOutlineModel::percentColumn ? QVariant(percentBarDepthFactor(n->depth())) : QVariant();
    case ResultTableRole::barFromRight: return column == FileTreeOutlineModel::percentColumn ? QVariant(true) : QVariant();
    default: return {};
    }
}

}  // namespace zelvane

#include "ZelvaneMac/Models/ExtensionTableModel.hpp"

#include <algorithm>
#include <string>

#include "ScanEngine/Support/LocaleFormat.hpp"
#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ZelvaneMac/Models/FileTypeIcons.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {

namespace {

using M = ExtensionTableModel;
constexpr ColumnSpec kColumnSpecs[] = {
    {M::swatchColumn, "swatch", "", 17, Qt::AscendingOrder, false, false},
    {M::extColumn, "ext", textKey("Extension"), 84, Qt::AscendingOrder},
    {M::typeColumn, "type", textKey("File Type"), 102, Qt::AscendingOrder, false, true, textKey("(No Extension)")},
    {M::percentColumn, "percent", textKey("Percent"), 46, Qt::DescendingOrder, false, true, "100.0%"},
    {M::sizeColumn, "size", textKey("Size"), 76, Qt::DescendingOrder},
    {M::allocatedColumn, "allocated", textKey("Allocated"), 81, Qt::DescendingOrder},
    {M::filesColumn, "files", textKey("Files"), 63, Qt::DescendingOrder},
};
static_assert(everyColumnHasItsRow(kColumnSpecs, M::kColumnCount), "one row per column, in order");
constexpr ColumnTable kColumns(kColumnSpecs, 60);

// Text order by Unicode scalar values of the canonically composed text: case-sensitive and the
// same in every locale.
std::u32string scalarKey(const QString& text) {
    const QList<uint> ucs4 = text.normalized(QString::NormalizationForm_C).toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

}  // namespace

const ColumnTable& ExtensionTableModel::columns() { return kColumns; }

int ExtensionTableModel::columnFor(FileTypesSortKey key) {
    switch (key) {
    case FileTypesSortKey::extension: return extColumn;
    case FileTypesSortKey::type: return typeColumn;
    case FileTypesSortKey::percent: return percentColumn;
    case FileTypesSortKey::size: return sizeColumn;
    case FileTypesSortKey::files: return filesColumn;
    case FileTypesSortKey::allocated: break;
    }
    return allocatedColumn;
}

ExtensionTableModel::ExtensionTableModel(FileTypesSortKey initialKey, bool initialAscending, QObject* parent)
    : QAbstractTableModel(parent), sortKey_(initialKey), sortAscending_(initialAscending) {}

bool ExtensionTableModel::update(const ExtensionTableInputs& next, bool forceReload) {
    const bool colours = !hasInputs_ || next.colorRank != in_.colorRank || next.paletteRGB != in_.paletteRGB;
    const bool reload = forceReload || !hasInputs_ || next.statsGeneration != in_.statsGeneration || colours ||
                        next.byteUnitBase != in_.byteUnitBase || next.byteSizeDisplayMode != in_.byteSizeDisplayMode ||
                        next.decimalPlaces != in_.decimalPlaces || next.showFileTypes != in_.showFileTypes;
    in_ = next;
    hasInputs_ = true;
    if (!reload) return false;
    if (colours) swatchCache_.clear();
    beginResetModel();
    resort();
    endResetModel();
    return true;
}

void ExtensionTableModel::setSort(FileTypesSortKey key, bool ascending) {
    sortKey_ = key;
    sortAscending_ = ascending;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    resort();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ExtensionTableModel::sort(int column, Qt::SortOrder order) {
    if (!kColumns.sortable(column)) return;
    setSort(fileTypesSortKeyFromIdentifier(kColumns.identifier(column)), order == Qt::AscendingOrder);
}

void ExtensionTableModel::setPixelScale(double scale) {
    if (scale <= 0 || scale == pixelScale_) return;
    pixelScale_ = scale;
    swatchCache_.clear();
    if (!displayed_.empty()) emit dataChanged(index(0, swatchColumn), index(rowCount() - 1, swatchColumn));
}

QString ExtensionTableModel::typeOf(const std::string& ext) const {
    const QString key = qStringFromUtf8(ext);
    auto it = typeCache_.constFind(key);
    if (it != typeCache_.constEnd()) return *it;
    QString t = fileTypeDescription(key);
    typeCache_.insert(key, t);
    return t;
}

void ExtensionTableModel::resort() {
    std::vector<ExtensionStats> rows = in_.stats;
    const bool asc = sortAscending_;
    auto numeric = [&](auto field) {
        std::stable_sort(rows.begin(), rows.end(), [&](const ExtensionStats& a, const ExtensionStats& b) {
            return asc ? field(a) < field(b) : field(b) < field(a);
        });
    };
    if (sortKey_ == FileTypesSortKey::extension || sortKey_ == FileTypesSortKey::type) {
        const bool byType = sortKey_ == FileTypesSortKey::type;
        std::vector<std::pair<std::u32string, size_t>> keys;
        keys.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            keys.emplace_back(scalarKey(byType ? typeOf(rows[i].ext) : qStringFromUtf8(rows[i].ext)), i);
        std::stable_sort(keys.begin(), keys.end(), [asc](const auto& a, const auto& b) {
            return asc ? a.first < b.first : b.first < a.first;
        });
        std::vector<ExtensionStats> sorted;
        sorted.reserve(rows.size());
        for (const auto& k : keys) sorted.push_back(std::move(rows[k.second]));
        rows = std::move(sorted);
    } else if (sortKey_ == FileTypesSortKey::size || sortKey_ == FileTypesSortKey::percent) {
        numeric([](const ExtensionStats& s) { return s.totalSize; });
    } else if (sortKey_ == FileTypesSortKey::files) {
        numeric([](const ExtensionStats& s) { return s.fileCount; });
    } else {
        numeric([](const ExtensionStats& s) { return s.totalAlloc; });
    }
    displayed_ = std::move(rows);
    const bool bySize = sortKey_ == FileTypesSortKey::size;
    basisSum_ = 0;
    for (const auto& s : displayed_) basisSum_ += bySize ? s.totalSize : s.totalAlloc;
    if (onDisplayedChange_) onDisplayedChange_(displayed_, sortKey_);
}

double ExtensionTableModel::percentOf(int row) const {
    if (row < 0 || size_t(row) >= displayed_.size() || basisSum_ < 1) return 0;
    const auto& s = displayed_[size_t(row)];
    const int64_t basis = sortKey_ == FileTypesSortKey::size ? s.totalSize : s.totalAlloc;
    return double(basis) / double(basisSum_) * 100.0;
}

int ExtensionTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(displayed_.size()); }
int ExtensionTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant ExtensionTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return section == swatchColumn ? QString() : localized(kColumns[section].title);
    return {};
}

QVariant ExtensionTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= displayed_.size()) return {};
    const ExtensionStats& s = displayed_[size_t(index.row())];
    const int column = index.column();
    const auto bytes = [this](int64_t v) {
        return qStringFromUtf8(humanBytes(v, in_.byteUnitBase, in_.byteSizeDisplayMode, in_.decimalPlaces));
    };
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case extColumn: return s.ext.empty() ? localized("(none)") : shownName(QLatin1Char('.') + qStringFromUtf8(s.ext));
        case typeColumn: return typeOf(s.ext);
        case percentColumn: return QString::number(percentOf(index.row()), 'f', 1) + QLatin1Char('%');
        case sizeColumn: return bytes(s.totalSize);
        case allocatedColumn: return bytes(s.totalAlloc);
        case filesColumn: return qStringFromUtf8(formatIntegerForLocale(s.fileCount));
        default: return {};
        }
    case Qt::DecorationRole:
        if (column == extColumn) return fileTypeIcon(qStringFromUtf8(s.ext));
        if (column == swatchColumn) {
            const QString key = qStringFromUtf8(s.ext);
            auto it = swatchCache_.constFind(key);
            if (it != swatchCache_.constEnd()) return *it;
            QImage img = renderExtensionSwatch(s.ext, in_.colorRank, in_.paletteRGB, QSizeF(12, 12), pixelScale_);
            swatchCache_.insert(key, img);
            return img;
        }
        return {};
    case Qt::TextAlignmentRole:
        if (column >= percentColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case ResultTableRole::sortedColumn: return column == columnFor(sortKey_);
    case ResultTableRole::barFraction:
        return column == percentColumn ? QVariant(std::clamp(percentOf(index.row()) / 100.0, 0.0, 1.0)) : QVariant();
    case ResultTableRole::barFromRight: return column == percentColumn ? QVariant(false) : QVariant();
    case ResultTableRole::textTone: return int(TextTone::normal);
    default: return {};
    }
}

}  // namespace zelvane

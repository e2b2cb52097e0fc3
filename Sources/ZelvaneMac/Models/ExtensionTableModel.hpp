#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <QString>

#include <functional>
#include <vector>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Core/FileTypes/FileTypesSortKey.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Models/ColumnTable.hpp"

namespace zelvane {

// Everything the window hands the file-type table on each update.
struct ExtensionTableInputs {
    std::vector<ExtensionStats> stats;  // in the order they were computed
    int statsGeneration = 0;
    ColorRank colorRank;
    PaletteRGB paletteRGB;
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    int decimalPlaces = 1;
    bool showFileTypes = true;
};

// The file-type table's rows: one per extension, sorted stably by the current key (equal keys keep
// the order of the statistics in both directions). The percent column shares the size total when
// sorted by size and the allocated total otherwise. GUI thread only.
class ExtensionTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { swatchColumn, extColumn, typeColumn, percentColumn, sizeColumn, allocatedColumn, filesColumn,
                  columnCount_ };
    static constexpr int kColumnCount = columnCount_;
    // Identifiers, English titles, widths and first sort orders of the columns.
    static const ColumnTable& columns();

    // The column that sorts by `key`.
    static int columnFor(FileTypesSortKey key);

    using DisplayedHandler = std::function<void(const std::vector<ExtensionStats>&, FileTypesSortKey)>;

    explicit ExtensionTableModel(FileTypesSortKey initialKey = FileTypesSortKey::allocated, bool initialAscending = false,
                                 QObject* parent = nullptr);

    // Resorts and reloads when the statistics generation, colours, display settings or the
    // visibility flag changed (or `forceReload`); returns whether it did.
    bool update(const ExtensionTableInputs& inputs, bool forceReload = false);
    void setOnDisplayedChange(DisplayedHandler handler) { onDisplayedChange_ = std::move(handler); }
    void setSort(FileTypesSortKey key, bool ascending);
    FileTypesSortKey sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    const std::vector<ExtensionStats>& displayed() const { return displayed_; }
    // The swatch images are made for this many device pixels per point.
    void setPixelScale(double scale);
    double percentOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void resort();
    QString typeOf(const std::string& ext) const;

    ExtensionTableInputs in_;
    bool hasInputs_ = false;
    FileTypesSortKey sortKey_ = FileTypesSortKey::allocated;
    bool sortAscending_ = false;
    std::vector<ExtensionStats> displayed_;
    int64_t basisSum_ = 0;
    double pixelScale_ = 2.0;
    DisplayedHandler onDisplayedChange_;
    mutable QHash<QString, QString> typeCache_;
    mutable QHash<QString, QImage> swatchCache_;
};

}  // namespace zelvane

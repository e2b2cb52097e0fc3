#pragma once

#include <QString>
#include <Qt>

#include <cstddef>
#include <span>

namespace zelvane {

// One column of a result table.
struct ColumnSpec {
    int column;                 // its position: the table's column enum
    const char* identifier;     // what its sort key and stored layout are named by
    const char* title;          // English, localised when shown
    int width;                  // in points, until the user resizes it
    Qt::SortOrder firstOrder;   // the order the first click on its header sorts in
    bool alignRight = false;
    bool sortable = true;
    const char* widestText = nullptr;  // the widest fixed text a cell shows (English, localised when measured)
};

// Whether `rows` holds each of a table's `count` columns once, in order (row i is column i). Every
// table checks it at compile time, so a row missing or out of place fails the build instead of
// being read past or shown under another column's header.
template <size_t N>
constexpr bool everyColumnHasItsRow(const ColumnSpec (&rows)[N], int count) {
    if (N != size_t(count)) return false;
    for (size_t i = 0; i < N; ++i)
        if (rows[i].column != int(i)) return false;
    return true;
}

// The fixed columns of a result table, by position or by identifier. A position out of range
// reads as an untitled, unsortable column of the table's fallback width that sorts descending.
class ColumnTable final {
public:
    constexpr ColumnTable(std::span<const ColumnSpec> columns, int fallbackWidth)
        : columns_(columns), fallbackWidth_(fallbackWidth) {}

    constexpr int count() const { return int(columns_.size()); }
    // Only for a position in range.
    constexpr const ColumnSpec& operator[](int column) const { return columns_[size_t(column)]; }

    constexpr const char* identifier(int column) const { return has(column) ? (*this)[column].identifier : ""; }
    constexpr const char* title(int column) const { return has(column) ? (*this)[column].title : ""; }
    constexpr int width(int column) const { return has(column) ? (*this)[column].width : fallbackWidth_; }
    constexpr const char* widestText(int column) const { return has(column) ? (*this)[column].widestText : nullptr; }
    constexpr bool sortable(int column) const { return has(column) && (*this)[column].sortable; }
    constexpr Qt::SortOrder firstSortOrder(int column) const {
        return has(column) ? (*this)[column].firstOrder : Qt::DescendingOrder;
    }

private:
    constexpr bool has(int column) const { return column >= 0 && column < count(); }

    std::span<const ColumnSpec> columns_;
    int fallbackWidth_;
};

}  // namespace zelvane

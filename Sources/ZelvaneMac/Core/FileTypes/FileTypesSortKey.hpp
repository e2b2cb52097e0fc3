#pragma once

#include <string_view>

namespace zelvane {

// What the file-type rows are ordered by: one key per sortable column of the file-types table,
// named by that column's identifier (the names stored header layouts carry). The command line's
// --sortbyfiletypes codes name three of them.
enum class FileTypesSortKey { extension, type, percent, size, allocated, files };

std::string_view fileTypesSortIdentifier(FileTypesSortKey key);
// An unknown or empty identifier reads as allocated, the table's first order.
FileTypesSortKey fileTypesSortKeyFromIdentifier(std::string_view identifier);

}  // namespace zelvane

#pragma once

#include <optional>
#include <span>
#include <string>

#include <QString>

#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"

namespace zelvane {

// The human name of a file type, from its extension (no dot): "(No Extension)" for the empty
// extension, the shared MIME database's comment for a known extension in the user's language,
// else the extension upper-cased (full Unicode mapping, whatever the locale) followed by " File".
QString fileTypeDescription(const QString& extension);

// The file could not be made, written or put in place; callers word the message.
struct FileTypesCSVExportError {
    int underlyingErrno = 0;
};

// The file-type table as CSV text (UTF-8, LF line ends): the header, then one row per entry in
// the given order. Percentages are shares of the allocated totals or of the sizes, "%1.3f" in the
// C locale, 0 when the chosen sum is below 1.
std::string fileTypesCSVText(std::span<const ExtensionStats> stats, bool percentIsAllocatedBased);

// Writes that text to `path` through a temporary file beside it, so a failure leaves an earlier
// file there as it was.
[[nodiscard]] std::optional<FileTypesCSVExportError> exportFileTypesToCSV(std::span<const ExtensionStats> stats,
                                                                          bool percentIsAllocatedBased,
                                                                          const std::string& path);

}  // namespace zelvane

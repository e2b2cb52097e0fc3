#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// Which rows and column groups an export writes. Deliberately without defaults: every caller states
// every choice (designated initialisers; a forgotten field is a compiler warning).
struct CSVExportOptions {
    bool exportFiles;
    bool exportFolders;
    bool exportFileID;
    bool exportDates;
    bool exportFolderSizes;
    bool splitFilename;
    bool exportDriveCapacity;
    bool exportPercentOfParent;
    int maxDepth;  // 0 or less: no limit
    bool useTabDelimiter;
    bool useUTC;
};

// Asked about roots only: the volume holding that root. Its columns stay empty unless both values
// are known.
using DriveCapacityQuery = std::function<VolumeCapacity(const FileNode&)>;

struct CSVExportError {
    enum class Kind { couldNotCreateFile, noFilesOrFoldersSelected };
    Kind kind;
    int underlyingErrno = 0;  // couldNotCreateFile: what creating, writing, closing or renaming said
};

// Writes the roots (or, with `flat`, each given node alone) as CSV/TSV text to `path`. The file is
// written beside the target and renamed over it only once every byte is written and closed, so a
// failure leaves any earlier file at `path` untouched. Nodes marked deleted are left out, with
// their subtrees, as the folder totals leave them out. Reads the nodes, never changes them.
[[nodiscard]] std::optional<CSVExportError> exportToCSV(std::span<FileNode* const> roots,
                                                        const CSVExportOptions& options, bool flat,
                                                        const DriveCapacityQuery& driveCapacity,
                                                        const std::string& path);
[[nodiscard]] std::optional<CSVExportError> exportToCSV(std::span<const RootRef> roots,
                                                        const CSVExportOptions& options, bool flat,
                                                        const DriveCapacityQuery& driveCapacity,
                                                        const std::string& path);

// The pieces of the format, for callers that show or check single fields.
std::string headerLine(const CSVExportOptions& options, char delimiter);
// YYYY/MM/DD HH:MM:SS of the date (whole seconds toward zero), in UTC or in the local zone.
std::string formatCSVDate(DateSeconds date, bool useUTC);
// The node's share of its parent's logical size, "%1.3f" in the C locale; "100.000" for a root.
std::string percentOfParentString(const FileNode& node);

}  // namespace zelvane

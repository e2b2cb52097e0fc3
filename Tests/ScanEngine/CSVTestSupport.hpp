#pragma once

// Helpers shared by the CSV tests: temporary folders, whole-file reads and writes, a fixed time zone
// and packed dates.

#include <cstdint>
#include <string>
#include <vector>

#include "FileContents.hpp"
#include "TempFolder.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane::testing {

// Every column group, whole tree, local time unless asked otherwise.
inline CSVExportOptions everyColumn(bool tabs = false, bool utc = false) {
    return {.exportFiles = true,
            .exportFolders = true,
            .exportFileID = true,
            .exportDates = true,
            .exportFolderSizes = true,
            .splitFilename = true,
            .exportDriveCapacity = true,
            .exportPercentOfParent = true,
            .maxDepth = 0,
            .useTabDelimiter = tabs,
            .useUTC = utc};
}

// Dates in these tests are checked in a fixed zone with daylight saving time, whatever the machine's.
void useTestTimeZone();

// Packed date of a UTC calendar time.
int32_t packedUTC(int y, int mo, int d, int h, int mi, int s);

using TempDir = testsupport::TempFolder;
using testsupport::readFile;
using testsupport::writeFile;
// The names in a folder, sorted.
inline std::vector<std::string> listFolder(const std::string& path) { return testsupport::namesIn(path); }

}  // namespace zelvane::testing

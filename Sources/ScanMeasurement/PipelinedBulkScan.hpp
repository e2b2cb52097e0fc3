#pragma once

#include <optional>
#include <string>

#include "ScanMeasurement/BulkScan.hpp"

namespace zelvane {

// The counting scan split in two stages: syscall workers open folders and fill buffers with
// bulk reads, parse workers decode the buffers. A pool of 2 x syscallWorkers buffers and a bound
// on the folders in flight (default min(16 x syscallWorkers, 512)) keep memory and descriptors
// bounded. Gives the same result as parallelBulkScan on an unchanged tree. Both worker counts
// and the bound are at least 1.
ScanResult pipelinedBulkScan(const std::string& root, int syscallWorkers, int parseWorkers,
                             std::optional<int> maxInFlightDirectories, BulkReader reader = defaultBulkReader,
                             DirectoryCallTally* tally = nullptr);

}  // namespace zelvane

#pragma once

// The counting scan: walks one tree on one volume with bulk directory reads and only counts
// files, folders and bytes. A measuring tool beside the engine's tree scanner, sharing its pieces
// (descriptor budget, buffers, folder calls, record reading, volume checks); tests and benchmarks
// link it, the programs do not.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/BulkAttributes.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "ScanEngine/Scan/WorkStackLocked.hpp"

namespace zelvane {

struct ScanResult {
    int64_t files = 0;
    int64_t dirs = 0;  // the starting folder not included
    int64_t totalBytes = 0;
    ScanResult& operator+=(const ScanResult& o) {
        files += o.files;
        dirs += o.dirs;
        totalBytes += o.totalBytes;
        return *this;
    }
    bool operator==(const ScanResult&) const = default;
};

// A folder waiting to be read: `fd` is its open descriptor, handed over by the worker that read
// its parent and holding one slot of the descriptor budget, or negative when it is to be opened
// by path. `retries` counts the times opening it was put off for want of descriptors.
struct DirWorkItem {
    int fd = -1;
    std::string path;
    int retries = 0;
    static DirWorkItem unopened(std::string path) { return DirWorkItem{-1, std::move(path), 0}; }
};

using DirWorkQueueLocked = WorkStackLocked<DirWorkItem>;

// The attribute request of the counting scan: name, object type, device and logical size.
attrlist countingScanRequest();

// Counts `count` records of one batch of the folder `dirPath` (open as `parentFd`), appending an
// item for every subfolder to visit. The batch stops at a malformed record. In debug mode the
// first record is dumped as hex on standard output.
ScanResult parseBulkEntries(const std::byte* buffer, size_t bufferSize, int count, int parentFd,
                            const std::string& dirPath, bool debug, uint64_t rootDevID,
                            const std::optional<std::string>& rootContainerID, std::vector<DirWorkItem>& subdirsOut,
                            DirectoryCallTally* tally = nullptr);

struct DirScanOutcome {
    ScanResult result;
    std::vector<DirWorkItem> subdirs;
    bool retryLater = false;  // the folder could not be opened for want of descriptors
};

// Reads one whole folder. The item's descriptor (and its budget slot) is always given back.
// When a read fails part-way, everything gathered from the folder is dropped (subfolder
// descriptors closed, their entries given back) and the folder is listed once by the fallback.
DirScanOutcome bulkScanDir(const DirWorkItem& item, bool debug, std::byte* buf, uint64_t rootDevID,
                           const std::optional<std::string>& rootContainerID,
                           BulkReader reader = defaultBulkReader, DirectoryCallTally* tally = nullptr);

struct FallbackListing {
    ScanResult result;
    std::vector<std::string> subfolderPaths;
};

// Lists one folder with the standard library (opendir/readdir and fstatat) when the bulk read
// failed. A folder that cannot be listed gives zeros.
FallbackListing fileManagerScanDirFallback(const std::string& path, uint64_t rootDevID,
                                           const std::optional<std::string>& rootContainerID,
                                           DirectoryCallTally* tally = nullptr);

struct RootVolumeIdentity {
    uint64_t devID = 0;  // 0 when the path cannot be stat'ed
    std::optional<std::string> containerID;
};
RootVolumeIdentity rootVolumeIdentity(const std::string& path);

// The counting scan of one tree with `workerCount` workers (at least 1).
ScanResult parallelBulkScan(const std::string& root, int workerCount, BulkReader reader = defaultBulkReader,
                            DirectoryCallTally* tally = nullptr);

// Whether a subfolder found inside the root's tree is read: same volume (the record's device
// equals the root's, or the path passes isDifferentVolume) and not the data-volume mirror.
bool shouldDescend(uint64_t childDevID, bool childHasDevID, const std::string& parentPath, std::string_view name,
                   uint64_t rootDevID, const std::optional<std::string>& rootContainerID);

}  // namespace zelvane

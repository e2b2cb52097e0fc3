#pragma once

// The counting scan: walks one tree on one volume with bulk directory reads and only counts
// files, folders and bytes. A measuring tool of the engine, beside the tree scanner, sharing its
// pieces (descriptor budget, per-worker buffers, record reading, volume checks).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/BulkAttributes.hpp"
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

// The size of every bulk-read buffer.
inline constexpr size_t scanBufSize = 1u << 20;

// A bulk-read buffer. Pages are only touched as records are written, so an idle buffer costs
// address space, not memory.
class ScanBuffer final {
public:
    ScanBuffer() : bytes_(new std::byte[scanBufSize]) {}
    std::byte* pointer() const { return bytes_.get(); }

private:
    std::unique_ptr<std::byte[]> bytes_;
};

// The calling thread's own buffer, made on its first call and freed with the thread.
std::byte* threadLocalScanBuffer();

// The system call that fills a buffer with records (the platform's, counted when counting is
// on). Tests substitute their own to make a folder fail part-way.
using BulkReader = int (*)(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options);
int defaultBulkReader(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options);

// The attribute request of the counting scan: name, object type, device and logical size.
attrlist countingScanRequest();

// Counts `count` records of one batch of the folder `dirPath` (open as `parentFd`), appending an
// item for every subfolder to visit. The batch stops at a malformed record. In debug mode the
// first record is dumped as hex on standard output.
ScanResult parseBulkEntries(const std::byte* buffer, size_t bufferSize, int count, int parentFd,
                            const std::string& dirPath, bool debug, uint64_t rootDevID,
                            const std::optional<std::string>& rootContainerID, std::vector<DirWorkItem>& subdirsOut);

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
                           BulkReader reader = defaultBulkReader);

struct FallbackListing {
    ScanResult result;
    std::vector<std::string> subfolderPaths;
};

// Lists one folder with the standard library (opendir/readdir and fstatat) when the bulk read
// failed. A folder that cannot be listed gives zeros.
FallbackListing fileManagerScanDirFallback(const std::string& path, uint64_t rootDevID,
                                           const std::optional<std::string>& rootContainerID);

struct RootVolumeIdentity {
    uint64_t devID = 0;  // 0 when the path cannot be stat'ed
    std::optional<std::string> containerID;
};
RootVolumeIdentity rootVolumeIdentity(const std::string& path);

// The counting scan of one tree with `workerCount` workers (at least 1).
ScanResult parallelBulkScan(const std::string& root, int workerCount, BulkReader reader = defaultBulkReader);

// Shared by the scanners ------------------------------------------------------------------------

// Whether a subfolder found inside the root's tree is read: same volume (the record's device
// equals the root's, or the path passes isDifferentVolume) and not the data-volume mirror.
bool shouldDescend(uint64_t childDevID, bool childHasDevID, const std::string& parentPath, std::string_view name,
                   uint64_t rootDevID, const std::optional<std::string>& rootContainerID);

// Joins a folder path and one name (no doubled slash after a root of "/").
std::string appendPathComponent(const std::string& parent, std::string_view name);

// Closes a folder's descriptor and gives its budget slot back when it holds one.
void closeDirFd(int fd, bool holdsBudgetSlot);

// An open by path that failed for want of descriptors is tried again later, never taken for an
// empty folder. After this many attempts (about half a minute of waiting) it is given up.
inline constexpr int kMaxOpenRetries = 3000;
bool isDescriptorShortage(int err);
// Sleeps before another attempt of an item that was put off `retries` times.
void waitBeforeRetry(int retries);

}  // namespace zelvane

#include "ScanMeasurement/BulkScan.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "ScanEngine/Scan/BulkRecord.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "ScanEngine/Scan/VolumeChecks.hpp"

namespace zelvane {

attrlist countingScanRequest() {
    attrlist a;
    a.commonattr = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE;
    a.fileattr = ATTR_FILE_TOTALSIZE;
    return a;
}

bool shouldDescend(uint64_t childDevID, bool childHasDevID, const std::string& parentPath, std::string_view name,
                   uint64_t rootDevID, const std::optional<std::string>& rootContainerID) {
    // The record's device is what stat of the path would say, so the path is only stat'ed (and
    // built) when the devices differ.
    if (!(childHasDevID && childDevID == rootDevID) &&
        isDifferentVolume(appendPathComponent(parentPath, name), rootDevID, rootContainerID))
        return false;
    return !isDataVolumeMirror(parentPath, name);
}

namespace {

void dumpFirstRecord(const std::byte* rec, size_t available) {
    uint32_t length = 0;
    if (available >= sizeof length) std::memcpy(&length, rec, sizeof length);
    size_t shown = std::min<size_t>({length, 64, available});
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line = "[debug] first entry (";
    line += std::to_string(length);
    line += " bytes): ";
    for (size_t i = 0; i < shown; ++i) {
        if (i) line.push_back(' ');
        auto b = uint8_t(rec[i]);
        line.push_back(kHex[b >> 4]);
        line.push_back(kHex[b & 15]);
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void dropGatheredItems(std::vector<DirWorkItem>& items, DirectoryCallTally* tally) {
    for (auto& it : items) closeDirFd(it.fd, true, tally);
    items.clear();
}

}  // namespace

ScanResult parseBulkEntries(const std::byte* buffer, size_t bufferSize, int count, int parentFd,
                            const std::string& dirPath, bool debug, uint64_t rootDevID,
                            const std::optional<std::string>& rootContainerID, std::vector<DirWorkItem>& subdirsOut,
                            DirectoryCallTally* tally) {
    ScanResult r;
    size_t offset = 0;
    BulkRecord rec;
    for (int i = 0; i < count; ++i) {
        if (debug && i == 0) dumpFirstRecord(buffer, bufferSize);
        size_t len = readBulkRecord({buffer + offset, bufferSize - offset}, rec);
        if (len == 0) break;
        offset += len;
        if (!rec.hasName) continue;
        if (rec.name == "." || rec.name == "..") continue;
        if (!rec.isDir()) {
            ++r.files;
            r.totalBytes += rec.hasTotalSize ? rec.totalSize : 0;
            continue;
        }
        ++r.dirs;
        if (!shouldDescend(rec.devID, rec.hasDevID, dirPath, rec.name, rootDevID, rootContainerID)) continue;
        int fd = openChildWithBudget(parentFd, rec.name.data(), tally);
        subdirsOut.push_back(DirWorkItem{fd, appendPathComponent(dirPath, rec.name), 0});
    }
    return r;
}

FallbackListing fileManagerScanDirFallback(const std::string& path, uint64_t rootDevID,
                                           const std::optional<std::string>& rootContainerID, DirectoryCallTally* tally) {
    FallbackListing out;
    int fd = openDirectory(path.c_str(), tally);
    if (fd < 0) return out;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        closeDirectory(fd, tally);
        return out;
    }
    int dfd = ::dirfd(dir);
    while (dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            ++out.result.files;
            out.result.totalBytes += st.st_size;
            continue;
        }
        ++out.result.dirs;
        if (shouldDescend(st.st_dev, true, path, name, rootDevID, rootContainerID))
            out.subfolderPaths.push_back(appendPathComponent(path, name));
    }
    ::closedir(dir);
    return out;
}

DirScanOutcome bulkScanDir(const DirWorkItem& item, bool debug, std::byte* buf, uint64_t rootDevID,
                           const std::optional<std::string>& rootContainerID, BulkReader reader,
                           DirectoryCallTally* tally) {
    DirScanOutcome out;
    const bool handedOver = item.fd >= 0;
    int fd = item.fd;
    if (!handedOver) {
        fd = openDirectory(item.path.c_str(), tally);
        if (fd < 0) {
            // Counted by its parent and left out, unless descriptors only ran short for a while.
            out.retryLater = isDescriptorShortage(errno) && item.retries < kMaxOpenRetries;
            return out;
        }
    }
    const attrlist request = countingScanRequest();
    bool firstBatch = true;
    for (;;) {
        int n = reader(fd, &request, buf, scanBufSize, 0);
        if (n > 0) {
            out.result += parseBulkEntries(buf, scanBufSize, n, fd, item.path, debug && firstBatch, rootDevID,
                                           rootContainerID, out.subdirs, tally);
            firstBatch = false;
            continue;
        }
        if (n < 0) {
            // Roll the folder back to before its first batch and list it once, by the fallback.
            dropGatheredItems(out.subdirs, tally);
            FallbackListing fb = fileManagerScanDirFallback(item.path, rootDevID, rootContainerID, tally);
            out.result = fb.result;
            for (auto& p : fb.subfolderPaths) out.subdirs.push_back(DirWorkItem::unopened(std::move(p)));
        }
        closeDirFd(fd, handedOver, tally);
        return out;
    }
}

RootVolumeIdentity rootVolumeIdentity(const std::string& path) {
    RootVolumeIdentity id;
    if (auto st = statPath(path)) id.devID = st->dev;
    id.containerID = containerDiskID(path);
    return id;
}

ScanResult parallelBulkScan(const std::string& root, int workerCount, BulkReader reader, DirectoryCallTally* tally) {
    fdBudget().fitToLimit();
    DirWorkQueueLocked queue;
    queue.push(DirWorkItem::unopened(root));
    const RootVolumeIdentity rootId = rootVolumeIdentity(root);
    std::mutex accumulatorLock;
    ScanResult total;

    auto worker = [&] {
        ScanBuffer buffer;
        ScanResult mine;
        while (auto item = queue.pop()) {
            waitBeforeRetry(item->retries);
            DirScanOutcome o =
                bulkScanDir(*item, false, buffer.pointer(), rootId.devID, rootId.containerID, reader, tally);
            if (o.retryLater) {
                ++item->retries;
                queue.requeueLater(std::move(*item));
                continue;
            }
            mine += o.result;
            queue.complete(o.subdirs);
        }
        std::lock_guard lock(accumulatorLock);
        total += mine;
    };
    std::vector<std::thread> threads;
    int n = std::max(workerCount, 1);
    threads.reserve(size_t(n - 1));
    for (int w = 1; w < n; ++w) threads.emplace_back(worker);
    worker();
    for (auto& t : threads) t.join();
    return total;
}

}  // namespace zelvane

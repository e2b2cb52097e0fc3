#pragma once

// Reading one open folder entry by entry, shared by the parallel and the sequential tree scans.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "Platform/FileSystemInfo.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

#include "ScanEngine/Scan/BulkRecord.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "ScanEngine/Scan/DirectoryEntry.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"

namespace zelvane {

struct EntryCounts {
    int64_t files = 0;
    int64_t dirs = 0;
    int64_t bytes = 0;
};

// A folder's path as bytes for system calls, built at most once per folder and only when needed.
class FolderPath final {
public:
    void reset(const FileNode* folder) {
        folder_ = folder;
        known_ = false;
    }
    const std::string& get() {
        if (!known_) {
            path_ = folder_->pathBytes();
            known_ = true;
        }
        return path_;
    }

private:
    const FileNode* folder_ = nullptr;
    std::string path_;
    bool known_ = false;
};

// The attribute request of the tree scans.
attrlist treeScanRequest();

// The standard library's listing of the folder at `path` (opendir, readdir, fstatat); entries
// whose facts cannot be read are skipped. `onEntry(facts, dirFd, counts)`. 0, or the errno that
// ended the listing: the folder could not be opened or listed, or it may be listed but not
// searched (EACCES, EPERM), when none of its entries can be known.
template <typename OnEntry>
int listFolderWithoutBulkReads(const std::string& path, DirectoryCallTally* tally, EntryCounts& counts,
                               OnEntry&& onEntry) {
    int fd = openDirectory(path.c_str(), tally);
    if (fd < 0) return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int err = errno;
        closeDirectory(fd, tally);
        return err;
    }
    int dfd = ::dirfd(dir);
    int refused = 0;
    while (dirent* d = ::readdir(dir)) {
        std::string_view name(d->d_name);
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(dfd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (isPermissionError(errno)) {
                refused = errno;
                break;
            }
            continue;
        }
        onEntry(entryFactsFromStat(name, st), dfd, counts);
    }
    ::closedir(dir);
    return refused;
}

// Reads every entry of the open folder `fd` (at `path`, built only if needed) in bulk batches, calling
// `onEntry(facts, fd, counts)` for each and reporting each batch to the tracker. Stops before a
// batch when the scan is cancelled. When a read fails part-way, `rollBack()` undoes what the
// earlier batches added and the folder is listed once more, whole, by the standard library
// (reported as one batch), so that every entry is added exactly once. Returns 0, or the errno
// of a folder that may be listed but not searched (EACCES, EPERM): then everything added was
// rolled back, and the folder is one that could not be read.
template <typename OnEntry, typename RollBack>
int readFolderEntries(int fd, FolderPath& path, BulkReader reader, DirectoryCallTally* tally, std::byte* buf,
                      ScanProgressTracker* tracker, OnEntry&& onEntry, RollBack&& rollBack) {
    static const attrlist request = treeScanRequest();
    for (;;) {
        if (tracker && tracker->isCancelled()) return 0;
        int n = reader(fd, &request, buf, scanBufSize, FSOPT_ATTR_CMN_EXTENDED);
        if (n == 0) return 0;
        if (n < 0) {
            const int err = errno;
            rollBack();
            if (isPermissionError(err)) return err;
            EntryCounts counts;
            const int listed = listFolderWithoutBulkReads(path.get(), tally, counts, onEntry);
            if (isPermissionError(listed)) {
                rollBack();
                return listed;
            }
            if (listed == 0 && tracker) tracker->record(counts.files, counts.dirs, counts.bytes);
            return 0;
        }
        EntryCounts counts;
        size_t offset = 0;
        BulkRecord rec;
        for (int i = 0; i < n; ++i) {
            size_t len = readBulkRecord({buf + offset, scanBufSize - offset}, rec);
            if (len == 0) break;  // a malformed record ends the batch
            offset += len;
            if (!rec.hasName || rec.name == "." || rec.name == "..") continue;
            onEntry(entryFactsFromRecord(rec), fd, counts);
        }
        if (tracker) tracker->record(counts.files, counts.dirs, counts.bytes);
    }
}

}  // namespace zelvane

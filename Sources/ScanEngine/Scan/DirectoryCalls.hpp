#pragma once

// How the scanners reach folders: their system calls, the bulk-read buffer, and the rules for
// descriptors that run short.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/BulkAttributes.hpp"

namespace zelvane {

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

// The system call that fills a buffer with records. Tests substitute their own to make a folder
// fail part-way.
using BulkReader = int (*)(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options);
int defaultBulkReader(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options);

// The calls of one scan that opened and closed folders, kept only when a measurement asks for
// them (a scan is given a tally or none). Any thread of the scan may add to it.
struct DirectoryCallTally {
    std::atomic<int64_t> opens{0};    // by path
    std::atomic<int64_t> openats{0};  // relative to an open parent
    std::atomic<int64_t> closes{0};
};

// Folders are opened read-only and close-on-exec; a path longer than the kernel takes at once is
// opened a piece at a time. A folder opened relative to its parent is not followed when it is a
// symbolic link.
int openDirectory(const char* path, DirectoryCallTally* tally);
int openDirectoryAt(int parentFd, const char* name, DirectoryCallTally* tally);
void closeDirectory(int fd, DirectoryCallTally* tally);

// Opens a subfolder relative to its parent when the descriptor budget has a slot; -1 otherwise.
int openChildWithBudget(int parentFd, const char* name, DirectoryCallTally* tally);
// Closes a folder's descriptor and gives its budget slot back when it holds one.
void closeDirFd(int fd, bool holdsBudgetSlot, DirectoryCallTally* tally);

// Joins a folder path and one name (no doubled slash after a root of "/").
std::string appendPathComponent(const std::string& parent, std::string_view name);

// An open by path that failed for want of descriptors is tried again later, never taken for an
// empty folder. After this many attempts (about half a minute of waiting) it is given up.
inline constexpr int kMaxOpenRetries = 3000;
bool isDescriptorShortage(int err);
// Sleeps before another attempt of an item that was put off `retries` times.
void waitBeforeRetry(int retries);

}  // namespace zelvane

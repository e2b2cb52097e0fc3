#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Platform/BulkAttributes.hpp"

namespace zelvane {

// Diagnostic counts of the system calls that scanners make; nothing is counted unless
// `countSyscallsEnabled` is switched on.
extern std::atomic<bool> countSyscallsEnabled;

struct SyscallCounts {
    int64_t opens = 0;
    int64_t openats = 0;
    int64_t getattrlistbulks = 0;
    int64_t closes = 0;
    bool operator==(const SyscallCounts&) const = default;
};

SyscallCounts syscallCountSnapshot();
void resetSyscallCounts();

// The scanners' system calls, counted when counting is on. Directories are opened read-only,
// close-on-exec and without following a final symbolic link.
int countedOpenDirectory(const char* path);
int countedOpenatDirectory(int parentFd, const char* name);
int countedGetattrlistbulk(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options);
void countedClose(int fd);

}  // namespace zelvane

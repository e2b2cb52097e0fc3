// One tree scan:  zelvane-scan [--workers N] [--sequential] [--exclude TEXT] PATH...
//   ->  files=F dirs=D bytes=B alloc=A seconds=S maxrss_mb=M
// files: every entry that is not a folder; bytes: their logical sizes, every link counted;
// alloc: the roots' rolled-up allocated totals (hard links once); the time covers the whole scan
// (tree built, rolled up, numbered, flat lists joined).

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "Platform/Processors.hpp"
#include "ScanMeasurement/SequentialTreeScan.hpp"

int main(int argc, char** argv) {
    using namespace zelvane;
    int workers = activeProcessorCount();
    bool sequential = false;
    std::string exclude;
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sequential")) {
            sequential = true;
        } else if (!std::strcmp(argv[i], "--exclude") && i + 1 < argc) {
            exclude = argv[++i];
        } else if (!std::strcmp(argv[i], "--workers") && i + 1 < argc) {
            ++i;
            std::from_chars(argv[i], argv[i] + std::strlen(argv[i]), workers);
        } else {
            roots.emplace_back(argv[i]);
        }
    }
    if (roots.empty() || workers < 1 || (sequential && roots.size() != 1)) {
        std::fputs("usage: zelvane-scan [--workers N] [--sequential] [--exclude TEXT] PATH...\n", stderr);
        return 2;
    }
    raiseFileDescriptorLimit();
    std::optional<DecodedFilter> filters;
    bool fullpath = false;
    if (!exclude.empty()) filters = decodeFilterText(std::string_view(exclude), fullpath);
    auto t0 = std::chrono::steady_clock::now();
    std::vector<RootRef> result;
    if (sequential) {
        SequentialScanOptions o;
        o.excludeFilters = filters;
        o.excludeFullPath = fullpath;
        if (auto r = scanToTree(roots[0], o)) result.push_back(r);
    } else {
        ParallelScanOptions o;
        o.workerCount = workers;
        o.excludeFilters = filters;
        o.excludeFullPath = fullpath;
        result = parallelScanToTree(roots, o);
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    long long files = 0, dirs = 0, bytes = 0, alloc = 0;
    for (auto& r : result) {
        if (r->isDir()) {
            files += r->subFolderFileCount();
            dirs += r->subFolderDirCount();
            bytes += r->subFolderTotSize();
            alloc += r->subFolderTotSizeAlloc();
        } else {
            files += 1;
            bytes += r->fileSize;
        }
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    char s[32];
    auto end = std::to_chars(s, s + sizeof s, secs, std::chars_format::fixed, 3).ptr;
    std::printf("files=%lld dirs=%lld bytes=%lld alloc=%lld seconds=%.*s maxrss_mb=%ld\n", files, dirs, bytes, alloc,
                int(end - s), s, ru.ru_maxrss / 1024);
    // The trees are left to the end of the process, as a command-line scanner leaves them.
    std::fflush(stdout);
    std::_Exit(0);
}

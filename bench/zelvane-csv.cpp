// zelvane-csv export OUT PATH...   scan the paths, then export them with every column group
// zelvane-csv import FILE          import an export (the delimiter follows the extension)
// Prints the time of the export or import alone.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Support/LocaleFormat.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "Platform/Processors.hpp"

using namespace zelvane;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int usage() {
    std::fprintf(stderr, "usage: zelvane-csv export OUT PATH... | zelvane-csv import FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    std::string mode = argv[1];
    if (mode == "export" && argc >= 4) {
        raiseFileDescriptorLimit();
        ParallelScanOptions scanOptions;
        scanOptions.workerCount = activeProcessorCount();
        auto scanStart = std::chrono::steady_clock::now();
        std::vector<RootRef> roots = parallelScanToTree(std::vector<std::string>(argv + 3, argv + argc), scanOptions);
        double scanSeconds = secondsSince(scanStart);
        size_t rows = 1;
        for (const RootRef& r : roots) rows += 1 + size_t(r->subFolderFileCount()) + size_t(r->subFolderDirCount());
        const CSVExportOptions everything{.exportFiles = true,
                                          .exportFolders = true,
                                          .exportFileID = true,
                                          .exportDates = true,
                                          .exportFolderSizes = true,
                                          .splitFilename = true,
                                          .exportDriveCapacity = true,
                                          .exportPercentOfParent = true,
                                          .maxDepth = 0,
                                          .useTabDelimiter = false,
                                          .useUTC = false};
        auto capacity = [](const FileNode&) { return VolumeCapacity{1000, 400}; };
        auto start = std::chrono::steady_clock::now();
        auto err = exportToCSV(roots, everything, false, capacity, argv[2]);
        double seconds = secondsSince(start);
        if (err) {
            std::fprintf(stderr, "export failed: %s\n", std::strerror(err->underlyingErrno));
            return 1;
        }
        std::printf("rows=%zu seconds=%s scan_seconds=%s\n", rows, formatFixed(seconds, 3).c_str(),
                    formatFixed(scanSeconds, 3).c_str());
        return 0;
    }
    if (mode == "import" && argc == 3) {
        struct stat st {};
        stat(argv[2], &st);
        auto start = std::chrono::steady_clock::now();
        CSVImportOutcome outcome = importFromCSV(argv[2]);
        double seconds = secondsSince(start);
        if (outcome.error) {
            std::fprintf(stderr, "import failed\n");
            return 1;
        }
        int64_t files = 0, dirs = 0;
        for (const RootRef& r : outcome.result.roots) {
            files += r->subFolderFileCount();
            dirs += r->subFolderDirCount() + (r->isDir() ? 1 : 0);
        }
        std::printf("files=%lld dirs=%lld seconds=%s mb_per_s=%s\n", (long long)files, (long long)dirs,
                    formatFixed(seconds, 3).c_str(), formatFixed(double(st.st_size) / 1e6 / seconds, 1).c_str());
        return 0;
    }
    return usage();
}

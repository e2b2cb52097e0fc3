// One counting scan:  zelvane-count [--pipelined [--parse-workers P]] [--workers N] PATH
//   ->  files=F dirs=D bytes=B seconds=S
// The pipelined scan runs N syscall workers and P parse workers (default N / 4: parsing is light,
// and idle parse workers only add wake-ups).

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "ScanMeasurement/BulkScan.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanMeasurement/PipelinedBulkScan.hpp"
#include "Platform/Processors.hpp"

int main(int argc, char** argv) {
    using namespace zelvane;
    bool pipelined = false;
    int workers = activeProcessorCount();
    int parseWorkers = 0;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pipelined")) {
            pipelined = true;
        } else if (!std::strcmp(argv[i], "--parse-workers") && i + 1 < argc) {
            ++i;
            std::from_chars(argv[i], argv[i] + std::strlen(argv[i]), parseWorkers);
        } else if (!std::strcmp(argv[i], "--workers") && i + 1 < argc) {
            ++i;
            std::from_chars(argv[i], argv[i] + std::strlen(argv[i]), workers);
        } else {
            root = argv[i];
        }
    }
    if (root.empty() || workers < 1) {
        std::fputs("usage: zelvane-count [--pipelined [--parse-workers P]] [--workers N] PATH\n", stderr);
        return 2;
    }
    raiseFileDescriptorLimit();
    auto t0 = std::chrono::steady_clock::now();
    ScanResult r = pipelined ? pipelinedBulkScan(root, workers, parseWorkers > 0 ? parseWorkers : std::max(1, workers / 4), std::nullopt) : parallelBulkScan(root, workers);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    char s[32];
    auto end = std::to_chars(s, s + sizeof s, secs, std::chars_format::fixed, 3).ptr;
    std::printf("files=%lld dirs=%lld bytes=%lld seconds=%.*s\n", (long long)r.files, (long long)r.dirs,
                (long long)r.totalBytes, int(end - s), s);
    return 0;
}

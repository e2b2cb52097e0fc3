#pragma once

// Resident memory of the benchmark's own process, from /proc/self/status.

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

namespace zelvane::bench {

// VmRSS and VmHWM of this process, in KiB.
inline std::pair<long, long> residentKiB() {
    std::ifstream status("/proc/self/status");
    long rss = 0, hwm = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::atol(line.c_str() + 6);
    }
    return {rss, hwm};
}

// Starts a new high-water mark at the current resident size.
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

}  // namespace zelvane::bench

#pragma once

// Helpers shared by the CSV tests: temporary folders, whole-file reads and writes, a fixed time zone
// and packed dates.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TempFolder.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane::testing {

// Every column group, whole tree, local time unless asked otherwise.
inline CSVExportOptions everyColumn(bool tabs = false, bool utc = false) {
    return {.exportFiles = true,
            .exportFolders = true,
            .exportFileID = true,
            .exportDates = true,
            .exportFolderSizes = true,
            .splitFilename = true,
            .exportDriveCapacity = true,
            .exportPercentOfParent = true,
            .maxDepth = 0,
            .useTabDelimiter = tabs,
            .useUTC = utc};
}

// Dates in these tests are checked in a fixed zone with daylight saving time, whatever the machine's.
inline void useTestTimeZone() {
    static const bool once = [] {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        return true;
    }();
    (void)once;
}

using TempDir = testsupport::TempFolder;

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    return names;
}

// Packed date of a UTC calendar time.
inline int32_t packedUTC(int y, int mo, int d, int h, int mi, int s) {
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return packDate(referenceSecondsFromUnix(double(timegm(&tm))));
}

}  // namespace zelvane::testing

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

class TempDir final {
public:
    TempDir() {
        std::string tmpl = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zelvane-csv-XXXXXX";
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { removeTree(path_); }

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Iterative removal: test trees can be deep.
    static void removeTree(const std::string& root) {
        std::vector<std::pair<std::string, bool>> stack{{root, false}};
        while (!stack.empty()) {
            auto [p, visited] = stack.back();
            stack.pop_back();
            struct stat st {};
            if (lstat(p.c_str(), &st) != 0) continue;
            if (!S_ISDIR(st.st_mode)) {
                unlink(p.c_str());
                continue;
            }
            if (visited) {
                rmdir(p.c_str());
                continue;
            }
            chmod(p.c_str(), 0700);
            stack.push_back({p, true});
            if (DIR* d = opendir(p.c_str())) {
                while (dirent* e = readdir(d)) {
                    std::string n = e->d_name;
                    if (n == "." || n == "..") continue;
                    stack.push_back({p + "/" + n, false});
                }
                closedir(d);
            }
        }
    }

private:
    std::string path_;
};

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

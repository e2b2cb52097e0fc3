// zelvane-csv export OUT PATH...   scan the paths, then export them with every column group
// zelvane-csv import FILE          import an export (the delimiter follows the extension)
// Prints the time of the export or import alone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CSVExporter.hpp"
#include "CSVImporter.hpp"
#include "LocaleFormat.hpp"

using namespace zelvane;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A plain one-thread walk, enough to give the export a real tree.
RootRef scan(const std::string& rootPath) {
    auto store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    struct stat st {};
    lstat(rootPath.c_str(), &st);
    FileNode* root = arena.makeRoot(rootPath, true, 0, 0, packDate(referenceSecondsFromUnix(double(st.st_mtime))));
    std::vector<std::pair<FileNode*, int>> stack;
    int fd = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) stack.push_back({root, fd});
    std::vector<FileNode*> kids;
    while (!stack.empty()) {
        auto [folder, dfd] = stack.back();
        stack.pop_back();
        DIR* d = fdopendir(dfd);
        if (!d) {
            close(dfd);
            continue;
        }
        kids.clear();
        std::vector<std::pair<FileNode*, int>> sub;
        while (dirent* e = readdir(d)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            struct stat s {};
            if (fstatat(dfd, e->d_name, &s, AT_SYMLINK_NOFOLLOW) != 0) continue;
            bool dir = S_ISDIR(s.st_mode);
            FileNode* n = arena.makeNode(e->d_name, dir, dir ? 0 : s.st_size, dir ? 0 : int64_t(s.st_blocks) * 512,
                                         packDate(referenceSecondsFromUnix(double(s.st_mtime))));
            n->fileID = s.st_ino;
            n->setLastAccessDate(referenceSecondsFromUnix(double(s.st_atime)));
            kids.push_back(n);
            if (dir) {
                int cfd = openat(dfd, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
                if (cfd >= 0) sub.push_back({n, cfd});
            }
        }
        closedir(d);
        folder->setChildren(arena, kids);
        stack.insert(stack.end(), sub.begin(), sub.end());
    }
    root->aggregateSizes();
    return store->handle(root);
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
        std::vector<RootRef> roots;
        auto scanStart = std::chrono::steady_clock::now();
        for (int i = 3; i < argc; ++i) roots.push_back(scan(argv[i]));
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
        auto capacity = [](const FileNode&) { return std::optional<DriveCapacity>(DriveCapacity{1000, 400}); };
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

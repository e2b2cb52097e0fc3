#include "TestTree.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Platform/FileSystemInfo.hpp"

#include <cerrno>

#include "Platform/BulkAttributes.hpp"

namespace zelvane::test {

namespace fs = std::filesystem;

void TempTree::dir(const std::string& rel) const { fs::create_directories(at(rel)); }

void TempTree::file(const std::string& rel, int64_t size) const {
    fs::path p = at(rel);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 && errno == ENOENT && p.has_parent_path()) {
        fs::create_directories(p.parent_path());
        fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (fd < 0) throw std::runtime_error("cannot create " + p.string());
    if (size > 0 && ::ftruncate(fd, size) != 0) throw std::runtime_error("ftruncate");
    ::close(fd);
}

void TempTree::hardlink(const std::string& existing, const std::string& rel) const {
    fs::path p = at(rel);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    if (::link(at(existing).c_str(), p.c_str()) != 0) throw std::runtime_error("link");
}

void TempTree::symlink(const std::string& target, const std::string& rel) const {
    fs::path p = at(rel);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    if (::symlink(target.c_str(), p.c_str()) != 0) throw std::runtime_error("symlink");
}

void TempTree::chmod(const std::string& rel, unsigned mode) const { ::chmod(at(rel).c_str(), mode); }

void buildMixedTree(const TempTree& t) {
    t.file("a/one", 100000);
    t.file("a/two", 0);
    t.file("a/b/c/three", 12345);
    t.hardlink("a/one", "d/one-link");
    t.hardlink("a/one", "a/b/one-link2");
    t.symlink("../a", "d/to-a");
    t.symlink("nowhere", "d/dangling");
    t.file(".hidden-file", 3);
    t.dir("empty1");
    t.dir("e/empty2");
    std::string deep = "deep";
    for (int i = 0; i < 60; ++i) deep += numbered("/l", i);
    t.file(deep + "/bottom", 7);
    for (int i = 0; i < 700; ++i) t.file(numbered("wide/w", i), i * 13);
    for (int i = 0; i < 40; ++i) t.dir(numbered("many/sub", i) + "/x");
    for (const char* p : {"a/b/c/three", "a/one"}) {
        const int fd = ::open(t.at(p).c_str(), O_WRONLY | O_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, "data", 4) == 4;
        if (fd >= 0) ::close(fd);
        if (!written) throw std::runtime_error("cannot write into " + t.at(p));
    }
}

WalkCounts independentWalk(const std::string& root) {
    WalkCounts c;
    struct stat rst;
    if (::stat(root.c_str(), &rst) != 0) return c;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> stack{root};
    while (!stack.empty()) {
        std::string p = stack.back();
        stack.pop_back();
        DIR* d = ::opendir(p.c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            std::string child = p.back() == '/' ? p + n : p + "/" + n;
            struct stat st;
            if (::lstat(child.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                ++c.dirs;
                if (st.st_dev == rst.st_dev) stack.push_back(child);
            } else {
                ++c.files;
                c.bytes += st.st_size;
                if (seen.insert({st.st_dev, st.st_ino}).second) c.allocOnce += int64_t(st.st_blocks) * 512;
            }
        }
        ::closedir(d);
    }
    return c;
}

std::string numbered(std::string_view prefix, long long n) {
    std::string s(prefix);
    s.append(std::to_string(n));
    return s;
}

int openDescriptorCount() {
    // The mount table keeps one descriptor open for the life of the process; have it open
    // before counting, so that counts taken before and after a scan compare.
    zelvane::statfsPath("/");
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return -1;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') ++n;
    ::closedir(d);
    return n - 1;  // the listing's own descriptor
}

int failOnSecondRead(int fd, const attrlist* a, void* buf, size_t, uint64_t opts) {
    thread_local int lastFd = -1;
    thread_local int calls = 0;
    if (fd != lastFd) {
        lastFd = fd;
        calls = 0;
    }
    if (++calls >= 2) {
        lastFd = -1;
        errno = EIO;
        return -1;
    }
    return getattrlistbulk(fd, a, buf, 2048, opts);  // a few records per batch
}

}  // namespace zelvane::test

#include "TempFolder.hpp"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace zelvane::testsupport {
namespace {

bool isFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TempFolder::TempFolder(std::string_view prefix, std::string_view base) {
    std::string parent(base);
    if (!isFolder(parent)) {
        const char* tmp = std::getenv("TMPDIR");
        parent = tmp && isFolder(tmp) ? tmp : "/tmp";
    }
    std::string templ = parent + "/" + std::string(prefix) + "-XXXXXX";
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed under " + parent);
    path_ = std::move(templ);
    ::chmod(path_.c_str(), 0755);
}

TempFolder::~TempFolder() { removeTree(path_); }

void TempFolder::removeTree(const std::string& root) {
    // Each folder is visited twice: first to open it up and queue its entries, then (once they
    // are gone) to remove it.
    std::vector<std::pair<std::string, bool>> stack{{root, false}};
    while (!stack.empty()) {
        auto [path, emptied] = std::move(stack.back());
        stack.pop_back();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            ::unlink(path.c_str());
            continue;
        }
        if (emptied) {
            ::rmdir(path.c_str());
            continue;
        }
        ::chmod(path.c_str(), 0700);
        stack.emplace_back(path, true);
        if (DIR* d = ::opendir(path.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string_view name = e->d_name;
                if (name == "." || name == "..") continue;
                stack.emplace_back(path + "/" + std::string(name), false);
            }
            ::closedir(d);
        }
    }
}

const std::vector<std::string>& hostileNames() {
    static const std::vector<std::string> names = {
        "say \"hi\", friend",        // quotes and a comma
        "line\nbreak\tand tab",      // control characters
        "bad-\xff\xfe-utf8",         // bytes that are not UTF-8
        "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d.txt",  // right-to-left text
        "Cafe\xcc\x81 and caf\xc3\xa9",          // combining and precomposed accents
        "-starts-with-dash",
        "back\\slash and %d %t",
        std::string(255, 'n'),       // the longest name a folder may hold
    };
    return names;
}

int runInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int rc = 99;
        try {
            rc = body();
        } catch (...) {
            rc = 98;
        }
        std::fflush(nullptr);
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

bool runningAsRoot() { return ::geteuid() == 0; }

int runUnprivileged(const std::function<int()>& body) {
    return runInChild([&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            return 97;
        return body();
    });
}

}  // namespace zelvane::testsupport

#include "TempFolder.hpp"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>
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

namespace {

// Whether `uid` (its group being `uid` too) may search or run `path` and every folder above it.
bool reachableBy(unsigned uid, const std::string& path) {
    std::string at = path;
    while (!at.empty()) {
        struct stat st {};
        if (::stat(at.c_str(), &st) != 0) return false;
        const mode_t bit = st.st_uid == uid ? S_IXUSR : st.st_gid == uid ? S_IXGRP : S_IXOTH;
        if (!(st.st_mode & bit)) return false;
        if (at == "/") break;
        const size_t slash = at.find_last_of('/');
        at = slash == 0 ? "/" : at.substr(0, slash);
    }
    return true;
}

}  // namespace

std::string programRunnableBy(unsigned uid, const std::string& program, std::string* why) {
    if (program.empty() || program.front() != '/') {
        if (why) *why = "the program \"" + program + "\" is not named by an absolute path";
        return {};
    }
    if (reachableBy(uid, program)) return program;
    // One copy per program for the whole test process.
    static std::vector<std::pair<std::string, std::unique_ptr<TempFolder>>> copies;
    for (const auto& [original, folder] : copies)
        if (original == program) return folder->path() + "/" + program.substr(program.find_last_of('/') + 1);
    auto folder = std::make_unique<TempFolder>("zelvane-program");
    const std::string copy = folder->path() + "/" + program.substr(program.find_last_of('/') + 1);
    std::error_code error;
    std::filesystem::copy_file(program, copy, error);
    if (!error) std::filesystem::permissions(copy, std::filesystem::perms(0755), error);
    if (error) {
        if (why) *why = "user " + std::to_string(uid) + " cannot reach " + program + ", and copying it to " + copy +
                        " failed: " + error.message();
        return {};
    }
    if (!reachableBy(uid, copy)) {
        if (why) *why = "user " + std::to_string(uid) + " can reach neither " + program + " nor its copy in " +
                        folder->path() + " (set TMPDIR to a folder every user can enter)";
        return {};
    }
    copies.emplace_back(program, std::move(folder));
    return copy;
}

}  // namespace zelvane::testsupport

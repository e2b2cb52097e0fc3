#include "Platform/FileMoves.hpp"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "Platform/ItemAccess.hpp"

namespace zelvane {

int renameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to) {
    if (renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
    struct stat st {};
    if (fstatat(fromDir, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (fstatat(toDir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
}

namespace {

// Starts `program` in `workingDirectory` (empty: ours), detached from us through a second fork
// when `detach`, else as our own child whose pid `child` receives. Returns 0 or an errno.
int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory, bool detach, pid_t& started) {
    // Everything the children need is prepared here: between fork and exec only calls that are
    // safe in a forked child of a threaded process are made.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // Opened here a piece at a time, so a folder deeper than any path the system takes at once
    // serves as well.
    FileDescriptor folder;
    if (!workingDirectory.empty())
        if (int err = openFolderAt(AT_FDCWD, workingDirectory, folder)) return err;
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    pid_t child = fork();
    if (child < 0) {
        int err = errno;
        close(report[0]);
        close(report[1]);
        return err;
    }
    if (child == 0) {
        close(report[0]);
        if (folder && fchdir(folder.get()) != 0) {
            int err = errno;
            (void)!write(report[1], &err, sizeof err);
            _exit(127);
        }
        // The program gets none of our descriptors except the standard three.
        if (report[1] > 3) close_range(3, unsigned(report[1]) - 1, 0);
        close_range(unsigned(report[1]) + 1, ~0U, 0);
        setsid();
        if (detach) {
            pid_t grandchild = fork();
            if (grandchild < 0) {
                int err = errno;
                (void)!write(report[1], &err, sizeof err);
                _exit(1);
            }
            if (grandchild > 0) _exit(0);
        }
        execv(program.c_str(), argv.data());
        int err = errno;
        (void)!write(report[1], &err, sizeof err);
        _exit(127);
    }
    close(report[1]);
    // The pipe closes on a successful exec; a failure writes its errno first.
    int err = 0;
    ssize_t got;
    do { got = read(report[0], &err, sizeof err); } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got != ssize_t(sizeof err)) err = 0;
    int status = 0;
    if (detach || err)
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    started = err ? -1 : child;
    return err;
}

}  // namespace

int startDetachedProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory) {
    pid_t child = -1;
    return spawnProgram(program, arguments, workingDirectory, true, child);
}

int startWatchedProcess(const std::string& program, const std::vector<std::string>& arguments,
                        WatchedProcess& started) {
    pid_t child = -1;
    // Kernels without process descriptors get the program detached; what it ends with is not known.
    const FileDescriptor probe(int(syscall(SYS_pidfd_open, getpid(), 0)));
    if (!probe) return spawnProgram(program, arguments, {}, true, child);
    if (int err = spawnProgram(program, arguments, {}, false, child)) return err;
    FileDescriptor ended(int(syscall(SYS_pidfd_open, child, 0)));
    if (!ended) {
        // Out of descriptors: it is reaped when it ends all the same, unwatched.
        std::thread([child] {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
        }).detach();
        return 0;
    }
    started.pid = child;
    started.ended = std::move(ended);
    return 0;
}

int reapWatchedProcess(const WatchedProcess& process) {
    int status = 0;
    pid_t got;
    do { got = waitpid(process.pid, &status, WNOHANG); } while (got < 0 && errno == EINTR);
    if (got != process.pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string parentPath(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace zelvane

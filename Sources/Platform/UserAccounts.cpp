#include "Platform/UserAccounts.hpp"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "Platform/FileReplacement.hpp"
#include "Platform/RegularFile.hpp"

namespace zelvane {

namespace {

// Everything the child needs is prepared before fork: between fork and _exit it makes system calls
// only, as a child of a threaded process must.
bool dropTo(const UserAccount& a) {
    const gid_t groups[1] = {a.gid};
    if (::setgroups(1, groups) != 0 && errno != EPERM) return false;
    return ::setgid(a.gid) == 0 && ::setuid(a.uid) == 0 && ::geteuid() == a.uid;
}

bool writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

// The parent folders of `path` that may need creating, outermost first.
std::vector<std::string> parentFolders(const std::string& path) {
    std::vector<std::string> out;
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/') out.push_back(path.substr(0, i));
    }
    return out;
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return errno;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return EINTR;
}

}  // namespace

std::optional<UserAccount> lookUpUser(const std::string& name) {
    if (name.empty()) return std::nullopt;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (!found) return std::nullopt;
    return UserAccount{found->pw_name, found->pw_uid, found->pw_gid, found->pw_dir ? found->pw_dir : ""};
}

std::optional<UserAccount> elevatedRealUser() {
    if (::geteuid() != 0) return std::nullopt;
    const char* sudoUser = std::getenv("SUDO_USER");
    if (!sudoUser || !*sudoUser) return std::nullopt;
    return lookUpUser(sudoUser);
}

std::optional<std::string> readFileAsUser(const UserAccount& account, const std::string& path, size_t maxBytes) {
    if (::geteuid() == account.uid) {
        RegularFileOpening opened = openRegularFile(path);
        if (opened.error) return std::nullopt;
        std::string out;
        char chunk[65536];
        while (out.size() < maxBytes) {
            const ssize_t r = ::read(opened.fd.get(), chunk, std::min(sizeof chunk, maxBytes - out.size()));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            out.append(chunk, size_t(r));
        }
        return out;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (!dropTo(account)) ::_exit(EPERM);
        // Only a regular file, opened without waiting (a FIFO would block the open for good).
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) ::_exit(errno ? errno : EIO);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) ::_exit(EINVAL);
        char chunk[65536];
        size_t total = 0;
        while (total < maxBytes) {
            size_t want = sizeof chunk < maxBytes - total ? sizeof chunk : maxBytes - total;
            const ssize_t r = ::read(fd, chunk, want);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) ::_exit(errno);
            if (r == 0) break;
            if (!writeAll(pipeFds[1], chunk, size_t(r))) ::_exit(EPIPE);
            total += size_t(r);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char chunk[65536];
    while (true) {
        const ssize_t r = ::read(pipeFds[0], chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        out.append(chunk, size_t(r));
    }
    ::close(pipeFds[0]);
    const int err = waitForChild(pid);
    if (err != 0) {
        errno = err;
        return std::nullopt;
    }
    return out;
}

int replaceFileAsUser(const UserAccount& account, const std::string& path, std::string_view bytes) {
    const std::vector<std::string> parents = parentFolders(path);
    if (::geteuid() == account.uid) {
        for (const std::string& p : parents) {
            if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        }
        return replaceFileContents(path, bytes);
    }
    const std::string temporary = path + ".zelvane-" + std::to_string(::getpid()) + ".tmp";
    const pid_t pid = ::fork();
    if (pid < 0) return errno;
    if (pid == 0) {
        if (!dropTo(account)) ::_exit(EPERM);
        for (const std::string& p : parents) {
            if (::mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) ::_exit(errno);
        }
        // O_EXCL|O_NOFOLLOW: a link or file planted under the temporary name is never written
        // through; rename then replaces a link at `path` itself, never its target.
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) ::_exit(errno);
        if (!writeAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            ::_exit(err ? err : EIO);
        }
        if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(temporary.c_str());
            ::_exit(err ? err : EIO);
        }
        ::_exit(0);
    }
    return waitForChild(pid);
}

}  // namespace zelvane

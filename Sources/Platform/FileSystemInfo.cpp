#include "Platform/FileSystemInfo.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <mutex>

namespace zelvane {

bool PathStat::isDir() const { return (mode & S_IFMT) == S_IFDIR; }

std::optional<PathStat> statPath(const std::string& path, bool followLinks) {
    struct statx sx;
    int flags = AT_STATX_SYNC_AS_STAT | AT_NO_AUTOMOUNT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    if (::statx(AT_FDCWD, path.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return std::nullopt;
    PathStat st;
    st.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.ino = sx.stx_ino;
    st.mode = sx.stx_mode;
    st.uid = sx.stx_uid;
    st.nlink = sx.stx_nlink;
    st.size = int64_t(sx.stx_size);
    st.blocks512 = int64_t(sx.stx_blocks);
    st.mtime = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.atime = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    if (sx.stx_mask & STATX_BTIME) st.btime = {sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    if (sx.stx_attributes & STATX_ATTR_IMMUTABLE) st.flags |= UF_IMMUTABLE;
    if (sx.stx_attributes & STATX_ATTR_COMPRESSED) st.flags |= UF_COMPRESSED;
    size_t slash = path.find_last_of('/');
    std::string_view last = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    if (last.size() > 1 && last[0] == '.' && last != "..") st.flags |= UF_HIDDEN;
    return st;
}

// ---- mount table ---------------------------------------------------------------------------

namespace {

// The mount table, read once and again only after the kernel flags a change on the open
// mountinfo file (poll reports POLLPRI/POLLERR until the file is read again).
class MountTableLocked final {
public:
    static MountTableLocked& shared() {
        static MountTableLocked table;
        return table;
    }

    std::vector<MountEntry> snapshot() {
        std::lock_guard lock(mutex_);
        // A forked child inherits the parent's open table, which may show another namespace.
        if (fd_ >= 0 && pid_ != ::getpid()) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0 || stale()) reload();
        return entries_;
    }

private:
    bool stale() {
        pollfd p{fd_, POLLPRI, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
    }
    void reload() {
        if (fd_ < 0) {
            fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            pid_ = ::getpid();
        }
        if (fd_ < 0) return;
        std::string text;
        char buf[16384];
        ::lseek(fd_, 0, SEEK_SET);
        for (;;) {
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, size_t(n));
        }
        MountTable table = MountTable::parse(text);
        table.addRootIfMissing(MountTable::rootFileSystem());
        entries_ = table.entries();
    }

    std::mutex mutex_;
    int fd_ = -1;
    pid_t pid_ = 0;
    std::vector<MountEntry> entries_;
};

}  // namespace

std::optional<MountEntry> mountEntryForPath(const std::string& path) {
    auto st = statPath(path);
    if (!st) return std::nullopt;
    auto table = MountTableLocked::shared().snapshot();
    // The last mount of a device is the visible one when mounts are stacked.
    for (auto it = table.rbegin(); it != table.rend(); ++it)
        if (it->device == st->dev) return *it;
    // Devices that the table does not list (subvolumes of a copy-on-write file system): the
    // mount whose point is the longest prefix of the resolved path.
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    std::string_view r(resolved);
    const MountEntry* best = nullptr;
    for (const auto& e : table) {
        std::string_view mp = e.mountPoint;
        bool under = r == mp || (r.substr(0, mp.size()) == mp && (mp == "/" || (r.size() > mp.size() && r[mp.size()] == '/')));
        if (under && (!best || mp.size() >= best->mountPoint.size())) best = &e;
    }
    if (!best) return std::nullopt;
    return *best;
}

std::optional<FileSystemStat> statfsPath(const std::string& path) {
    struct statfs sf;
    if (::statfs(path.c_str(), &sf) != 0) return std::nullopt;
    FileSystemStat out;
    out.blockSize = int64_t(sf.f_bsize);
    if (auto m = mountEntryForPath(path)) {
        out.mountSource = m->source;
        out.fsType = m->fsType;
        out.isLocal = !MountTable::isRemoteFileSystemType(m->fsType);
    }
    return out;
}

std::optional<std::string> blockDeviceOfMountSource(std::string_view source) {
    constexpr std::string_view kDev = "/dev/";
    if (source.substr(0, kDev.size()) != kDev || source.size() == kDev.size()) return std::nullopt;
    std::string_view rest = source.substr(kDev.size());
    size_t slash = rest.find_last_of('/');
    if (slash != std::string_view::npos) rest = rest.substr(slash + 1);
    if (rest.empty()) return std::nullopt;
    return std::string(rest);
}

int64_t systemMaxFilesPerProcess() {
    int fd = ::open("/proc/sys/fs/nr_open", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[32];
    ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n <= 0) return 0;
    size_t len = size_t(n);
    while (len > 0 && (buf[len - 1] == '\n' || buf[len - 1] == ' ')) --len;
    int64_t v = 0;
    auto r = std::from_chars(buf, buf + len, v);
    return (r.ec == std::errc() && r.ptr == buf + len) ? v : 0;
}

}  // namespace zelvane

#include "ZelvaneMac/Actions/ItemCopy.hpp"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "Platform/FileDescriptor.hpp"
#include "Platform/FileMoves.hpp"
#include "Platform/ItemAccess.hpp"
#include "Platform/TreeWalk.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"

namespace zelvane {

namespace {

constexpr int64_t kChunk = 8 << 20;

bool isCancelled(const std::atomic<bool>* cancelled) { return cancelled && cancelled->load(std::memory_order_relaxed); }

// Plain reads and writes of one data range, for file systems that copy no ranges themselves.
int copyRange(int in, int out, off_t from, off_t to, const std::atomic<bool>* cancelled) {
    std::vector<char> buffer(size_t(std::min<int64_t>(kChunk, std::max<int64_t>(to - from, 1))));
    while (from < to) {
        if (isCancelled(cancelled)) return ECANCELED;
        const ssize_t n = ::pread(in, buffer.data(), size_t(std::min<int64_t>(to - from, int64_t(buffer.size()))), from);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return kSourceChangedError;  // the file shrank meanwhile
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::pwrite(out, buffer.data() + done, size_t(n - done), from + done);
            if (w < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += w;
        }
        from += n;
    }
    return 0;
}

// The owner's own attributes (tags among them); what the file system refuses is left out.
void copyUserAttributes(int in, int out) {
    const ssize_t size = ::flistxattr(in, nullptr, 0);
    if (size <= 0) return;
    std::vector<char> names(static_cast<size_t>(size));
    const ssize_t got = ::flistxattr(in, names.data(), names.size());
    if (got <= 0) return;
    std::vector<char> value;
    for (size_t at = 0; at < size_t(got);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        if (std::strncmp(name, "user.", 5) != 0) continue;
        const ssize_t length = ::fgetxattr(in, name, nullptr, 0);
        if (length < 0) continue;
        value.resize(size_t(length));
        const ssize_t read = ::fgetxattr(in, name, value.data(), value.size());
        if (read >= 0) ::fsetxattr(out, name, value.data(), size_t(read), 0);
    }
}

// A setuid or setgid bit is not carried to a copy made by someone else's hand.
mode_t copiedMode(uint32_t mode) { return mode_t(mode & 01777); }

std::string hiddenTemporaryName(const std::string& name, int attempt) {
    const uint64_t stamp = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                           (uint64_t(::getpid()) << 20) ^ uint64_t(attempt) * 0x9E3779B97F4A7C15ull;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08llx", static_cast<unsigned long long>(stamp & 0xffffffffull));
    return "." + name.substr(0, 200) + ".partial-" + suffix;
}

class CopyVisitor final : public TreeWalkVisitor {
public:
    // `shown` is a folder of the file system whose contents are copied.
    CopyVisitor(const ItemFacts& shown, const std::atomic<bool>* cancelled, const CopyWatch* watch)
        : shown_(shown), cancelled_(cancelled), watch_(watch) {}

    int begin(int parentFd) { return destination_.pushCopyOf(parentFd); }

    WalkStep visit(const WalkEntry& e) override {
        if (isCancelled(cancelled_)) return fail(e.relativePath, ECANCELED);
        const int into = destination_.top();
        if (e.facts.isDir()) return visitFolder(e, into);
        int err = 0;
        if (e.facts.isRegular()) {
            err = create(e, [&](const std::string& name) { return copyFile(e, into, name, e.relativePath); });
        } else if (e.facts.isLink()) {
            std::string target(size_t(e.facts.size > 0 ? e.facts.size : 255) + 1, '\0');
            const ssize_t n = ::readlinkat(e.folderFd, e.name.c_str(), target.data(), target.size());
            if (n < 0) return fail(e.relativePath, errno);
            target.resize(size_t(n));
            err = create(e, [&](const std::string& name) {
                if (::symlinkat(target.c_str(), into, name.c_str()) != 0) return errno;
                setTimes(into, name, e.facts, AT_SYMLINK_NOFOLLOW);
                return 0;
            });
        } else if (S_ISFIFO(e.facts.mode)) {
            err = create(e, [&](const std::string& name) {
                if (::mkfifoat(into, name.c_str(), copiedMode(e.facts.mode)) != 0) return errno;
                setTimes(into, name, e.facts, AT_SYMLINK_NOFOLLOW);
                return 0;
            });
        } else {
            // Devices and sockets are no data of their own to copy.
            err = ENOTSUP;
        }
        return err ? fail(e.relativePath, err) : WalkStep::proceed;
    }

    WalkStep leaveFolder(const WalkEntry& e) override {
        // The folder's own mode and dates last: writing into it would change them again.
        const int fd = destination_.top();
        ::fchmod(fd, copiedMode(e.facts.mode));
        const struct timespec times[2] = {e.facts.accessed, e.facts.modified};
        ::futimens(fd, times);
        if (int err = destination_.pop()) return fail(e.relativePath, err);
        return WalkStep::proceed;
    }

    WalkStep failed(const std::string& relativePath, int err) override { return fail(relativePath, err); }

    FirstWalkFailure failure;
    std::string temporaryName;  // the copy's name while it is made; empty until it exists

private:
    WalkStep fail(const std::string& relativePath, int err) { return failure.record(relativePath, err); }

    // The walked item's copy takes a hidden temporary name; what lies below keeps its own.
    template <typename Make>
    int create(const WalkEntry& e, Make&& make) {
        if (e.depth > 0) return make(e.name);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = hiddenTemporaryName(e.name, attempt);
            const int err = make(name);
            if (err == EEXIST) continue;
            if (err == 0) temporaryName = std::move(name);
            return err;
        }
        return EEXIST;
    }

    WalkStep visitFolder(const WalkEntry& e, int into) {
        std::string made;
        int err = create(e, [&](const std::string& name) {
            // Owner access until the folder is left, whatever the original allows.
            if (::mkdirat(into, name.c_str(), S_IRWXU) != 0) return errno;
            made = name;
            return 0;
        });
        if (err) return fail(e.relativePath, err);
        FileDescriptor source(::openat(e.folderFd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        FileDescriptor copy(::openat(into, made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!source || !copy) return fail(e.relativePath, errno);
        copyUserAttributes(source.get(), copy.get());
        if (!e.facts.sameMountAs(shown_)) {
            ::fchmod(copy.get(), copiedMode(e.facts.mode));
            const struct timespec times[2] = {e.facts.accessed, e.facts.modified};
            ::futimens(copy.get(), times);
            return WalkStep::skipContents;
        }
        ItemFacts facts;
        if ((err = readItemFacts(into, made, facts)) || (err = destination_.pushChild(made, facts)))
            return fail(e.relativePath, err);
        return WalkStep::proceed;
    }

    int copyFile(const WalkEntry& e, int into, const std::string& name, const std::string& relativePath) {
        FileDescriptor in(::openat(e.folderFd, e.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        if (!in) return errno;
        struct stat st {};
        if (::fstat(in.get(), &st) != 0) return errno;
        if (!S_ISREG(st.st_mode) || uint64_t(st.st_ino) != e.facts.inode) return ESTALE;
        FileDescriptor out(::openat(into, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
        if (!out) return errno;
        std::function<void(int64_t)> watched;
        if (watch_ && *watch_) watched = [this, &relativePath](int64_t copied) { (*watch_)(relativePath, copied); };
        int err = copyFileData(in.get(), out.get(), int64_t(st.st_size), cancelled_, watched);
        // A file written meanwhile: the copy holds part of what it was and part of what it is.
        struct stat after {};
        if (!err && ::fstat(in.get(), &after) != 0) err = errno;
        if (!err && (after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
                     after.st_mtim.tv_nsec != st.st_mtim.tv_nsec))
            err = kSourceChangedError;
        if (!err) {
            copyUserAttributes(in.get(), out.get());
            if (::fchmod(out.get(), copiedMode(st.st_mode)) != 0) err = errno;
        }
        if (!err) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(out.get(), times);
        }
        // A failed close can be lost data (a full disk on some file systems reports it only here).
        if (::close(out.release()) != 0 && !err) err = errno;
        if (err) ::unlinkat(into, name.c_str(), 0);
        return err;
    }

    static void setTimes(int folderFd, const std::string& name, const ItemFacts& facts, int flags) {
        const struct timespec times[2] = {facts.accessed, facts.modified};
        ::utimensat(folderFd, name.c_str(), times, flags);
    }

    ItemFacts shown_;
    const std::atomic<bool>* cancelled_;
    const CopyWatch* watch_;
    FolderStack destination_;
};

}  // namespace

int copyFileData(int in, int out, int64_t size, const std::atomic<bool>* cancelled,
                 const std::function<void(int64_t copied)>& watched) {
    if (size > 0 && ::ioctl(out, FICLONE, in) == 0) {
        if (watched) watched(size);
        return 0;
    }
    off_t position = 0;
    bool rangesKnown = true;
    while (position < size) {
        if (isCancelled(cancelled)) return ECANCELED;
        off_t data = position;
        off_t hole = size;
        if (rangesKnown) {
            data = ::lseek(in, position, SEEK_DATA);
            if (data < 0) {
                if (errno == ENXIO) break;  // only a hole is left
                if (errno != EINVAL && errno != EOPNOTSUPP) return errno;
                rangesKnown = false;
                data = position;
            } else {
                hole = ::lseek(in, data, SEEK_HOLE);
                if (hole < 0) hole = size;
            }
        }
        if (hole > size) hole = size;
        off_t from = data;
        off_t to = data;
        bool rangesCopied = true;
        while (from < hole) {
            if (isCancelled(cancelled)) return ECANCELED;
            const ssize_t n = ::copy_file_range(in, &from, out, &to, size_t(std::min<int64_t>(hole - from, kChunk)), 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
                    rangesCopied = false;
                    break;
                }
                return errno;
            }
            // The file ends before the length it had: it was cut meanwhile.
            if (n == 0) return kSourceChangedError;
            if (watched) watched(from);
        }
        if (!rangesCopied) {
            if (int err = copyRange(in, out, from, hole, cancelled)) return err;
            if (watched) watched(hole);
        }
        position = hole;
    }
    // The length last, so that a hole at the end stays a hole.
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

MadeItem duplicateItem(const std::string& path, const std::function<std::string(int)>& nameFor,
                       const std::atomic<bool>* cancelled, ShownFileSystem shown, const CopyWatch* watch) {
    MadeItem result;
    ItemInFolder item;
    ItemFacts facts;
    if ((result.error = openItemFolder(path, item)) ||
        (result.error = readItemFacts(item.folder.get(), shown == ShownFileSystem::item ? item.name : "", facts))) {
        result.failedPath = lastComponent(path);
        return result;
    }
    const int folder = item.folder.get();
    CopyVisitor visitor(facts, cancelled, watch);
    if ((result.error = visitor.begin(folder))) return result;
    const int walked = walkTree(folder, item.name, visitor);
    int err = visitor.failure.error ? visitor.failure.error : (walked == ECANCELED ? 0 : walked);
    if (!err && isCancelled(cancelled)) err = ECANCELED;
    std::string madeName;
    if (!err && visitor.temporaryName.empty()) err = ENOENT;
    if (!err) {
        for (int n = 1; n < 1000000; ++n) {
            std::string name = nameFor(n);
            const int renamed = renameNoReplace(folder, visitor.temporaryName, folder, name);
            if (renamed == EEXIST || renamed == ENOTEMPTY) continue;
            if (renamed == 0) madeName = std::move(name);
            else err = renamed;
            break;
        }
        if (!err && madeName.empty()) err = EEXIST;
    }
    if (err) {
        if (!visitor.temporaryName.empty()) removeTreeAt(folder, visitor.temporaryName, true);
        result.error = err;
        result.failedPath = visitor.failure.error ? visitor.failure.path : item.name;
        return result;
    }
    result.madePath = joinPath(parentPath(path), madeName);
    return result;
}

}  // namespace zelvane

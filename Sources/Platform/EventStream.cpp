#include "Platform/EventStream.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "Platform/FileDescriptor.hpp"
#include "Platform/FileSystemTypes.hpp"
#include "Platform/ItemAccess.hpp"
#include "Platform/WatchTable.hpp"

namespace zelvane {

namespace {

using Clock = std::chrono::steady_clock;


// Modifications are taken from IN_CLOSE_WRITE rather than IN_MODIFY: a file being written
// produces one IN_MODIFY per write call, a flood that no consumer of these events needs.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_EXCL_UNLINK;

// A moved-away folder whose destination has not been read yet is kept this long before its
// watches count as having left the tree (both ends of a rename are queued by one system call).
constexpr auto kMovePairingWindow = std::chrono::milliseconds(10);
// Folders watched per turn of the loop while a tree is being added, so that events of the part
// already watched keep flowing and a stop is noticed quickly.
constexpr int kFoldersPerSlice = 64;
// The same for folders taken from a scanned tree, which cost no listing; and the threads that
// add their watches side by side.
constexpr size_t kKnownFoldersPerSlice = 4096;
constexpr size_t kLookThreads = 4;
// Without a wake-up descriptor a stop is noticed by polling at this interval.
constexpr int kStopPollMillis = 100;

void appendComponent(std::string& path, std::string_view name) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(name);
}

// One batch in the making: one event per path, flags merged, in order of first appearance.
class BatchBuilder final {
public:
    BatchBuilder() : index_(64, IndexHash{&events_}, IndexEq{&events_}) {}
    BatchBuilder(const BatchBuilder&) = delete;
    BatchBuilder& operator=(const BatchBuilder&) = delete;

    bool empty() const { return events_.empty(); }
    Clock::time_point deadline() const { return deadline_; }

    void add(std::string_view path, uint32_t flags, std::chrono::milliseconds latency) {
        if (events_.empty()) deadline_ = Clock::now() + latency;
        events_.push_back(EventStreamEvent{std::string(path), flags});
        auto [it, inserted] = index_.insert(events_.size() - 1);
        if (!inserted) {
            events_[*it].flags |= flags;
            events_.pop_back();
        }
    }

    std::vector<EventStreamEvent> take() {
        index_.clear();
        std::vector<EventStreamEvent> out;
        out.swap(events_);
        return out;
    }

private:
    struct IndexHash {
        const std::vector<EventStreamEvent>* events;
        size_t operator()(size_t i) const noexcept { return std::hash<std::string>()((*events)[i].path); }
    };
    struct IndexEq {
        const std::vector<EventStreamEvent>* events;
        bool operator()(size_t a, size_t b) const noexcept { return (*events)[a].path == (*events)[b].path; }
    };
    std::vector<EventStreamEvent> events_;
    std::unordered_set<size_t, IndexHash, IndexEq> index_;
    Clock::time_point deadline_{};
};

}  // namespace

namespace {

// Set once by the stream's thread, waited for by the one that stops it.
class ReaderDoneLocked final {
public:
    void set() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

}  // namespace

struct EventStream::Control {
    std::atomic<bool> stopped{false};
    FileDescriptor wake;  // an eventfd written by stop() to end the thread's wait at once
    // Set by the stream's thread once it calls back no more and holds neither the callback nor the
    // scanned trees. What it lets go of after that (the inotify descriptor, which the kernel takes
    // a tenth of a second to close with a hundred thousand watches, and the watch tables) goes
    // while the thread that stopped it carries on.
    ReaderDoneLocked finished;
};

bool EventStreamStatus::isWatching() const {
    std::lock_guard lock(mutex_);
    return watching_;
}

bool EventStreamStatus::waitUntilWatching(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return watching_; });
}

void EventStreamStatus::setWatching() {
    {
        std::lock_guard lock(mutex_);
        watching_ = true;
    }
    changed_.notify_all();
}

namespace {

// The stream's thread. It owns everything it touches except the shared control and status, so a
// stream stopped from inside its own callback can be destroyed while this object finishes.
class EventStreamReader final {
public:
    EventStreamReader(std::vector<std::string> roots, std::chrono::milliseconds latency,
                      EventStream::Callback callback, std::shared_ptr<const KnownFolders> known,
                      std::shared_ptr<const void> controlOwner, const std::atomic<bool>& stopped, int wakeFd,
                      std::shared_ptr<EventStreamStatus> status)
        : roots_(std::move(roots)),
          latency_(latency),
          callback_(std::move(callback)),
          known_(std::move(known)),
          controlOwner_(std::move(controlOwner)),
          stopped_(stopped),
          wakeFd_(wakeFd),
          status_(std::move(status)),
          limitReported_(roots_.size(), false),
          rootIsDir_(roots_.size(), false),
          readBuffer_(new char[kReadBufferBytes]),
          direntBuffer_(new char[kDirentBufferBytes]) {}

    void run() {
        pthread_setname_np(pthread_self(), "fsmonitor");
        inotify_ = FileDescriptor(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!inotify_) {
            for (const std::string& r : roots_)
                batch_.add(r, EventStreamFlag::kMustScanSubDirs | EventStreamFlag::kUserDropped, latency_);
            status_->setWatching();
            deliver();
            while (!stopped()) waitFor(-1, false);
            return;
        }
        size_t folders = 0;
        for (size_t i = roots_.size(); i-- > 0;) {
            const void* known = known_ && known_->readStartedNanos(i) > 0 ? known_->root(i) : nullptr;
            if (known) folders += known_->folderCount(i);
            walk_.push_back(WalkItem{roots_[i], -1, 0, uint32_t(i), 0, known, nullptr});
        }
        // Room for the scanned trees' watches at once, rather than grown to it a copy at a time;
        // never for more than the system lets this user watch.
        table_.reserve(std::min(folders, watchLimit()));
        bool initialWalkDone = false;
        while (!stopped()) {
            if (!walk_.empty()) walkSome();
            if (walk_.empty() && !initialWalkDone) {
                initialWalkDone = true;
                known_.reset();  // no handle is left in the walk: the scanned trees may go
                status_->setWatching();
            }
            const bool readable = waitFor(nextTimeoutMillis(), true);
            if (stopped()) break;
            if (readable) readEvents();
            resolveMoves(false);
            if (!batch_.empty() && Clock::now() >= batch_.deadline()) deliver();
        }
    }

    // How many watches the system allows each user (unknown: as many as asked for).
    static size_t watchLimit() {
        FileDescriptor fd(::open("/proc/sys/fs/inotify/max_user_watches", O_RDONLY | O_CLOEXEC));
        char text[32] = {};
        if (!fd || ::read(fd.get(), text, sizeof text - 1) <= 0) return SIZE_MAX;
        char* end = nullptr;
        const unsigned long long limit = std::strtoull(text, &end, 10);
        return end == text ? SIZE_MAX : size_t(limit);
    }

    // After `run`: what belongs to whoever started the stream is let go of on the spot.
    void letGoOfCaller() {
        callback_ = nullptr;
        known_.reset();
    }

private:
    static constexpr size_t kReadBufferBytes = 64 * 1024;
    static constexpr size_t kDirentBufferBytes = 64 * 1024;

    using SharedFd = std::shared_ptr<const FileDescriptor>;
    struct WalkItem {
        std::string path;
        int parent;           // -1: a root
        uint32_t nameOffset;  // where the folder's own name starts in `path`
        uint32_t root;
        dev_t parentDev;
        const void* known = nullptr;  // the folder in the scanned tree, if any
        // The open folder above, kept only where the path is too long for the system to take
        // at once.
        std::shared_ptr<const FileDescriptor> parentFd = nullptr;
        // `path` holds the folder's name alone until its turn comes, when it is joined to its
        // parent's path as the table has it then.
        bool nameOnly = false;
    };
    struct PendingMove {
        uint32_t cookie;
        int wd;  // the moved folder's watch, -1 when it had none
        Clock::time_point seen;
    };

    bool stopped() const { return stopped_.load(std::memory_order_acquire); }

    int nextTimeoutMillis() const {
        if (!walk_.empty()) return 0;
        int timeout = -1;
        if (!batch_.empty()) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(batch_.deadline() - Clock::now()).count();
            timeout = int(std::clamp<int64_t>(left, 0, 60'000));
        }
        if (!pendingMoves_.empty()) timeout = timeout < 0 ? int(kMovePairingWindow.count()) : std::min(timeout, int(kMovePairingWindow.count()));
        return timeout;
    }

    // Waits for inotify data (when `withInotify`), a stop or the timeout; true when events wait.
    bool waitFor(int timeoutMillis, bool withInotify) {
        if (wakeFd_ < 0) timeoutMillis = timeoutMillis < 0 ? kStopPollMillis : std::min(timeoutMillis, kStopPollMillis);
        pollfd fds[2];
        nfds_t n = 0;
        if (withInotify) fds[n++] = pollfd{inotify_.get(), POLLIN, 0};
        if (wakeFd_ >= 0) fds[n++] = pollfd{wakeFd_, POLLIN, 0};
        int r = ::poll(fds, n, timeoutMillis);
        return r > 0 && withInotify && (fds[0].revents & POLLIN);
    }

    void deliver() {
        if (batch_.empty() || stopped()) return;
        callback_(batch_.take());
    }

    // Changes below the root may go unseen: it is reported once as needing a rescan.
    void reportMissedBelow(uint32_t root) {
        if (limitReported_[root]) return;
        limitReported_[root] = true;
        batch_.add(roots_[root], EventStreamFlag::kMustScanSubDirs | EventStreamFlag::kUserDropped, latency_);
    }

    void walkSome() {
        if (known_ && walk_.back().known && walk_.back().parent >= 0) {
            watchKnownFolders();
            status_->setWatchCount(table_.size());
            return;
        }
        for (int i = 0; i < kFoldersPerSlice && !walk_.empty(); ++i) {
            WalkItem item = std::move(walk_.back());
            walk_.pop_back();
            watchFolder(item);
        }
        status_->setWatchCount(table_.size());
    }

    // Watches one folder (or a root file) and queues its subfolders. The watch is added before
    // the folder is looked at, so a subfolder made meanwhile is either found or reported.
    void watchFolder(WalkItem& item) {
        const bool isRoot = item.parent < 0;
        if (!isRoot && !table_.contains(item.parent)) return;  // its parent went away meanwhile
        if (std::pair<int, std::string> joined{-1, {}}; !joinPath(item, joined)) return;
        struct stat st{};
        SharedFd dir;
        uint32_t mask = kWatchMask;
        Opened opened = openWalkFolder(item);
        if (isRoot) {
            // A root given as a symbolic link is watched at its target, as it was scanned.
            if (opened.fd) {
                if (::fstat(opened.fd.get(), &st) != 0) return;
                dir = share(std::move(opened.fd));
            } else if (opened.error != ENOTDIR || ::stat(item.path.c_str(), &st) != 0) {
                noteUnreachable(item, opened.error);
                return;
            }
            rootIsDir_[item.root] = S_ISDIR(st.st_mode);
        } else {
            if (!opened.fd) {
                noteUnreachable(item, opened.error);
                return;
            }
            if (::fstat(opened.fd.get(), &st) != 0) return;
            if (st.st_dev != item.parentDev) {
                struct statfs fs{};
                if (::fstatfs(opened.fd.get(), &fs) == 0 && isPseudoFileSystemMagic(static_cast<unsigned long>(fs.f_type))) return;
            }
            dir = share(std::move(opened.fd));
            mask |= IN_ONLYDIR | IN_DONT_FOLLOW;
        }
        int wd = addWatch(item.path, dir ? dir->get() : -1, mask);
        if (wd < 0) {
            noteUnwatched(item, errno);
            return;
        }
        // Already watched: reached twice (overlapping roots, bind mounts) or queued twice (listed
        // by its parent and reported as created). The first path stays.
        if (table_.contains(wd)) return;
        table_.insert(wd, item.parent, std::string_view(item.path).substr(item.nameOffset), item.root, st.st_dev);
        if (!dir) return;
        // A scanned folder looked at after its watch was added: another one under its name means
        // the scanned one is gone; unchanged since its scan, its subfolders are those of the tree.
        if (item.known && ::fstat(dir->get(), &st) == 0) {
            const uint64_t id = known_->fileID(item.known);
            if (id != 0 && st.st_ino != id) {
                reportGone(item.path, true);
                item.known = nullptr;
            } else if (nanosOf(st.st_ctim) < known_->readStartedNanos(item.root)) {
                queueKnownSubfolders(item, wd, st.st_dev, dir);
                return;
            }
        }
        listSubfolders(item, wd, st.st_dev, dir);
    }

    // Folders of a scanned tree, many at a time: each is watched, then looked at once for its
    // identity and change time, on several threads (the kernel's path walks run side by side);
    // then, in order on this thread, each enters the table. Unchanged since its scan, a folder's
    // subfolders are those of the tree; changed, it is listed from the disk and compared with the
    // tree; another folder under the same name now, the scanned one is reported gone and the new
    // one listed like any other.
    void watchKnownFolders() {
        std::vector<WalkItem> batch;
        while (!walk_.empty() && batch.size() < kKnownFoldersPerSlice && walk_.back().known && walk_.back().parent >= 0) {
            if (table_.contains(walk_.back().parent)) batch.push_back(std::move(walk_.back()));
            walk_.pop_back();
        }
        std::pair<int, std::string> joined{-1, {}};
        size_t kept = 0;
        for (size_t i = 0; i < batch.size(); ++i) {
            if (!joinPath(batch[i], joined)) continue;
            if (kept != i) batch[kept] = std::move(batch[i]);
            ++kept;
        }
        batch.erase(batch.begin() + std::ptrdiff_t(kept), batch.end());
        struct Look {
            int wd = -1;
            int error = 0;  // why no watch could be added, or (with a watch) why the folder is none now
            bool replaced = false;
            bool unchanged = false;
            dev_t dev = 0;
            SharedFd fd;  // the open folder, where its path is too long for one call
        };
        std::vector<Look> looks(batch.size());
        const int inotifyFd = inotify_.get();
        auto look = [&](size_t i) {
            const WalkItem& item = batch[i];
            Look& l = looks[i];
            constexpr unsigned kFacts = STATX_TYPE | STATX_INO | STATX_CTIME;
            struct statx sx{};
            if (tooLongForOneCall(item.path)) {
                Opened opened = openWalkFolder(item);
                if (!opened.fd) {
                    l.error = opened.error;
                    return;
                }
                l.wd = addWatch(item.path, opened.fd.get(), kWatchMask | IN_ONLYDIR | IN_DONT_FOLLOW);
                if (l.wd < 0) {
                    l.error = errno;
                    return;
                }
                if (::statx(opened.fd.get(), "", AT_EMPTY_PATH, kFacts, &sx) != 0) {
                    l.error = ENOENT;
                    return;
                }
                l.fd = share(std::move(opened.fd));
            } else {
                l.wd = inotify_add_watch(inotifyFd, item.path.c_str(), kWatchMask | IN_ONLYDIR | IN_DONT_FOLLOW);
                if (l.wd < 0) {
                    l.error = errno;
                    return;
                }
                if (::statx(AT_FDCWD, item.path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kFacts, &sx) != 0 ||
                    !S_ISDIR(sx.stx_mode)) {
                    l.error = ENOTDIR;
                    return;
                }
            }
            l.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
            const uint64_t id = known_->fileID(item.known);
            const int64_t ctime = int64_t(sx.stx_ctime.tv_sec) * 1'000'000'000 + sx.stx_ctime.tv_nsec;
            l.replaced = id != 0 && sx.stx_ino != id;
            l.unchanged = !l.replaced && ctime < known_->readStartedNanos(item.root);
        };
        runSideBySide(batch.size(), look);
        for (size_t i = 0; i < batch.size(); ++i) {
            WalkItem& item = batch[i];
            const Look& l = looks[i];
            if (l.wd < 0) {
                noteUnwatched(item, l.error);
                continue;
            }
            if (table_.contains(l.wd)) continue;  // reached twice: the first path stays
            if (l.error) {
                inotify_rm_watch(inotifyFd, l.wd);  // gone or replaced since its watch was added
                reportGone(item.path, true);
                continue;
            }
            table_.insert(l.wd, item.parent, std::string_view(item.path).substr(item.nameOffset), item.root, l.dev);
            if (l.unchanged) {
                queueKnownSubfolders(item, l.wd, l.dev, l.fd);
                continue;
            }
            if (l.replaced) {
                reportGone(item.path, true);
                item.known = nullptr;
            }
            SharedFd dir = l.fd;
            if (!dir) {
                Opened opened = openWalkFolder(item);
                if (!opened.fd) {
                    noteUnreachable(item, opened.error);
                    continue;
                }
                dir = share(std::move(opened.fd));
            }
            listSubfolders(item, l.wd, l.dev, dir);
        }
    }

    // Calls `fn(i)` for every i below n on up to kLookThreads threads, this one included; with
    // no thread to be had, on this one alone.
    template <typename Fn>
    static void runSideBySide(size_t n, Fn& fn) {
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) fn(i);
        };
        std::vector<std::thread> helpers;
        const size_t wanted = std::min<size_t>(kLookThreads, (n + 63) / 64);
        for (size_t t = 1; t < wanted; ++t) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;
            }
        }
        work();
        for (auto& h : helpers) h.join();
    }

    static int64_t nanosOf(const timespec& t) { return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

    static bool tooLongForOneCall(const std::string& path) { return path.size() >= PATH_MAX; }
    static SharedFd share(FileDescriptor fd) { return std::make_shared<const FileDescriptor>(std::move(fd)); }

    struct Opened {
        FileDescriptor fd;
        int error = 0;
    };
    // Opens a folder of the walk without following a final link (a root's is followed, as the
    // scan followed it). A path too long for one call is opened through the folder above, which
    // the walk keeps open for it, or else a piece of the path at a time.
    static Opened openWalkFolder(const WalkItem& item) {
        const bool isRoot = item.parent < 0;
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (isRoot ? 0 : O_NOFOLLOW);
        Opened out;
        if (!tooLongForOneCall(item.path)) {
            out.fd = FileDescriptor(::open(item.path.c_str(), flags));
        } else if (isRoot) {
            out.error = openFolderAt(AT_FDCWD, item.path, out.fd);
            return out;
        } else if (item.parentFd) {
            out.fd = FileDescriptor(::openat(item.parentFd->get(), item.path.c_str() + item.nameOffset, flags));
        } else {
            FileDescriptor parent;
            out.error = openFolderAt(AT_FDCWD, std::string_view(item.path).substr(0, item.nameOffset), parent);
            if (out.error) return out;
            out.fd = FileDescriptor(::openat(parent.get(), item.path.c_str() + item.nameOffset, flags));
        }
        if (!out.fd) out.error = errno;
        return out;
    }

    // Watches a folder by its path, or through its open descriptor where the path is too long
    // for one call (the descriptor's link in /proc leads to the folder it was opened on, which
    // was opened without following links).
    int addWatch(const std::string& path, int dirFd, uint32_t mask) const {
        if (dirFd >= 0 && tooLongForOneCall(path))
            return inotify_add_watch(inotify_.get(), pathThroughDescriptor(dirFd, std::string()).c_str(), mask & ~IN_DONT_FOLLOW);
        return inotify_add_watch(inotify_.get(), path.c_str(), mask);
    }

    void reportGone(const std::string& path, bool isDir) {
        using namespace EventStreamFlag;
        batch_.add(path, kItemRemoved | (isDir ? kItemIsDir : kItemIsFile), latency_);
    }

    // A folder that could not be opened: one of the scanned tree that is gone now is reported
    // removed; one refused to this user is not followed, unless the scan could read it (what it
    // holds now goes unseen, as it does on any other failure, such as descriptors or memory
    // running out).
    void noteUnreachable(const WalkItem& item, int error) {
        if (error == ENOENT || error == ENOTDIR || error == ELOOP) {
            if (item.known) reportGone(item.path, true);
        } else if ((error != EACCES && error != EPERM) || item.known) {
            reportMissedBelow(item.root);
        }
    }

    // The same for a watch that could not be added.
    void noteUnwatched(const WalkItem& item, int error) {
        if (error == ENOSPC) {
            reportMissedBelow(item.root);
            return;
        }
        noteUnreachable(item, error);
    }

    // The subfolders of an unchanged folder wait by their names alone: a scanned tree's queue
    // holds tens of thousands of them at times, and their paths would take megabytes.
    void queueKnownSubfolders(const WalkItem& item, int wd, dev_t dev, const SharedFd& dir) {
        knownScratch_.clear();
        known_->subfolders(item.known, knownScratch_);
        for (auto& [name, handle] : knownScratch_) {
            if (tooLongForOneCall(item.path) || item.path.size() + 1 + name.size() >= PATH_MAX) {
                queueFolder(item.path, name, wd, item.root, dev, handle, dir);
                continue;
            }
            walk_.push_back(WalkItem{std::move(name), wd, 0, item.root, dev, handle, nullptr, true});
        }
    }

    // Gives a folder queued by name its path, from its parent's place in the table; false when
    // the parent no longer leads to a root (the folder is then dropped, as one whose parent went).
    // Folders of one parent come together: `joined` keeps the last parent's path.
    bool joinPath(WalkItem& item, std::pair<int, std::string>& joined) {
        if (!item.nameOnly) return true;
        if (item.parent != joined.first) {
            joined.first = item.parent;
            if (!table_.pathOf(item.parent, joined.second)) joined.second.clear();
        }
        if (joined.second.empty()) return false;
        std::string name = std::exchange(item.path, joined.second);
        appendComponent(item.path, name);
        item.nameOffset = uint32_t(item.path.size() - name.size());
        item.nameOnly = false;
        return true;
    }

    // Listed from the disk. A folder the scan read is compared with what the scan found in it:
    // its subfolders keep their place in the tree, and whatever is gone, or is another item
    // under its name now, is reported removed (a subfolder's own identity is checked when its
    // watch is added).
    void listSubfolders(const WalkItem& item, int wd, dev_t dev, const SharedFd& dir) {
        std::unordered_map<std::string, KnownFolders::Entry> scanned;
        if (item.known) {
            entriesScratch_.clear();
            known_->entries(item.known, entriesScratch_);
            scanned.reserve(entriesScratch_.size());
            for (KnownFolders::Entry& e : entriesScratch_) {
                std::string name = e.name;
                scanned.emplace(std::move(name), std::move(e));
            }
        }
        const int fd = dir->get();
        // A folder of a million entries takes a while: a stop does not wait for the rest.
        while (!stopped()) {
            long n = ::syscall(SYS_getdents64, fd, direntBuffer_.get(), kDirentBufferBytes);
            if (n < 0) {
                if (item.known) reportMissedBelow(item.root);  // what left it cannot be told
                return;
            }
            if (n == 0) break;
            for (long off = 0; off < n;) {
                auto* d = reinterpret_cast<const dirent64*>(direntBuffer_.get() + off);
                off += d->d_reclen;
                std::string_view name(d->d_name);
                if (name == "." || name == "..") continue;
                bool isDir = d->d_type == DT_DIR;
                if (d->d_type == DT_UNKNOWN) {
                    struct stat st{};
                    isDir = ::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                }
                const void* handle = nullptr;
                if (!scanned.empty()) {
                    if (auto it = scanned.find(std::string(name)); it != scanned.end()) {
                        const KnownFolders::Entry& e = it->second;
                        const bool sameFile = e.isDir || e.fileID == 0 || d->d_ino == 0 || d->d_ino == e.fileID;
                        if (e.isDir != isDir || !sameFile) {
                            path_ = item.path;
                            appendComponent(path_, name);
                            reportGone(path_, e.isDir);
                        } else {
                            handle = e.folder;
                        }
                        scanned.erase(it);
                    }
                }
                if (isDir) queueFolder(item.path, name, wd, item.root, dev, handle, dir);
            }
        }
        if (stopped()) return;
        for (const auto& [name, e] : scanned) {
            path_ = item.path;
            appendComponent(path_, name);
            reportGone(path_, e.isDir);
        }
    }

    void queueFolder(const std::string& parentPath, std::string_view name, int parentWd, uint32_t root, dev_t parentDev,
                     const void* known = nullptr, const SharedFd& parentFd = nullptr) {
        WalkItem child{parentPath, parentWd, 0, root, parentDev, known, nullptr};
        appendComponent(child.path, name);
        child.nameOffset = uint32_t(child.path.size() - name.size());
        if (tooLongForOneCall(child.path)) child.parentFd = parentFd;
        walk_.push_back(std::move(child));
    }

    void readEvents() {
        // Bounded, so that a steady flood still lets batches go out on time.
        for (int round = 0; round < 16; ++round) {
            ssize_t n = ::read(inotify_.get(), readBuffer_.get(), kReadBufferBytes);
            if (n <= 0) break;
            for (ssize_t off = 0; off < n;) {
                inotify_event ev;
                std::memcpy(&ev, readBuffer_.get() + off, sizeof ev);
                const char* name = readBuffer_.get() + off + sizeof(inotify_event);
                off += ssize_t(sizeof(inotify_event) + ev.len);
                process(ev, ev.len ? std::string_view(name, ::strnlen(name, ev.len)) : std::string_view());
            }
        }
        status_->setWatchCount(table_.size());
    }

    void process(const inotify_event& ev, std::string_view name) {
        using namespace EventStreamFlag;
        if (ev.mask & IN_Q_OVERFLOW) {
            for (const std::string& r : roots_) batch_.add(r, kMustScanSubDirs | kKernelDropped, latency_);
            return;
        }
        const std::optional<WatchTable::Entry> entry = table_.find(ev.wd);
        if (!entry) return;
        if (ev.mask & IN_IGNORED) {
            table_.erase(ev.wd);
            return;
        }
        uint32_t root = 0;
        if (name.empty()) {
            selfEvent(ev, *entry);
            return;
        }
        if (!table_.pathOf(ev.wd, path_, &root)) return;
        const dev_t parentDev = entry->dev;
        appendComponent(path_, name);
        const bool isDir = ev.mask & IN_ISDIR;
        uint32_t flags = isDir ? kItemIsDir : kItemIsFile;
        if (ev.mask & IN_CREATE) {
            flags |= kItemCreated;
            if (isDir) queueFolder(path_.substr(0, path_.size() - name.size()), name, ev.wd, root, parentDev);
        }
        if (ev.mask & IN_DELETE) flags |= kItemRemoved;
        if (ev.mask & IN_MOVED_FROM) {
            flags |= kItemRenamed;
            if (isDir) pendingMoves_.push_back(PendingMove{ev.cookie, table_.childOf(ev.wd, name), Clock::now()});
        }
        if (ev.mask & IN_MOVED_TO) {
            flags |= kItemRenamed;
            if (isDir) arrivedByMove(ev, name, root, parentDev);
        }
        if (ev.mask & IN_CLOSE_WRITE) flags |= kItemModified;
        if (ev.mask & IN_ATTRIB) flags |= kItemInodeMetaMod;
        batch_.add(path_, flags, latency_);
    }

    void arrivedByMove(const inotify_event& ev, std::string_view name, uint32_t root, dev_t parentDev) {
        auto it = std::find_if(pendingMoves_.begin(), pendingMoves_.end(),
                               [&](const PendingMove& m) { return m.cookie == ev.cookie; });
        if (it != pendingMoves_.end() && it->wd >= 0 && table_.contains(it->wd)) {
            // Moved inside the watched trees: its watches stay, only its place changes.
            table_.reparent(it->wd, ev.wd, name);
            pendingMoves_.erase(it);
            return;
        }
        if (it != pendingMoves_.end()) pendingMoves_.erase(it);
        queueFolder(path_.substr(0, path_.size() - name.size()), name, ev.wd, root, parentDev);
    }

    // Events a watched folder reports about itself. Below a root they repeat what the parent
    // reports by name; a root has no watched parent, so they are its only news.
    void selfEvent(const inotify_event& ev, const WatchTable::Entry& entry) {
        using namespace EventStreamFlag;
        uint32_t root = 0;
        if (ev.mask & IN_UNMOUNT) {
            if (table_.pathOf(ev.wd, path_, &root)) batch_.add(path_, kUnmount | kMustScanSubDirs, latency_);
            return;
        }
        if (entry.parent >= 0) return;
        const uint32_t kind = rootIsDir_[entry.root] ? kItemIsDir : kItemIsFile;
        const std::string& rootPath = roots_[entry.root];
        if (ev.mask & IN_DELETE_SELF) batch_.add(rootPath, kind | kItemRemoved | kRootChanged, latency_);
        if (ev.mask & IN_ATTRIB) batch_.add(rootPath, kind | kItemInodeMetaMod, latency_);
        if (ev.mask & IN_CLOSE_WRITE) batch_.add(rootPath, kind | kItemModified, latency_);
        if (ev.mask & IN_MOVE_SELF) {
            batch_.add(rootPath, kind | kItemRenamed | kRootChanged, latency_);
            // Every path below the moved root is stale now.
            removeWatches({ev.wd});
        }
    }

    // Pairs that found no destination moved out of every watched tree: drop their watches, whose
    // events would otherwise carry paths that no longer exist.
    void resolveMoves(bool all) {
        if (pendingMoves_.empty()) return;
        const auto now = Clock::now();
        std::vector<int> gone;
        std::erase_if(pendingMoves_, [&](const PendingMove& m) {
            if (!all && now - m.seen < kMovePairingWindow) return false;
            if (m.wd >= 0) gone.push_back(m.wd);
            return true;
        });
        if (!gone.empty()) removeWatches(gone);
    }

    void removeWatches(const std::vector<int>& tops) {
        for (int wd : table_.subtreesOf(tops)) {
            inotify_rm_watch(inotify_.get(), wd);
            table_.erase(wd);
        }
        status_->setWatchCount(table_.size());
    }

    const std::vector<std::string> roots_;
    const std::chrono::milliseconds latency_;
    EventStream::Callback callback_;
    std::shared_ptr<const KnownFolders> known_;  // until the first watches are all added
    const std::shared_ptr<const void> controlOwner_;  // keeps `stopped_` and the wake descriptor alive
    const std::atomic<bool>& stopped_;
    const int wakeFd_;
    const std::shared_ptr<EventStreamStatus> status_;

    FileDescriptor inotify_;
    WatchTable table_;
    BatchBuilder batch_;
    std::vector<WalkItem> walk_;  // LIFO: depth first keeps few folders queued
    std::vector<PendingMove> pendingMoves_;
    std::vector<bool> limitReported_;
    std::vector<bool> rootIsDir_;
    std::string path_;
    std::unique_ptr<char[]> readBuffer_;
    std::unique_ptr<char[]> direntBuffer_;
    std::vector<std::pair<std::string, const void*>> knownScratch_;
    std::vector<KnownFolders::Entry> entriesScratch_;
};

}  // namespace

EventStream::EventStream(std::vector<std::string> paths, std::chrono::milliseconds latency, Callback callback,
                         std::shared_ptr<const KnownFolders> known)
    : paths_(std::move(paths)),
      latency_(latency),
      callback_(std::move(callback)),
      known_(std::move(known)),
      control_(std::make_shared<Control>()),
      status_(std::make_shared<EventStreamStatus>()) {
    control_->wake = FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

EventStream::~EventStream() { stop(); }

void EventStream::start() {
    if (thread_.joinable() || control_->stopped.load(std::memory_order_acquire)) return;
    auto reader = std::make_unique<EventStreamReader>(paths_, latency_, callback_, std::move(known_), control_,
                                                      control_->stopped, control_->wake.get(), status_);
    try {
        thread_ = std::thread([reader = std::move(reader), control = control_]() mutable {
            reader->run();
            reader->letGoOfCaller();
            control->finished.set();
            reader.reset();
        });
    } catch (const std::system_error&) {
        // No thread to be had (process limits): the stream stays silent, like one never started.
    }
}

void EventStream::stop() {
    control_->stopped.store(true, std::memory_order_release);
    if (!thread_.joinable()) return;
    if (control_->wake) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(control_->wake.get(), &one, sizeof one);
    }
    // Stopped from inside the callback, the thread ends when it returns; else it is waited for
    // only until it calls back no more.
    if (thread_.get_id() != std::this_thread::get_id()) control_->finished.wait();
    thread_.detach();
}

}  // namespace zelvane

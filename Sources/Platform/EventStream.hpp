#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelvane {

// Event flags of a stream. The values are those the event consumers interpret (removed 0x200,
// renamed 0x800, ...); a batch carries one event per path with the flags of everything that
// happened to that path within the latency OR-ed together.
namespace EventStreamFlag {
// Changes below the event's path may have been missed: rescan it. Always set together with the
// reason: `kUserDropped` (a folder could not be watched: the watch table is full, or no event
// queue could be created at all) or `kKernelDropped` (the kernel's event queue overflowed).
inline constexpr uint32_t kMustScanSubDirs = 0x00000001;
inline constexpr uint32_t kUserDropped = 0x00000002;
inline constexpr uint32_t kKernelDropped = 0x00000004;
// A watched root itself was removed or moved away.
inline constexpr uint32_t kRootChanged = 0x00000020;
inline constexpr uint32_t kUnmount = 0x00000080;
inline constexpr uint32_t kItemCreated = 0x00000100;
inline constexpr uint32_t kItemRemoved = 0x00000200;
inline constexpr uint32_t kItemInodeMetaMod = 0x00000400;
// Both ends of a move: the name that went away and the name that appeared.
inline constexpr uint32_t kItemRenamed = 0x00000800;
inline constexpr uint32_t kItemModified = 0x00001000;
inline constexpr uint32_t kItemIsFile = 0x00010000;
inline constexpr uint32_t kItemIsDir = 0x00020000;
}  // namespace EventStreamFlag

struct EventStreamEvent {
    std::string path;  // the exact bytes of the path
    uint32_t flags = 0;
};

// Folders a scan has just read, so that a stream can watch them without reading them again. A
// folder is named by an opaque handle; a null handle stands for a folder that must be listed
// from the disk. The stream calls these on its own thread while it adds its first watches, and
// lets go of the source once they are all added.
class KnownFolders {
public:
    virtual ~KnownFolders() = default;
    // The handle of root `index` (in the order of the stream's paths), or null.
    virtual const void* root(size_t index) const = 0;
    // When the scan of root `index` began to read it (nanoseconds since 1970, the clock that
    // stamps file changes): a folder changed since then is listed from the disk again.
    virtual int64_t readStartedNanos(size_t index) const = 0;
    // How many folders the scan found at and below root `index`, to make room for their watches
    // at once (0 when unknown).
    virtual size_t folderCount(size_t) const { return 0; }
    // The file identifier the scan saw for the folder, to tell it from another of the same name.
    virtual uint64_t fileID(const void* folder) const = 0;
    // The subfolders to watch below `folder`, by their exact name bytes.
    virtual void subfolders(const void* folder, std::vector<std::pair<std::string, const void*>>& out) const = 0;
    // Everything the scan found in `folder`, files too: a folder changed since its scan is
    // compared with it, and what left it before its watch was added is reported removed.
    struct Entry {
        std::string name;              // exact bytes
        const void* folder = nullptr;  // a subfolder's handle, null for files and unread folders
        uint64_t fileID = 0;           // 0 when unknown
        bool isDir = false;
    };
    virtual void entries(const void* folder, std::vector<Entry>& out) const = 0;
};

// What a stream's owner may observe from any thread while the stream runs; the stream's thread
// writes it (through a non-const reference of its own).
class EventStreamStatus final {
public:
    // True once the watches of every root have been added (or failed); events under folders
    // not yet watched before that moment are not reported.
    bool isWatching() const;
    bool waitUntilWatching(std::chrono::milliseconds timeout) const;
    size_t watchCount() const noexcept { return watchCount_.load(std::memory_order_relaxed); }

    void setWatching();
    void setWatchCount(size_t n) noexcept { watchCount_.store(n, std::memory_order_relaxed); }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool watching_ = false;
    std::atomic<size_t> watchCount_{0};
};

// A file-system event stream over inotify: watches each root and every folder below it (on the
// same file system or on other real ones; pseudo file systems such as /proc are not entered),
// adds watches as folders appear or move in and drops them as they go or move out, and hands
// the events to `callback` in batches, at most one batch per `latency`. Folders of any depth are
// watched: one whose path is longer than the system takes at once is reached through the open
// folder above it. A folder that cannot be watched for want of resources (the watch table, or
// descriptors) is reported as `kMustScanSubDirs` of its root, never dropped silently.
//
// With a scanned tree (`KnownFolders`), what changed between the scan and the watch is reported
// too: a folder changed since its scan began is compared with what the scan found in it, and
// every item that left it (or was replaced by another under its name) is reported removed, as is
// a folder that is gone or is another one by the time its watch is added.
//
// Everything runs on the stream's own thread: adding the watches of a large tree (one system call
// per folder) never blocks the thread that starts the stream. The callback runs on that thread,
// never two batches at once.
//
// Invariant: once `stop()` (or the destructor) has returned, the callback is never called again.
// A stop called from inside the callback takes effect when the callback returns.
class EventStream final {
public:
    using Callback = std::function<void(std::vector<EventStreamEvent>&&)>;

    // With `known`, the folders of each root are taken from it (each still checked on the disk
    // for changes since its scan) instead of being listed again.
    EventStream(std::vector<std::string> paths, std::chrono::milliseconds latency, Callback callback,
                std::shared_ptr<const KnownFolders> known = nullptr);
    ~EventStream();
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // Starts the thread; a second call does nothing. A stream that cannot create its inotify
    // instance reports every root with `kMustScanSubDirs | kUserDropped` in one batch.
    void start();
    void stop();
    std::shared_ptr<const EventStreamStatus> status() const { return status_; }

private:
    struct Control;
    std::vector<std::string> paths_;
    std::chrono::milliseconds latency_;
    Callback callback_;
    std::shared_ptr<const KnownFolders> known_;  // handed to the reader when it starts
    std::shared_ptr<Control> control_;
    std::shared_ptr<EventStreamStatus> status_;
    std::thread thread_;
};

}  // namespace zelvane

#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScanEngine/Monitor/FileChangeEvent.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

class EventStream;
class EventStreamStatus;
class KnownFolders;

// Watches a set of folder trees and hands every batch of changes to one handler. The monitor
// keeps no state about files; it only translates the event stream.
//
// `start()` and `stop()` may be called from any thread (the application calls them on the main
// thread). The handler runs on the monitor's own thread, one batch at a time, about 0.2 s after
// the first change of the batch. Once `stop()` or the destructor has returned, the handler is
// never called again; a stop from inside the handler takes effect when the handler returns.
class FileSystemMonitor final {
public:
    using Handler = std::function<void(std::vector<FileChangeEvent>)>;
    static constexpr std::chrono::milliseconds kLatency{200};

    // `scanned`, when given, holds the tree just scanned of each path (in the same order, null
    // where there is none): its folders are watched without reading them again, except those
    // changed since their scan. The monitor holds the trees until their watches are added.
    FileSystemMonitor(std::vector<std::string> paths, Handler onEvents, std::vector<RootRef> scanned = {});
    ~FileSystemMonitor();
    FileSystemMonitor(const FileSystemMonitor&) = delete;
    FileSystemMonitor& operator=(const FileSystemMonitor&) = delete;

    // Starts watching, changes from this moment on; does nothing without paths or when already
    // running. Returns at once: the watches of the trees are added on the monitor's thread.
    void start();
    void stop();

    const std::vector<std::string>& paths() const noexcept { return paths_; }
    bool isRunning() const;
    // Waits until the trees are fully watched; false on timeout or when not running.
    bool waitUntilWatching(std::chrono::milliseconds timeout) const;
    // Folders currently watched (0 when not running).
    size_t watchCount() const;

private:
    // The running stream. Start and stop swap it under the lock; the stream is stopped (its
    // thread joined) outside the lock, so a handler that calls back into the monitor cannot
    // deadlock against a stop waiting for it.
    class StreamSlotLocked final {
    public:
        bool isEmpty() const;
        // Installs and starts a stream made by `make` unless one runs.
        void startIfEmpty(const std::function<std::unique_ptr<EventStream>()>& make);
        std::unique_ptr<EventStream> take();
        std::shared_ptr<const EventStreamStatus> status() const;

    private:
        mutable std::mutex mutex_;
        std::unique_ptr<EventStream> stream_;
    };

    const std::vector<std::string> paths_;
    const std::shared_ptr<const Handler> onEvents_;
    std::vector<RootRef> scanned_;
    StreamSlotLocked stream_;
};

}  // namespace zelvane

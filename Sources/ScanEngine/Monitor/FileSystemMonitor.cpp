#include "ScanEngine/Monitor/FileSystemMonitor.hpp"

#include <algorithm>
#include <utility>

#include "Platform/EventStream.hpp"

namespace zelvane {

namespace {

// The folders of scanned trees for the stream's first watches. Folders the scan did not read
// (on another volume, refused, or marked deleted since) get no handle: the stream lists them.
class ScannedFolders final : public KnownFolders {
public:
    explicit ScannedFolders(std::vector<RootRef> roots) : roots_(std::move(roots)) {}

    const void* root(size_t index) const override {
        return index < roots_.size() && roots_[index] && roots_[index]->isDir() ? roots_[index].get() : nullptr;
    }
    int64_t readStartedNanos(size_t index) const override {
        return index < roots_.size() && roots_[index] ? roots_[index]->readStartedNanos() : 0;
    }
    size_t folderCount(size_t index) const override {
        return index < roots_.size() && roots_[index] && roots_[index]->isDir()
                   ? 1 + size_t(std::max(0, roots_[index]->subFolderDirCount()))
                   : 0;
    }
    uint64_t fileID(const void* folder) const override { return static_cast<const FileNode*>(folder)->fileID; }
    void subfolders(const void* folder, std::vector<std::pair<std::string, const void*>>& out) const override {
        for (const FileNode* c : static_cast<const FileNode*>(folder)->children()) {
            if (!c->isDir() || c->isDeleted()) continue;
            std::string name;
            c->appendNameBytes(name);
            const bool read = !c->isVolumeBoundary() && !c->accessDenied();
            out.emplace_back(std::move(name), read ? c : nullptr);
        }
    }
    void entries(const void* folder, std::vector<Entry>& out) const override {
        for (const FileNode* c : static_cast<const FileNode*>(folder)->children()) {
            if (c->isDeleted()) continue;
            Entry e;
            c->appendNameBytes(e.name);
            e.isDir = c->isDir();
            e.folder = e.isDir && !c->isVolumeBoundary() && !c->accessDenied() ? c : nullptr;
            e.fileID = c->fileID;
            out.push_back(std::move(e));
        }
    }

private:
    std::vector<RootRef> roots_;
};

}  // namespace

bool FileSystemMonitor::StreamSlotLocked::isEmpty() const {
    std::lock_guard lock(mutex_);
    return !stream_;
}

void FileSystemMonitor::StreamSlotLocked::startIfEmpty(const std::function<std::unique_ptr<EventStream>()>& make) {
    std::lock_guard lock(mutex_);
    if (stream_) return;
    stream_ = make();
    stream_->start();
}

std::unique_ptr<EventStream> FileSystemMonitor::StreamSlotLocked::take() {
    std::lock_guard lock(mutex_);
    return std::move(stream_);
}

std::shared_ptr<const EventStreamStatus> FileSystemMonitor::StreamSlotLocked::status() const {
    std::lock_guard lock(mutex_);
    return stream_ ? stream_->status() : nullptr;
}

FileSystemMonitor::FileSystemMonitor(std::vector<std::string> paths, Handler onEvents, std::vector<RootRef> scanned)
    : paths_(std::move(paths)),
      onEvents_(std::make_shared<const Handler>(std::move(onEvents))),
      scanned_(std::move(scanned)) {}

FileSystemMonitor::~FileSystemMonitor() { stop(); }

void FileSystemMonitor::start() {
    if (paths_.empty()) return;
    stream_.startIfEmpty([this] {
        // The stream holds the handler itself, not the monitor: a monitor destroyed from inside
        // its handler leaves the running callback intact.
        auto handler = onEvents_;
        // The trees go to the stream, which lets go of them once its first watches are added.
        std::shared_ptr<const KnownFolders> known;
        if (!scanned_.empty()) known = std::make_shared<ScannedFolders>(std::exchange(scanned_, {}));
        return std::make_unique<EventStream>(
            paths_, kLatency,
            [handler](std::vector<EventStreamEvent>&& raw) {
                std::vector<FileChangeEvent> batch;
                batch.reserve(raw.size());
                for (EventStreamEvent& e : raw) batch.push_back(FileChangeEvent{std::move(e.path), e.flags});
                if (*handler) (*handler)(std::move(batch));
            },
            std::move(known));
    });
}

void FileSystemMonitor::stop() {
    if (auto stream = stream_.take()) stream->stop();
}

bool FileSystemMonitor::isRunning() const { return !stream_.isEmpty(); }

bool FileSystemMonitor::waitUntilWatching(std::chrono::milliseconds timeout) const {
    auto status = stream_.status();
    return status && status->waitUntilWatching(timeout);
}

size_t FileSystemMonitor::watchCount() const {
    auto status = stream_.status();
    return status ? status->watchCount() : 0;
}

}  // namespace zelvane

#include "ScanEngine/Monitor/FileSystemMonitor.hpp"

#include "Platform/EventStream.hpp"

namespace zelvane {

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

FileSystemMonitor::FileSystemMonitor(std::vector<std::string> paths, Handler onEvents)
    : paths_(std::move(paths)), onEvents_(std::make_shared<const Handler>(std::move(onEvents))) {}

FileSystemMonitor::~FileSystemMonitor() { stop(); }

void FileSystemMonitor::start() {
    if (paths_.empty()) return;
    stream_.startIfEmpty([this] {
        // The stream holds the handler itself, not the monitor: a monitor destroyed from inside
        // its handler leaves the running callback intact.
        auto handler = onEvents_;
        return std::make_unique<EventStream>(paths_, kLatency, [handler](std::vector<EventStreamEvent>&& raw) {
            std::vector<FileChangeEvent> batch;
            batch.reserve(raw.size());
            for (EventStreamEvent& e : raw) batch.push_back(FileChangeEvent{std::move(e.path), e.flags});
            if (*handler) (*handler)(std::move(batch));
        });
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

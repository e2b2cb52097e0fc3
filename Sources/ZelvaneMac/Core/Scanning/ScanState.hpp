#pragma once

#include <variant>
#include <vector>

#include <QString>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"

namespace zelvane {

// Where the lifecycle of a scan or import stands.
struct ScanState {
    struct Scanning { ScanProgress progress; };
    struct Completed { std::vector<RootRef> roots; };
    struct Failed { QString message; };
    struct Cancelled { std::vector<RootRef> roots; };
    struct Idle {};
    enum class Tag { scanning = 0, completed = 1, failed = 2, cancelled = 3, idle = 4 };

    std::variant<Scanning, Completed, Failed, Cancelled, Idle> value = Idle{};

    Tag tag() const { return static_cast<Tag>(value.index()); }
    bool isScanning() const { return tag() == Tag::scanning; }
    // The roots of a completed or cancelled run; empty otherwise.
    const std::vector<RootRef>& roots() const;

    static ScanState scanning(ScanProgress p) { return {Scanning{p}}; }
    static ScanState completed(std::vector<RootRef> r) { return {Completed{std::move(r)}}; }
    static ScanState failed(QString m) { return {Failed{std::move(m)}}; }
    static ScanState cancelled(std::vector<RootRef> r) { return {Cancelled{std::move(r)}}; }
    static ScanState idle() { return {Idle{}}; }
};

}  // namespace zelvane

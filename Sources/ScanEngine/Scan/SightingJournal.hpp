#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ScanEngine/Scan/HardLinkTracker.hpp"

namespace zelvane {

// The first sightings one folder's read has claimed so far. When a bulk read fails part-way
// and the folder is listed again from the start, the entries of the earlier batches come round a
// second time: the replay hands each claimed identity back to its folder exactly once, so that a
// folder is not taken for one met before and a file's space is neither lost nor counted twice
// (trackers are shared with other workers, so forgetting the identities instead would race).
class SightingJournal final {
public:
    enum Kind : uint8_t { kHardLink, kClone, kFolder };

    void clear() {
        entries_.clear();
        replayed_.clear();
        replaying_ = false;
    }

    bool registerFirstSighting(HardLinkTracker& tracker, Kind kind, uint64_t devID, uint64_t fileID) {
        bool first = tracker.registerFirstSighting(devID, fileID);
        if (fileID == 0) return first;
        Entry e{devID, fileID, kind};
        if (!replaying_) {
            if (first) entries_.push_back(e);
            return first;
        }
        if (first) return true;
        auto it = std::lower_bound(entries_.begin(), entries_.end(), e);
        for (; it != entries_.end() && *it == e; ++it) {
            size_t i = size_t(it - entries_.begin());
            if (!replayed_[i]) {
                replayed_[i] = true;
                return true;
            }
        }
        return false;
    }

    // From now on sightings claimed before count as first, once each.
    void startReplay() {
        std::sort(entries_.begin(), entries_.end());
        replayed_.assign(entries_.size(), false);
        replaying_ = true;
    }

private:
    struct Entry {
        uint64_t devID;
        uint64_t fileID;
        Kind kind;
        bool operator==(const Entry&) const = default;
        bool operator<(const Entry& o) const {
            if (kind != o.kind) return kind < o.kind;
            if (devID != o.devID) return devID < o.devID;
            return fileID < o.fileID;
        }
    };
    std::vector<Entry> entries_;
    std::vector<bool> replayed_;
    bool replaying_ = false;
};

}  // namespace zelvane

#include "ScanEngine/Scan/HardLinkTracker.hpp"

namespace zelvane {

namespace {
inline uint64_t mix(uint64_t dev, uint64_t ino) {
    uint64_t h = ino * 0x9E3779B97F4A7C15ull ^ (dev + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}
}  // namespace

HardLinkTracker::HardLinkTracker() = default;

size_t HardLinkTracker::shardOf(uint64_t devID, uint64_t fileID) { return mix(devID, fileID) & (kShardCount - 1); }

bool HardLinkTracker::Shard::insert(const FileIdentity& id, uint64_t hash) {
    // Load factor at most 0.7: probes stay short, a free slot always exists, and the table costs
    // about 23 bytes per identity.
    if ((count + 1) * 10 > capacity * 7) grow();
    size_t mask = capacity - 1;
    for (size_t i = (hash >> 4) & mask;; i = (i + 1) & mask) {
        FileIdentity& s = entries[i];
        if (s.fileID == 0) {
            s = id;
            ++count;
            return true;
        }
        if (s == id) return false;
    }
}

void HardLinkTracker::Shard::grow() {
    size_t newCap = capacity ? capacity * 2 : 64;
    std::unique_ptr<FileIdentity[]> old = std::move(entries);
    size_t oldCap = capacity;
    entries.reset(new FileIdentity[newCap]());
    capacity = newCap;
    size_t mask = newCap - 1;
    for (size_t k = 0; k < oldCap; ++k) {
        const FileIdentity& id = old[k];
        if (id.fileID == 0) continue;
        size_t i = (mix(id.devID, id.fileID) >> 4) & mask;
        while (entries[i].fileID != 0) i = (i + 1) & mask;
        entries[i] = id;
    }
}

bool HardLinkTracker::registerFirstSighting(uint64_t devID, uint64_t fileID) {
    if (fileID == 0) return true;
    uint64_t h = mix(devID, fileID);
    Shard& s = shards_[h & (kShardCount - 1)];
    std::lock_guard lock(s.lock);
    return s.insert({devID, fileID}, h);
}

size_t HardLinkTracker::size() const {
    size_t n = 0;
    for (const Shard& s : shards_) {
        std::lock_guard lock(const_cast<std::mutex&>(s.lock));
        n += s.count;
    }
    return n;
}

}  // namespace zelvane

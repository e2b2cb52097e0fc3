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
inline bool isFree(uint64_t key) { return key == 0; }
inline bool isFree(const FileIdentity& key) { return key.fileID == 0; }
inline uint64_t rehash(uint64_t key, uint64_t homeHash) { return mix(homeHash, key); }
inline uint64_t rehash(const FileIdentity& key, uint64_t) { return mix(key.devID, key.fileID); }
}  // namespace

HardLinkTracker::HardLinkTracker() = default;

size_t HardLinkTracker::shardOf(uint64_t devID, uint64_t fileID) { return mix(devID, fileID) & (kShardCount - 1); }

// Load factor at most 0.7: probes stay short and a free slot always exists.
template <typename Key>
bool HardLinkTracker::Table<Key>::insert(const Key& key, uint64_t hash) {
    if ((count + 1) * 10 > capacity * 7) grow();
    size_t mask = capacity - 1;
    for (size_t i = (hash >> 4) & mask;; i = (i + 1) & mask) {
        Key& s = cells[i];
        if (isFree(s)) {
            s = key;
            ++count;
            return true;
        }
        if (s == key) return false;
    }
}

template <typename Key>
void HardLinkTracker::Table<Key>::grow() {
    size_t newCap = capacity ? capacity * 2 : 64;
    std::unique_ptr<Key[]> old = std::move(cells);
    size_t oldCap = capacity;
    cells.reset(new Key[newCap]());
    capacity = newCap;
    size_t mask = newCap - 1;
    // The home table's keys are file identifiers of one device: its hash is recomputed the same
    // way as on insertion, with a device of 0 standing for the home device in both.
    for (size_t k = 0; k < oldCap; ++k) {
        const Key& key = old[k];
        if (isFree(key)) continue;
        size_t i = (rehash(key, 0) >> 4) & mask;
        while (!isFree(cells[i])) i = (i + 1) & mask;
        cells[i] = key;
    }
}

bool HardLinkTracker::registerFirstSighting(uint64_t devID, uint64_t fileID) {
    if (fileID == 0) return true;
    uint64_t h = mix(devID, fileID);
    Shard& s = shards_[h & (kShardCount - 1)];
    std::lock_guard lock(s.lock);
    if (hasHome_ && devID == homeDev_) return s.home.insert(fileID, mix(0, fileID));
    return s.other.insert({devID, fileID}, h);
}

size_t HardLinkTracker::size() const {
    size_t n = 0;
    for (const Shard& s : shards_) {
        std::lock_guard lock(const_cast<std::mutex&>(s.lock));
        n += s.home.count + s.other.count;
    }
    return n;
}

}  // namespace zelvane

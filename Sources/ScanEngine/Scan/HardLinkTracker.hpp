#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace zelvane {

// The identity of a file system object: device and file (or clone) identifier.
struct FileIdentity {
    uint64_t devID = 0;
    uint64_t fileID = 0;
    bool operator==(const FileIdentity&) const = default;
};

// First sightings of identities, so that hard links, clones and folders reached twice count
// once. Sixteen shards, each with its own lock; an identity always maps to the same shard, so
// the test-and-insert of one identity is atomic while other shards stay free for other workers.
// Each shard holds open-addressing tables (no allocation per entry): identities on the home
// device (a scan's root device, where nearly all are) by their file identifier alone, 8 bytes a
// slot, the others whole. File identifier 0 means "unknown" and always counts as a first sighting.
class HardLinkTracker final {
public:
    static constexpr size_t kShardCount = 16;

    HardLinkTracker();
    HardLinkTracker(const HardLinkTracker&) = delete;
    HardLinkTracker& operator=(const HardLinkTracker&) = delete;

    // Before the first sighting is registered.
    void setHomeDevice(uint64_t devID) noexcept {
        homeDev_ = devID;
        hasHome_ = true;
    }
    bool registerFirstSighting(uint64_t devID, uint64_t fileID);
    size_t size() const;  // identities recorded

    static size_t shardOf(uint64_t devID, uint64_t fileID);

private:
    // Cells whose key is value-initialized are free.
    template <typename Key>
    struct Table {
        std::unique_ptr<Key[]> cells;
        size_t capacity = 0;  // a power of two (or 0)
        size_t count = 0;
        bool insert(const Key& key, uint64_t hash);
        void grow();
    };
    struct alignas(64) Shard {
        std::mutex lock;
        Table<uint64_t> home;
        Table<FileIdentity> other;
    };
    Shard shards_[kShardCount];
    uint64_t homeDev_ = 0;
    bool hasHome_ = false;
};

}  // namespace zelvane

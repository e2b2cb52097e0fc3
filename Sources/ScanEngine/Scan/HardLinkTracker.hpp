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
// Each shard is an open-addressing table (no allocation per entry). File identifier 0 means
// "unknown" and always counts as a first sighting.
class HardLinkTracker final {
public:
    static constexpr size_t kShardCount = 16;

    HardLinkTracker();
    HardLinkTracker(const HardLinkTracker&) = delete;
    HardLinkTracker& operator=(const HardLinkTracker&) = delete;

    bool registerFirstSighting(uint64_t devID, uint64_t fileID);
    size_t size() const;  // identities recorded

    static size_t shardOf(uint64_t devID, uint64_t fileID);

private:
    struct alignas(64) Shard {
        std::mutex lock;
        std::unique_ptr<FileIdentity[]> entries;  // fileID 0 marks a free slot
        size_t capacity = 0;                    // a power of two (or 0)
        size_t count = 0;
        bool insert(const FileIdentity& id, uint64_t hash);
        void grow();
    };
    Shard shards_[kShardCount];
};

}  // namespace zelvane

#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

// The watched folders of an event stream as a tree of (parent, name) entries, so that a folder
// renamed inside the tree costs one update however many folders lie below it; paths are joined
// when an event needs one. Roots carry their full path as their name and no parent.
//
// A whole disk has hundreds of thousands of watches, so the table is kept compact: entries in one
// array, their names side by side in one buffer, and two open-addressing indexes of entry numbers
// (by watch, and by parent and name) instead of a node per entry and per name.
class WatchTable final {
public:
    struct Entry {
        int parent = -1;
        uint32_t root = 0;  // meaningful on roots
        dev_t dev = 0;
    };

    // Room for this many watches without growing.
    void reserve(size_t count);
    bool contains(int wd) const { return slotOf(wd) != kNone; }
    size_t size() const noexcept { return live_; }
    std::optional<Entry> find(int wd) const;

    // Adds the watch, or gives a watch already there its new place.
    void insert(int wd, int parent, std::string_view name, uint32_t root, dev_t dev);
    void erase(int wd);
    // The watch of the folder `name` in `parent`, or -1.
    int childOf(int parent, std::string_view name) const;
    void reparent(int wd, int newParent, std::string_view newName);

    // The folder's path; false when an ancestor is no longer watched (the event is stale).
    bool pathOf(int wd, std::string& out, uint32_t* rootIndex = nullptr);
    // Every watch at or below one of `tops`.
    std::vector<int> subtreesOf(const std::vector<int>& tops) const;

private:
    static constexpr uint32_t kNone = UINT32_MAX;

    struct Slot {
        int wd = -1;  // -1: free
        int parent = -1;
        uint32_t root = 0;
        uint32_t dev = 0;  // into devs_
        uint32_t nameAt = 0;
        uint32_t nameSize = 0;
    };

    // Linear probing over entry numbers (plus one; 0 is empty), with deletion by shifting back,
    // so that no tombstones pile up as watches come and go.
    class Index final {
    public:
        size_t capacity() const noexcept { return cells_.size(); }
        template <class Match>
        uint32_t find(size_t hash, Match&& match) const;
        // `hashOf(slot)` gives the hash of an entry already in the index.
        template <class HashOf>
        void insert(uint32_t slot, size_t hash, HashOf&& hashOf, size_t count);
        template <class HashOf>
        void erase(uint32_t slot, size_t hash, HashOf&& hashOf);
        // Room for `count` entries (while empty).
        void reserve(size_t count);

    private:
        template <class HashOf>
        void grow(HashOf&& hashOf);
        std::vector<uint32_t> cells_;  // a power of two long, at most half full
    };

    std::string_view nameOf(const Slot& s) const { return std::string_view(names_).substr(s.nameAt, s.nameSize); }
    uint32_t slotOf(int wd) const;
    uint32_t childSlot(int parent, std::string_view name) const;
    size_t wdHash(int wd) const noexcept;
    size_t nameHash(int parent, std::string_view name) const noexcept;
    size_t slotNameHash(uint32_t slot) const noexcept;
    void setName(Slot& s, std::string_view name);
    void linkName(uint32_t slot);
    void unlinkName(uint32_t slot);
    uint32_t devIndex(dev_t dev);
    void compactNames();

    std::vector<Slot> slots_;
    std::vector<uint32_t> freeSlots_;
    std::string names_;
    size_t deadNameBytes_ = 0;
    std::vector<dev_t> devs_;  // the few devices seen
    Index byWd_;
    Index byName_;
    size_t live_ = 0;
    size_t named_ = 0;  // entries in byName_
    std::vector<uint32_t> chain_;
};

}  // namespace zelvane

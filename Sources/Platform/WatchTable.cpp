#include "Platform/WatchTable.hpp"

#include <algorithm>
#include <functional>

namespace zelvane {

namespace {

void appendComponent(std::string& path, std::string_view name) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(name);
}

}  // namespace

template <class Match>
uint32_t WatchTable::Index::find(size_t hash, Match&& match) const {
    if (cells_.empty()) return kNone;
    const size_t mask = cells_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t cell = cells_[i];
        if (cell == 0) return kNone;
        if (match(cell - 1)) return cell - 1;
    }
}

template <class HashOf>
void WatchTable::Index::insert(uint32_t slot, size_t hash, HashOf&& hashOf, size_t count) {
    if ((count + 1) * 2 > cells_.size()) grow(hashOf);
    const size_t mask = cells_.size() - 1;
    size_t i = hash & mask;
    while (cells_[i] != 0) i = (i + 1) & mask;
    cells_[i] = slot + 1;
}

template <class HashOf>
void WatchTable::Index::erase(uint32_t slot, size_t hash, HashOf&& hashOf) {
    if (cells_.empty()) return;
    const size_t mask = cells_.size() - 1;
    size_t i = hash & mask;
    while (cells_[i] != slot + 1) {
        if (cells_[i] == 0) return;
        i = (i + 1) & mask;
    }
    // Each later cell of the run moves back into the hole unless the hole lies before its home.
    for (size_t j = (i + 1) & mask; cells_[j] != 0; j = (j + 1) & mask) {
        const size_t home = hashOf(cells_[j] - 1) & mask;
        const bool homeInHoleToJ = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (homeInHoleToJ) continue;
        cells_[i] = cells_[j];
        i = j;
    }
    cells_[i] = 0;
}

template <class HashOf>
void WatchTable::Index::grow(HashOf&& hashOf) {
    std::vector<uint32_t> old(cells_.empty() ? 64 : cells_.size() * 2, 0);
    old.swap(cells_);
    const size_t mask = cells_.size() - 1;
    for (const uint32_t cell : old) {
        if (cell == 0) continue;
        size_t i = hashOf(cell - 1) & mask;
        while (cells_[i] != 0) i = (i + 1) & mask;
        cells_[i] = cell;
    }
}

void WatchTable::Index::reserve(size_t count) {
    if (!std::all_of(cells_.begin(), cells_.end(), [](uint32_t c) { return c == 0; })) return;
    size_t size = cells_.empty() ? 64 : cells_.size();
    while ((count + 1) * 2 > size) size *= 2;
    cells_.assign(size, 0);
}

void WatchTable::reserve(size_t count) {
    if (live_ != 0 || count > (size_t(1) << 26)) return;
    slots_.reserve(count);
    byWd_.reserve(count);
    byName_.reserve(count);
}

size_t WatchTable::wdHash(int wd) const noexcept { return size_t(uint32_t(wd)) * 0x9E3779B97F4A7C15ull >> 16; }

size_t WatchTable::nameHash(int parent, std::string_view name) const noexcept {
    return std::hash<std::string_view>()(name) ^ (size_t(uint32_t(parent)) * 0x9E3779B97F4A7C15ull);
}

size_t WatchTable::slotNameHash(uint32_t slot) const noexcept {
    return nameHash(slots_[slot].parent, nameOf(slots_[slot]));
}

uint32_t WatchTable::slotOf(int wd) const {
    return byWd_.find(wdHash(wd), [&](uint32_t slot) { return slots_[slot].wd == wd; });
}

uint32_t WatchTable::childSlot(int parent, std::string_view name) const {
    return byName_.find(nameHash(parent, name), [&](uint32_t slot) {
        return slots_[slot].parent == parent && nameOf(slots_[slot]) == name;
    });
}

std::optional<WatchTable::Entry> WatchTable::find(int wd) const {
    const uint32_t slot = slotOf(wd);
    if (slot == kNone) return std::nullopt;
    const Slot& s = slots_[slot];
    return Entry{s.parent, s.root, devs_[s.dev]};
}

uint32_t WatchTable::devIndex(dev_t dev) {
    auto it = std::find(devs_.begin(), devs_.end(), dev);
    if (it != devs_.end()) return uint32_t(it - devs_.begin());
    devs_.push_back(dev);
    return uint32_t(devs_.size() - 1);
}

void WatchTable::setName(Slot& s, std::string_view name) {
    deadNameBytes_ += s.nameSize;
    s.nameAt = uint32_t(names_.size());
    s.nameSize = uint32_t(name.size());
    names_.append(name);
}

void WatchTable::linkName(uint32_t slot) {
    const Slot& s = slots_[slot];
    if (s.parent < 0) return;
    // A later entry of the same name takes the name over from an earlier one.
    const uint32_t before = childSlot(s.parent, nameOf(s));
    auto hashOf = [this](uint32_t x) { return slotNameHash(x); };
    if (before != kNone) {
        byName_.erase(before, slotNameHash(before), hashOf);
        --named_;
    }
    byName_.insert(slot, slotNameHash(slot), hashOf, named_);
    ++named_;
}

void WatchTable::unlinkName(uint32_t slot) {
    const Slot& s = slots_[slot];
    if (s.parent < 0 || childSlot(s.parent, nameOf(s)) != slot) return;
    byName_.erase(slot, slotNameHash(slot), [this](uint32_t x) { return slotNameHash(x); });
    --named_;
}

void WatchTable::insert(int wd, int parent, std::string_view name, uint32_t root, dev_t dev) {
    uint32_t slot = slotOf(wd);
    if (slot != kNone) {
        unlinkName(slot);
    } else {
        if (!freeSlots_.empty()) {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        } else {
            slot = uint32_t(slots_.size());
            slots_.emplace_back();
        }
        slots_[slot] = Slot{};
        slots_[slot].wd = wd;
        byWd_.insert(slot, wdHash(wd), [this](uint32_t x) { return wdHash(slots_[x].wd); }, live_);
        ++live_;
    }
    Slot& s = slots_[slot];
    s.parent = parent;
    s.root = root;
    s.dev = devIndex(dev);
    setName(s, name);
    linkName(slot);
    compactNames();
}

void WatchTable::erase(int wd) {
    const uint32_t slot = slotOf(wd);
    if (slot == kNone) return;
    unlinkName(slot);
    byWd_.erase(slot, wdHash(wd), [this](uint32_t x) { return wdHash(slots_[x].wd); });
    --live_;
    Slot& s = slots_[slot];
    deadNameBytes_ += s.nameSize;
    s = Slot{};
    freeSlots_.push_back(slot);
    compactNames();
}

int WatchTable::childOf(int parent, std::string_view name) const {
    const uint32_t slot = childSlot(parent, name);
    return slot == kNone ? -1 : slots_[slot].wd;
}

void WatchTable::reparent(int wd, int newParent, std::string_view newName) {
    const uint32_t slot = slotOf(wd);
    if (slot == kNone) return;
    unlinkName(slot);
    Slot& s = slots_[slot];
    s.parent = newParent;
    setName(s, newName);
    linkName(slot);
    compactNames();
}

// Names left behind by renames and removals are dropped once they outweigh the live ones.
void WatchTable::compactNames() {
    if (deadNameBytes_ < 4096 || deadNameBytes_ * 2 < names_.size()) return;
    std::string kept;
    kept.reserve(names_.size() - deadNameBytes_);
    for (Slot& s : slots_) {
        if (s.wd < 0) continue;
        const uint32_t at = uint32_t(kept.size());
        kept.append(nameOf(s));
        s.nameAt = at;
    }
    names_.swap(kept);
    deadNameBytes_ = 0;
}

bool WatchTable::pathOf(int wd, std::string& out, uint32_t* rootIndex) {
    chain_.clear();
    for (int cur = wd;;) {
        const uint32_t slot = slotOf(cur);
        if (slot == kNone || chain_.size() > live_) return false;
        chain_.push_back(slot);
        if (slots_[slot].parent < 0) break;
        cur = slots_[slot].parent;
    }
    out.assign(nameOf(slots_[chain_.back()]));
    for (size_t i = chain_.size() - 1; i-- > 0;) appendComponent(out, nameOf(slots_[chain_[i]]));
    if (rootIndex) *rootIndex = slots_[chain_.back()].root;
    return true;
}

std::vector<int> WatchTable::subtreesOf(const std::vector<int>& tops) const {
    // Per entry: 0 not known yet, 1 inside, 2 outside.
    std::vector<uint8_t> verdict(slots_.size(), 0);
    for (int t : tops)
        if (const uint32_t slot = slotOf(t); slot != kNone) verdict[slot] = 1;
    std::vector<uint32_t> path;
    for (uint32_t start = 0; start < slots_.size(); ++start) {
        if (slots_[start].wd < 0 || verdict[start] != 0) continue;
        path.clear();
        uint8_t found = 2;
        for (uint32_t cur = start;;) {
            if (verdict[cur] != 0) {
                found = verdict[cur];
                break;
            }
            path.push_back(cur);
            const int parent = slots_[cur].parent;
            const uint32_t up = parent < 0 ? kNone : slotOf(parent);
            if (up == kNone || path.size() > live_) break;
            cur = up;
        }
        for (uint32_t p : path) verdict[p] = found;
    }
    std::vector<int> out;
    for (uint32_t slot = 0; slot < slots_.size(); ++slot)
        if (slots_[slot].wd >= 0 && verdict[slot] == 1) out.push_back(slots_[slot].wd);
    return out;
}

}  // namespace zelvane

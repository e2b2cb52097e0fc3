#include "ScanEngine/Tree/FileNode.hpp"

#include <sys/mman.h>
#include <unistd.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <array>
#include <mutex>
#include <unordered_map>

#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
#include "ScanEngine/Support/LocaleFormat.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {

int32_t packDate(DateSeconds s) {
    if (std::isnan(s)) return 0;
    double r = std::round(s);  // halves away from zero
    if (r >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}

struct RootData {
    NodeStore* store = nullptr;
    int64_t readStartedNanos = 0;
    bool hasFlatFileList = false;
};

// ---- name storage --------------------------------------------------------------------------
// A name buffer is its header followed by its units, and the node points at the units, so the
// pointer, the length and the width change together when a name is replaced. The header is read
// backwards from the units: a last byte with its low bit clear is a short one-byte-per-unit name
// (the byte holds units << 1, up to 127 units: nearly every name); otherwise that byte holds 1,
// plus 2 for two-byte units, and the four bytes before it the number of units. Nothing is
// aligned: units of either width are read by copying.

namespace {
constexpr size_t kShortUnits = 127;

inline StoredName readStoredName(const char* p) noexcept {
    const auto last = static_cast<unsigned char>(p[-1]);
    if (!(last & 1)) return {p, uint32_t(last >> 1), false};
    uint32_t units;
    std::memcpy(&units, p - 5, sizeof units);
    return {p, units, bool(last & 2)};
}

inline bool allAscii(std::string_view bytes) noexcept {
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, sizeof w);
        if (w & 0x8080808080808080ull) return false;
    }
    for (; i < bytes.size(); ++i)
        if (static_cast<unsigned char>(bytes[i]) & 0x80) return false;
    return true;
}
}  // namespace

NameUnits::NameUnits(StoredName s) : size_(s.units) {
    char16_t* out = inline_;
    if (s.units > kInline) {
        heap_.resize(s.units);
        out = heap_.data();
    }
    if (s.wide) {
        std::memcpy(out, s.bytes, s.units * sizeof(char16_t));
    } else {
        const auto* in = reinterpret_cast<const unsigned char*>(s.bytes);
        for (size_t i = 0; i < s.units; ++i) out[i] = char16_t(in[i]);
    }
    data_ = out;
}

FileNode::FileNode(bool isDir, bool withFolderData, bool withRootData) noexcept
    : kind_(uint8_t((isDir ? kIsDir : 0) | (withFolderData ? kHasFolderData : 0) | (withRootData ? kHasRootData : 0))) {}

RootData* FileNode::rootData() const noexcept {
    if (!(kind_ & kHasRootData)) return nullptr;
    return reinterpret_cast<RootData*>(const_cast<std::byte*>(reinterpret_cast<const std::byte*>(this)) +
                                       sizeof(FileNode) + sizeof(FolderData));
}

StoredName FileNode::storedName() const noexcept { return readStoredName(nameData()); }
std::string FileNode::name() const {
    auto units = nameUnits();
    return displayUTF8(units);
}

std::u16string FileNode::name16() const {
    auto units = nameUnits();
    return std::u16string(units.view());
}

std::string FileNode::nameBytes() const {
    std::string out;
    appendNameBytes(out);
    return out;
}

void FileNode::appendNameBytes(std::string& out) const {
    StoredName s = storedName();
    if (!s.wide && allAscii({s.bytes, s.units})) {
        out.append(s.bytes, s.units);
        return;
    }
    auto units = nameUnits();
    zelvane::appendNameBytes(units, out);
}

NodeStore* FileNode::store() const noexcept {
    const FileNode* n = this;
    while (n->parent_) n = n->parent_;
    const RootData* r = n->rootData();
    return r ? r->store : nullptr;
}

void FileNode::rename(std::u16string_view newName) {
    if (newName.size() >= size_t(std::numeric_limits<int32_t>::max())) return;
    const char* units = nullptr;
    if (NodeStore* s = store()) {
        units = s->allocateLateName(newName);
    } else {
        // A node outside any store root (a display group): it keeps the name for its lifetime.
        return;
    }
    // The old buffer stays in the arena: a background job may still be reading it.
    std::atomic_ref<const char*>(name_).store(units, std::memory_order_release);
}

void FileNode::rename(std::string_view newNameUTF8) { rename(std::u16string_view(decodeNameUTF8(newNameUTF8))); }

namespace {
template <typename Append>
std::string joinPath(const FileNode& node, Append&& append) {
    std::vector<const FileNode*> chain;
    for (const FileNode* n = &node; n; n = n->parent()) chain.push_back(n);
    std::string out;
    const FileNode* root = chain.back();
    append(*root, out);
    if (chain.size() == 1) return out;
    if (out.empty() || out.back() != '/') out.push_back('/');
    for (size_t i = chain.size() - 1; i-- > 0;) {
        append(*chain[i], out);
        if (i > 0) out.push_back('/');
    }
    return out;
}
}  // namespace

std::string FileNode::fullPath() const {
    return joinPath(*this, [](const FileNode& n, std::string& o) { auto u = n.nameUnits(); appendDisplayUTF8(u, o); });
}

std::string FileNode::pathBytes() const {
    return joinPath(*this, [](const FileNode& n, std::string& o) { n.appendNameBytes(o); });
}

int FileNode::depth() const noexcept {
    int d = 0;
    for (const FileNode* n = parent_; n; n = n->parent_) ++d;
    return d;
}

std::string FileNode::detectedExtension() const {
    auto name = nameUnits();
    std::u16string_view u = name;
    size_t dot = u.rfind(u'.');
    if (dot == std::u16string_view::npos || dot + 1 == u.size()) return {};
    auto ext = u.substr(dot + 1);
    // Lower-casing by the standard Unicode rules; escaped bytes pass through unchanged.
    icu::UnicodeString s(false, reinterpret_cast<const UChar*>(ext.data()), int32_t(ext.size()));
    icu::UnicodeString lower(s);
    lower.toLower(icu::Locale::getRoot());
    return displayUTF8(std::u16string_view(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length())));
}

std::string FileNode::nameWithoutDetectedExtension() const {
    auto name = nameUnits();
    std::u16string_view u = name;
    size_t dot = u.rfind(u'.');
    if (dot == std::u16string_view::npos) return displayUTF8(u);
    return displayUTF8(u.substr(0, dot));
}

std::string FileNode::dosAttributesString() const {
    static constexpr std::pair<uint16_t, char> kLetters[] = {
        {0x0001, 'R'}, {0x0002, 'H'}, {0x0004, 'S'}, {0x0020, 'A'}, {0x0040, 'D'}, {0x0800, 'C'}};
    std::string s;
    for (auto [bit, letter] : kLetters)
        if (dosAttributes & bit) s.push_back(letter);
    return s;
}

void FileNode::setFlag(uint8_t bit, bool on) noexcept {
    // The kind byte's own bits never reach the flag byte; its root-data bit shares its value with
    // kIsImpliedFolder, which lives in the flag byte.
    bit &= uint8_t(~(kIsDir | kHasFolderData));
    std::atomic_ref<uint8_t> f(flags_);
    if (on)
        f.fetch_or(bit, std::memory_order_relaxed);
    else
        f.fetch_and(uint8_t(~bit), std::memory_order_relaxed);
}

// ---- folder data ---------------------------------------------------------------------------

FolderData* FileNode::folderData() noexcept {
    if (!hasFolderData()) return nullptr;
    return reinterpret_cast<FolderData*>(reinterpret_cast<std::byte*>(this) + sizeof(FileNode));
}
const FolderData* FileNode::folderData() const noexcept { return const_cast<FileNode*>(this)->folderData(); }

std::span<FileNode* const> FileNode::children() const noexcept {
    const FolderData* fd = folderData();
    if (!fd) return {};
    return {fd->children, fd->childCount};
}

size_t FileNode::childCount() const noexcept {
    const FolderData* fd = folderData();
    return fd ? fd->childCount : 0;
}

void FileNode::appendChild(NodeArena& arena, FileNode* child) {
    FolderData* fd = folderData();
    if (!fd) return;
    if (fd->childCount == fd->childCapacity) {
        uint32_t cap = fd->childCapacity ? fd->childCapacity * 2 : 4;
        auto** mem = static_cast<FileNode**>(arena.allocate(sizeof(FileNode*) * cap));
        if (fd->childCount) std::memcpy(mem, fd->children, sizeof(FileNode*) * fd->childCount);
        fd->children = mem;
        fd->childCapacity = cap;
    }
    fd->children[fd->childCount++] = child;
    child->parent_ = this;
}

void FileNode::setChildren(NodeArena& arena, std::span<FileNode* const> kids) {
    FolderData* fd = folderData();
    if (!fd) return;
    auto** mem = kids.empty() ? nullptr : static_cast<FileNode**>(arena.allocate(sizeof(FileNode*) * kids.size()));
    if (!kids.empty()) std::memcpy(mem, kids.data(), sizeof(FileNode*) * kids.size());
    fd->children = mem;
    fd->childCount = uint32_t(kids.size());
    fd->childCapacity = uint32_t(kids.size());
    if (!isSyntheticGroup())
        for (FileNode* k : kids) k->parent_ = this;
}

void FileNode::truncateChildren(size_t newCount) noexcept {
    FolderData* fd = folderData();
    if (fd && newCount < fd->childCount) fd->childCount = uint32_t(newCount);
}

namespace {
template <typename T>
T loadRelaxed(const T& field) noexcept {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}
template <typename T>
void storeRelaxed(T& field, T v) noexcept {
    std::atomic_ref<T>(field).store(v, std::memory_order_relaxed);
}
}  // namespace

int64_t FileNode::subFolderTotSize() const noexcept {
    const FolderData* fd = folderData();
    return fd ? loadRelaxed(fd->subFolderTotSize) : 0;
}
int64_t FileNode::subFolderTotSizeAlloc() const noexcept {
    const FolderData* fd = folderData();
    return fd ? loadRelaxed(fd->subFolderTotSizeAlloc) : 0;
}
int32_t FileNode::subFolderFileCount() const noexcept {
    const FolderData* fd = folderData();
    return fd ? loadRelaxed(fd->subFolderFileCount) : 0;
}
int32_t FileNode::subFolderDirCount() const noexcept {
    const FolderData* fd = folderData();
    return fd ? loadRelaxed(fd->subFolderDirCount) : 0;
}
void FileNode::setSubFolderTotals(const AggregateTotals& t) noexcept {
    FolderData* fd = folderData();
    if (!fd) return;
    storeRelaxed(fd->subFolderTotSize, t.size);
    storeRelaxed(fd->subFolderTotSizeAlloc, t.alloc);
    storeRelaxed(fd->subFolderFileCount, t.files);
    storeRelaxed(fd->subFolderDirCount, t.dirs);
}

// ---- roll-up and walks ---------------------------------------------------------------------
// Every walk is iterative: a scanned tree can be deeper than any thread stack.

AggregateTotals FileNode::aggregateSizes() {
    auto own = [](const FileNode* n) {
        return AggregateTotals{n->fileSize, n->doNotCountAllocated() ? 0 : n->allocSize, 0, 0};
    };
    if (!isDir()) return own(this);
    struct Frame {
        FileNode* node;
        size_t next;
        AggregateTotals sum;
    };
    std::vector<Frame> stack;
    stack.push_back({this, 0, {}});
    AggregateTotals result;
    while (!stack.empty()) {
        Frame& f = stack.back();
        auto kids = f.node->children();
        if (f.next < kids.size()) {
            FileNode* c = kids[f.next++];
            if (c->isDir()) {
                stack.push_back({c, 0, {}});
            } else {
                AggregateTotals t = own(c);
                f.sum.size = saturatingAdd(f.sum.size, t.size);
                f.sum.alloc = saturatingAdd(f.sum.alloc, t.alloc);
                f.sum.files += 1;
            }
            continue;
        }
        AggregateTotals done = f.sum;
        f.node->setSubFolderTotals(done);
        stack.pop_back();
        if (stack.empty()) {
            result = done;
        } else {
            AggregateTotals& up = stack.back().sum;
            up.size = saturatingAdd(up.size, done.size);
            up.alloc = saturatingAdd(up.alloc, done.alloc);
            up.files += done.files;
            up.dirs += done.dirs + 1;
        }
    }
    return result;
}

void FileNode::keepOwnModifiedDate() noexcept {
    FolderData* fd = folderData();
    if (!fd || fd->raisedToNewestBelow) return;
    fd->ownModifiedDateRaw = modifiedDateRaw;
    fd->raisedToNewestBelow = true;
}

bool FileNode::raisedToNewestBelow() const noexcept {
    const FolderData* fd = folderData();
    return fd && fd->raisedToNewestBelow;
}

int32_t FileNode::ownModifiedDateRaw() const noexcept {
    const FolderData* fd = folderData();
    return fd && fd->raisedToNewestBelow ? fd->ownModifiedDateRaw : modifiedDateRaw;
}

DateSeconds FileNode::applyMaxModifiedDateToFolders() {
    if (!isDir()) return modifiedDate();
    keepOwnModifiedDate();
    struct Frame {
        FileNode* node;
        size_t next;
        int32_t newest;
    };
    std::vector<Frame> stack;
    stack.push_back({this, 0, modifiedDateRaw});
    int32_t result = modifiedDateRaw;
    while (!stack.empty()) {
        Frame& f = stack.back();
        auto kids = f.node->children();
        if (f.next < kids.size()) {
            FileNode* c = kids[f.next++];
            if (c->isDir()) {
                c->keepOwnModifiedDate();
                stack.push_back({c, 0, c->modifiedDateRaw});
            } else {
                f.newest = std::max(f.newest, c->modifiedDateRaw);
            }
            continue;
        }
        int32_t done = f.newest;
        f.node->modifiedDateRaw = done;
        stack.pop_back();
        if (stack.empty())
            result = done;
        else
            stack.back().newest = std::max(stack.back().newest, done);
    }
    return unpackDate(result);
}

bool FileNode::flagDeletedRecursively() {
    if (isDeleted()) return false;
    std::vector<FileNode*> stack{this};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        n->setIsDeleted(true);
        auto kids = n->children();
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return true;
}

namespace {

// What an item adds to the totals of every folder above it.
AggregateTotals shareOf(const FileNode& n) {
    if (n.isDir())
        return {n.subFolderTotSize(), n.doNotCountAllocated() ? 0 : n.subFolderTotSizeAlloc(), n.subFolderFileCount(),
                n.subFolderDirCount() + 1};
    return {n.fileSize, n.doNotCountAllocated() ? 0 : n.allocSize, 1, 0};
}

void addTo(AggregateTotals& sum, const AggregateTotals& more) {
    sum.size += more.size;
    sum.alloc += more.alloc;
    sum.files += more.files;
    sum.dirs += more.dirs;
}

void addTo(FolderData& fd, const AggregateTotals& more, int sign) {
    storeRelaxed(fd.subFolderTotSize, loadRelaxed(fd.subFolderTotSize) + sign * more.size);
    storeRelaxed(fd.subFolderTotSizeAlloc, loadRelaxed(fd.subFolderTotSizeAlloc) + sign * more.alloc);
    storeRelaxed(fd.subFolderFileCount, loadRelaxed(fd.subFolderFileCount) + sign * more.files);
    storeRelaxed(fd.subFolderDirCount, loadRelaxed(fd.subFolderDirCount) + sign * more.dirs);
}

}  // namespace

void FileNode::subtractContributionFromAncestors() {
    const AggregateTotals share = shareOf(*this);
    for (FileNode* a = parent_; a; a = a->parent_)
        if (FolderData* fd = a->folderData()) addTo(*fd, share, -1);
}

bool FileNode::markDeletedWithSubtree() {
    if (isDeleted()) return false;
    // What it still counts leaves its ancestors; what went before it had left them already.
    subtractContributionFromAncestors();
    // Each folder below takes back, from the bottom up, the shares of the items in it that were
    // marked before, and hands them on to its own folder, up to this node.
    struct Frame {
        FileNode* node;
        size_t next;
        AggregateTotals back;
    };
    std::vector<Frame> stack{{this, 0, {}}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const auto kids = f.node->children();
        if (f.next < kids.size()) {
            FileNode* c = kids[f.next++];
            if (c->isDeleted())
                addTo(f.back, shareOf(*c));
            else if (c->isDir())
                stack.push_back({c, 0, {}});
            else
                c->setIsDeleted(true);
            continue;
        }
        FileNode* done = f.node;
        const AggregateTotals back = f.back;
        stack.pop_back();
        done->setIsDeleted(true);
        if (FolderData* fd = done->folderData()) addTo(*fd, back, +1);
        if (!stack.empty()) addTo(stack.back().back, back);
    }
    return true;
}

bool FileNode::countAllocatedSpaceFromNowOn() {
    if (isDir() || !doNotCountAllocated()) return false;
    setDoNotCountAllocated(false);
    for (FileNode* a = parent_; a; a = a->parent_) {
        FolderData* fd = a->folderData();
        if (!fd) continue;
        storeRelaxed(fd->subFolderTotSizeAlloc, loadRelaxed(fd->subFolderTotSizeAlloc) + allocSize);
    }
    return true;
}

// ---- duplicates ----------------------------------------------------------------------------

DuplicateGroup* FileNode::dupGroup() const noexcept {
    uint32_t slot = loadRelaxed(dupSlot_);
    if (slot == 0) return nullptr;
    NodeStore* s = store();
    return s ? s->dupGroupAt(slot) : nullptr;
}

void FileNode::setDupGroup(DuplicateGroup* group) noexcept {
    NodeStore* s = store();
    if (!s) return;  // a node under no store root keeps no group
    const uint32_t old = loadRelaxed(dupSlot_);
    if (old != 0 && s->dupGroupAt(old) == group) return;
    const uint32_t slot = group ? s->acquireDupSlot(group) : 0;
    storeRelaxed(dupSlot_, slot);
    if (old != 0) s->releaseDupSlot(old);
}

int FileNode::dupCount() const noexcept {
    DuplicateGroup* g = dupGroup();
    if (!g || g->members.empty()) return 0;
    return int(g->members.size()) - 1;
}

int64_t FileNode::dupSize() const noexcept {
    int64_t count = dupCount();
    if (count == 0) return 0;
    return saturatingMul(count, effectiveSize());
}

// ---- root data -----------------------------------------------------------------------------

bool FileNode::hasFlatFileList() const noexcept {
    const RootData* r = rootData();
    return r && r->hasFlatFileList;
}

int64_t FileNode::readStartedNanos() const noexcept {
    const RootData* r = rootData();
    return r ? r->readStartedNanos : 0;
}

void FileNode::setReadStartedNanos(int64_t nanos) noexcept {
    if (RootData* r = rootData()) r->readStartedNanos = nanos;
}

void FileNode::setHasFlatFileList() noexcept {
    if (RootData* r = rootData()) r->hasFlatFileList = true;
}

std::vector<FileNode*> FileNode::flatFileList() const {
    std::vector<FileNode*> out;
    if (!hasFlatFileList()) return out;
    out.reserve(size_t(std::max(0, subFolderFileCount())) + size_t(std::max(0, subFolderDirCount())));
    // Post-order in child order: each folder after everything below it.
    struct Frame {
        std::span<FileNode* const> kids;
        size_t next;
        FileNode* node;
    };
    std::vector<Frame> stack{{children(), 0, nullptr}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.kids.size()) {
            FileNode* c = f.kids[f.next++];
            if (auto kids = c->children(); !kids.empty())
                stack.push_back({kids, 0, c});
            else
                out.push_back(c);
            continue;
        }
        if (f.node) out.push_back(f.node);
        stack.pop_back();
    }
    return out;
}

// ---- display grouping ----------------------------------------------------------------------

namespace {

// A group's totals count the files that are still there: files marked deleted keep their rows
// (struck through) but no longer add to the group, as they no longer add to its folder. Once
// every file went (with its folder, or one by one) the group is shown gone and, as a row shown
// gone does, keeps what its rows hold: the totals of all its files.
AggregateTotals groupFileTotals(std::span<FileNode* const> files) {
    const auto sum = [files](bool withDeleted) {
        AggregateTotals out;
        for (const FileNode* f : files) {
            if (f->isDeleted() && !withDeleted) continue;
            out.size = saturatingAdd(out.size, f->fileSize);
            if (!f->doNotCountAllocated()) out.alloc = saturatingAdd(out.alloc, f->allocSize);
            out.files += 1;
        }
        return out;
    };
    const AggregateTotals live = sum(false);
    return live.files > 0 || files.empty() ? live : sum(true);
}

bool allDeleted(std::span<FileNode* const> files) {
    return std::all_of(files.begin(), files.end(), [](const FileNode* f) { return f->isDeleted(); });
}

std::string groupLabel(int32_t count, const FileNode& folder) {
    std::string label(1, '[');
    label.append(formatIntegerForLocale(int64_t(count)));
    label.append(count == 1 ? " File in " : " Files in ");
    label.append(folder.fullPath());
    label.push_back(']');
    return label;
}

}  // namespace

void FileNode::refreshSyntheticGroup() {
    if (!isSyntheticGroup()) return;
    const AggregateTotals totals = groupFileTotals(children());
    const int32_t before = subFolderFileCount();
    setSubFolderTotals(totals);
    // Once every file of it went, the group row is drawn gone like them.
    setIsDeleted(allDeleted(children()));
    if (totals.files != before && parent_) rename(std::string_view(groupLabel(totals.files, *parent_)));
}

FileNode::Grouped FileNode::groupedChildren(int minGroupSize) const {
    return groupedChildrenIn(minGroupSize, nullptr);
}

FileNode::Grouped FileNode::groupedChildren(int minGroupSize, NodeArena& groupArena) const {
    return groupedChildrenIn(minGroupSize, &groupArena);
}

FileNode::Grouped FileNode::groupedChildrenIn(int minGroupSize, NodeArena* groupArena) const {
    Grouped out;
    auto kids = children();
    out.nodes.assign(kids.begin(), kids.end());
    if (isSyntheticGroup() || minGroupSize < 1) return out;
    std::vector<FileNode*> files;
    std::vector<FileNode*> folders;
    int32_t newest = kPackedUnixEpoch;
    bool any = false;
    for (FileNode* k : kids) {
        if (k->isDir()) {
            folders.push_back(k);
        } else {
            newest = any ? std::max(newest, k->modifiedDateRaw) : k->modifiedDateRaw;
            any = true;
            files.push_back(k);
        }
    }
    if (files.size() < size_t(minGroupSize)) return out;

    const AggregateTotals totals = groupFileTotals(files);
    const std::string label = groupLabel(totals.files, *this);
    std::shared_ptr<NodeStore> ownStore;
    if (!groupArena) {
        ownStore = NodeStore::create();
        groupArena = &ownStore->makeArena();
    }
    NodeArena& arena = *groupArena;
    FileNode* group = arena.makeNode16(utf16FromUTF8(label), true, 0, 0, newest);
    group->setIsSyntheticGroup(true);
    group->parent_ = const_cast<FileNode*>(this);
    if (folders.empty()) {
        // Every child is a file: the group's files are the folder's child list itself, which it
        // refers to instead of copying (a whole disk's treemap makes tens of thousands of
        // groups). Arena memory is never freed while the tree lives, and a folder's list is
        // replaced rather than written over (a sort of the whole tree for an export reorders
        // it in place, keeping the same files). The group's capacity is its count, so nothing
        // appended to it could reach the folder's list.
        FolderData* fd = group->folderData();
        fd->children = const_cast<FileNode**>(kids.data());
        fd->childCount = uint32_t(kids.size());
        fd->childCapacity = uint32_t(kids.size());
    } else {
        group->setChildren(arena, files);  // a group does not adopt its files: their parent stays
    }
    group->setSubFolderTotals(totals);
    group->setIsDeleted(allDeleted(files));
    folders.push_back(group);
    out.nodes = std::move(folders);
    out.group = std::shared_ptr<FileNode>(ownStore ? ownStore : arena.store().shared_from_this(), group);
    return out;
}

// ---- arena ---------------------------------------------------------------------------------

NodeArena::~NodeArena() = default;

namespace {

// Pages of a big chunk are made present this many bytes at a time, ahead of their first use: one
// call instead of a fault per page, and never more than this much made present and not used.
constexpr uintptr_t kPresentAhead = uintptr_t(128) << 10;
constexpr size_t kChunkMadePresentFrom = size_t(256) << 10;
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Makes [from, to) present, rounded out to whole pages (all of them inside the chunk's mapping);
// where the system cannot, the pages come on first use as usual.
void makePresent(uintptr_t from, uintptr_t to) {
    static const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    from &= ~(page - 1);
    to = (to + page - 1) & ~(page - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

}  // namespace

void* NodeArena::allocateIn(Region& r, size_t bytes, size_t align) {
    auto p = reinterpret_cast<uintptr_t>(r.cur);
    uintptr_t aligned = (p + align - 1) & ~(uintptr_t(align) - 1);
    if (!r.cur || aligned + bytes > reinterpret_cast<uintptr_t>(r.end)) {
        size_t size = std::max(r.nextChunk, bytes + align);
        chunks_.emplace_back(new std::byte[size]);
        reserved_ += size;
        r.cur = chunks_.back().get();
        r.end = r.cur + size;
        // Only big chunks (a scan's) are made present ahead; small ones are mostly used at once.
        r.presentTo = size >= kChunkMadePresentFrom ? r.cur : r.end;
        // Small trees (display groups, tests) stay small; scans quickly reach 1 MiB chunks.
        r.nextChunk = std::min<size_t>(r.nextChunk * 2, size_t(1) << 20);
        p = reinterpret_cast<uintptr_t>(r.cur);
        aligned = (p + align - 1) & ~(uintptr_t(align) - 1);
    }
    r.cur = reinterpret_cast<std::byte*>(aligned + bytes);
    if (r.cur > r.presentTo) {
        const auto from = reinterpret_cast<uintptr_t>(r.presentTo);
        const auto end = reinterpret_cast<uintptr_t>(r.end);
        const uintptr_t to = std::min(end, reinterpret_cast<uintptr_t>(r.cur) + kPresentAhead);
        makePresent(from, to);
        r.presentTo = reinterpret_cast<std::byte*>(to);
    }
    return reinterpret_cast<void*>(aligned);
}

void* NodeArena::allocate(size_t bytes, size_t align) { return allocateIn(nodes_, bytes, align); }

char* NodeArena::allocateNameBytes(size_t units, bool wide) {
    const bool isShort = !wide && units <= kShortUnits;
    const size_t header = isShort ? 1 : 5;
    auto* mem = static_cast<char*>(allocateIn(names_, header + units * (wide ? 2 : 1), 1));
    char* p = mem + header;
    if (isShort) {
        p[-1] = char(uint8_t(units << 1));
    } else {
        p[-1] = char(uint8_t(1 | (wide ? 2 : 0)));
        const uint32_t u = uint32_t(units);
        std::memcpy(p - 5, &u, sizeof u);
    }
    return p;
}

const char* NodeArena::allocateName(std::u16string_view units) {
    const bool wide = std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; });
    char* p = allocateNameBytes(units.size(), wide);
    if (wide) {
        if (!units.empty()) std::memcpy(p, units.data(), units.size() * sizeof(char16_t));
    } else {
        for (size_t i = 0; i < units.size(); ++i) p[i] = char(uint8_t(units[i]));
    }
    return p;
}

const char* NodeArena::allocateNameUTF8(std::string_view bytes) {
    if (allAscii(bytes)) {
        char* p = allocateNameBytes(bytes.size(), false);
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        return p;
    }
    // UTF-16 never needs more units than UTF-8 has bytes.
    char16_t local[NameUnits::kInline];
    std::u16string heap;
    char16_t* units = local;
    if (bytes.size() > std::size(local)) {
        heap.resize(bytes.size());
        units = heap.data();
    }
    return allocateName({units, decodeNameUTF8(bytes, units)});
}

FileNode* NodeArena::construct(bool isDir, bool withFolderData, bool withRootData) {
    static_assert(sizeof(FileNode) % alignof(FolderData) == 0 && (sizeof(FileNode) + sizeof(FolderData)) % alignof(RootData) == 0);
    withFolderData = withFolderData || withRootData;
    size_t bytes = sizeof(FileNode) + (withFolderData ? sizeof(FolderData) : 0) + (withRootData ? sizeof(RootData) : 0);
    void* mem = allocate(bytes, alignof(FileNode));
    auto* node = new (mem) FileNode(isDir, withFolderData, withRootData);
    if (withFolderData) new (node->folderData()) FolderData();
    if (withRootData) new (node->rootData()) RootData();
    return node;
}

FileNode* NodeArena::makeNode(std::string_view nameUTF8, bool isDir, int64_t fileSize, int64_t allocSize,
                              int32_t modifiedDateRaw) {
    FileNode* n = construct(isDir, isDir);
    n->name_ = allocateNameUTF8(nameUTF8);
    n->fileSize = fileSize;
    n->allocSize = allocSize;
    n->modifiedDateRaw = modifiedDateRaw;
    return n;
}

FileNode* NodeArena::makeNode16(std::u16string_view name, bool isDir, int64_t fileSize, int64_t allocSize,
                                int32_t modifiedDateRaw) {
    FileNode* n = construct(isDir, isDir);
    n->name_ = allocateName(name);
    n->fileSize = fileSize;
    n->allocSize = allocSize;
    n->modifiedDateRaw = modifiedDateRaw;
    return n;
}

FileNode* NodeArena::makeRoot(std::string_view nameUTF8, bool isDir, int64_t fileSize, int64_t allocSize,
                              int32_t modifiedDateRaw) {
    return makeRoot16(decodeNameUTF8(nameUTF8), isDir, fileSize, allocSize, modifiedDateRaw);
}

FileNode* NodeArena::makeRoot16(std::u16string_view name, bool isDir, int64_t fileSize, int64_t allocSize,
                                int32_t modifiedDateRaw) {
    FileNode* n = construct(isDir, true, true);
    n->name_ = allocateName(name);
    n->fileSize = fileSize;
    n->allocSize = allocSize;
    n->modifiedDateRaw = modifiedDateRaw;
    n->rootData()->store = &store_;
    store_.registerRoot(n);
    return n;
}

// ---- store ---------------------------------------------------------------------------------

struct NodeStore::Locked {
    std::mutex mutex;
    std::vector<std::unique_ptr<NodeArena>> arenas;
    NodeArena* late = nullptr;
    std::vector<FileNode*> roots;
};

// Slots are found by index without the lock: a table of chunk pointers and the chunks, each made
// once (the first time a group is assigned) and never moved. A slot's group stays alive while
// nodes are assigned to it; freed slots are used again.
class NodeStore::DupSlotsLocked final {
public:
    static constexpr uint32_t kChunkBits = 12;
    static constexpr uint32_t kChunk = 1u << kChunkBits;
    static constexpr uint32_t kChunks = 1u << 12;  // 2^24 groups: one per two nodes of a huge tree

    ~DupSlotsLocked() {
        Table* table = table_.load(std::memory_order_relaxed);
        if (!table) return;
        for (auto& c : *table) {
            Chunk* chunk = c.load(std::memory_order_relaxed);
            if (!chunk) continue;
            for (auto& g : *chunk)
                if (DuplicateGroup* group = g.load(std::memory_order_relaxed)) group->release();
            delete chunk;
        }
        delete table;
    }

    DuplicateGroup* at(uint32_t slot) const noexcept {
        const Table* table = table_.load(std::memory_order_acquire);
        if (!table || (slot >> kChunkBits) >= kChunks) return nullptr;
        const Chunk* chunk = (*table)[slot >> kChunkBits].load(std::memory_order_acquire);
        return chunk ? (*chunk)[slot & (kChunk - 1)].load(std::memory_order_acquire) : nullptr;
    }

    // 0 when the table is full.
    uint32_t acquire(DuplicateGroup* group) {
        std::lock_guard lock(mutex_);
        return acquireLocked(group, 1);
    }

    void release(uint32_t slot) {
        DuplicateGroup* group = nullptr;
        {
            std::lock_guard lock(mutex_);
            group = releaseLocked(slot, 1);
        }
        if (group) group->release();
    }

    // Runs `body` holding the lock; the ...Locked calls below are for it alone.
    template <typename Body>
    void withLock(Body&& body) {
        std::lock_guard lock(mutex_);
        body();
    }

    // The group's slot, counting `nodes` more nodes on it; 0 when the table is full.
    uint32_t acquireLocked(DuplicateGroup* group, uint32_t nodes) {
        auto [it, fresh] = slots_.try_emplace(group, 0);
        if (fresh) {
            const uint32_t slot = free_.empty() ? next_ : free_.back();
            if ((slot >> kChunkBits) >= kChunks) {
                slots_.erase(it);
                return 0;
            }
            if (free_.empty()) ++next_; else free_.pop_back();
            if (nodes_.size() <= slot) nodes_.resize(std::max(size_t(slot) + 1, nodes_.size() * 2), 0);
            group->retain();
            slotRef(slot).store(group, std::memory_order_release);
            it->second = slot;
        }
        nodes_[it->second] += nodes;
        return it->second;
    }

    // A slot of its own for a group assigned in bulk, counting `nodes` nodes on it; 0 when the
    // table is full. Not entered in the map: the group keeps its slot itself.
    uint32_t acquireBulkLocked(DuplicateGroup* group, uint32_t nodes) {
        const uint32_t slot = free_.empty() ? next_ : free_.back();
        if ((slot >> kChunkBits) >= kChunks) return 0;
        if (free_.empty()) ++next_; else free_.pop_back();
        if (nodes_.size() <= slot) nodes_.resize(std::max(size_t(slot) + 1, nodes_.size() * 2), 0);
        group->retain();
        slotRef(slot).store(group, std::memory_order_release);
        nodes_[slot] = nodes;
        return slot;
    }

    // Counts `nodes` fewer nodes on the slot. When none is left the slot is freed and its group
    // returned: the caller releases it once the lock is given back.
    DuplicateGroup* releaseLocked(uint32_t slot, uint32_t nodes) {
        if (slot >= nodes_.size() || nodes_[slot] == 0 || nodes == 0) return nullptr;
        nodes_[slot] -= std::min(nodes, nodes_[slot]);
        if (nodes_[slot] > 0) return nullptr;
        DuplicateGroup* group = slotRef(slot).exchange(nullptr, std::memory_order_acq_rel);
        if (auto it = slots_.find(group); it != slots_.end() && it->second == slot) slots_.erase(it);
        free_.push_back(slot);
        return group;
    }

private:
    using Chunk = std::array<std::atomic<DuplicateGroup*>, kChunk>;
    using Table = std::array<std::atomic<Chunk*>, kChunks>;

    // Under the lock: makes the table and the slot's chunk when they are missing.
    std::atomic<DuplicateGroup*>& slotRef(uint32_t slot) {
        Table* table = table_.load(std::memory_order_relaxed);
        if (!table) {
            table = new Table();
            table_.store(table, std::memory_order_release);
        }
        std::atomic<Chunk*>& c = (*table)[slot >> kChunkBits];
        Chunk* chunk = c.load(std::memory_order_relaxed);
        if (!chunk) {
            chunk = new Chunk();
            c.store(chunk, std::memory_order_release);
        }
        return (*chunk)[slot & (kChunk - 1)];
    }

    std::mutex mutex_;
    std::atomic<Table*> table_{nullptr};
    uint32_t next_ = 1;            // slot 0 stands for no group
    std::vector<uint32_t> nodes_;  // nodes assigned to each slot
    std::vector<uint32_t> free_;
    std::unordered_map<DuplicateGroup*, uint32_t> slots_;
};

NodeStore::NodeStore() : locked_(new Locked()), dupSlots_(new DupSlotsLocked()) {}
void NodeStore::LockedDeleter::operator()(Locked* l) const { delete l; }
void NodeStore::DupSlotsDeleter::operator()(DupSlotsLocked* d) const { delete d; }

std::shared_ptr<NodeStore> NodeStore::create() { return std::shared_ptr<NodeStore>(new NodeStore()); }

// Nodes only reach outside the arena through their duplicate groups, which the slot table gives
// back: no walk over the nodes.
NodeStore::~NodeStore() = default;

uint32_t NodeStore::acquireDupSlot(DuplicateGroup* group) { return dupSlots_->acquire(group); }
void NodeStore::releaseDupSlot(uint32_t slot) { dupSlots_->release(slot); }
DuplicateGroup* NodeStore::dupGroupAt(uint32_t slot) const noexcept { return dupSlots_->at(slot); }

namespace {
// Groups per hold of the slot table's lock: long enough to cost nothing, short enough that a
// single assignment elsewhere never waits long.
constexpr size_t kDupBatch = 4096;
}  // namespace

// Slots are given and counted under the lock, a batch of groups at a time, without touching a node;
// the nodes' own slots are atomics of their own, written on every processor in between.
void NodeStore::assignDupGroups(std::span<const DupGroupRef> groups) {
    std::vector<DuplicateGroup*> freed;
    for (size_t b = 0; b < groups.size(); b += kDupBatch) {
        dupSlots_->withLock([&] {
            for (const DupGroupRef& g : groups.subspan(b, std::min(kDupBatch, groups.size() - b)))
                if (g && !g->members.empty()) g->bulkSlot_ = dupSlots_->acquireBulkLocked(g.get(), uint32_t(g->members.size()));
        });
    }
    // Each member takes its group's slot; the slots they had are given back after, one count each
    // (a member that had its group already gives back the count it had).
    const unsigned workers = parallelWorkerCount();
    std::vector<std::vector<uint32_t>> had(workers);
    parallelFor(groups.size(), workers, 1024, [&](size_t i, unsigned w) {
        const DupGroupRef& g = groups[i];
        if (!g) return;
        for (FileNode* m : g->members)
            if (const uint32_t old = std::atomic_ref<uint32_t>(m->dupSlot_).exchange(g->bulkSlot_, std::memory_order_relaxed))
                had[w].push_back(old);
    });
    for (const auto& slots : had) {
        for (size_t b = 0; b < slots.size(); b += kDupBatch) {
            dupSlots_->withLock([&] {
                for (uint32_t slot : std::span(slots).subspan(b, std::min(kDupBatch, slots.size() - b)))
                    if (DuplicateGroup* gone = dupSlots_->releaseLocked(slot, 1)) freed.push_back(gone);
            });
            for (DuplicateGroup* gone : freed) gone->release();
            freed.clear();
        }
    }
}

void NodeStore::clearDupGroups(std::span<const DupGroupRef> groups) {
    // The members still on their group's slot leave it, on every processor; the counts are given
    // back after, under the lock a batch at a time.
    std::vector<uint32_t> cleared(groups.size(), 0);
    parallelFor(groups.size(), parallelWorkerCount(), 1024, [&](size_t i, unsigned) {
        const DupGroupRef& g = groups[i];
        if (!g || g->bulkSlot_ == 0 || dupSlots_->at(g->bulkSlot_) != g.get()) return;
        for (FileNode* m : g->members) {
            uint32_t expected = g->bulkSlot_;
            if (std::atomic_ref<uint32_t>(m->dupSlot_).compare_exchange_strong(expected, 0, std::memory_order_relaxed))
                ++cleared[i];
        }
    });
    std::vector<DuplicateGroup*> freed;
    for (size_t b = 0; b < groups.size(); b += kDupBatch) {
        dupSlots_->withLock([&] {
            for (size_t i = b; i < std::min(groups.size(), b + kDupBatch); ++i) {
                if (cleared[i] == 0) continue;
                if (DuplicateGroup* gone = dupSlots_->releaseLocked(groups[i]->bulkSlot_, cleared[i])) {
                    freed.push_back(gone);
                    groups[i]->bulkSlot_ = 0;
                }
            }
        });
        for (DuplicateGroup* gone : freed) gone->release();
        freed.clear();
    }
}

std::vector<NodeStore*> storesOf(std::span<const RootRef> roots) {
    std::vector<NodeStore*> out;
    for (const RootRef& r : roots)
        if (NodeStore* s = r ? r->store() : nullptr; s && std::find(out.begin(), out.end(), s) == out.end())
            out.push_back(s);
    return out;
}

void assignDupGroups(std::span<const DupGroupRef> groups, std::span<NodeStore* const> stores) {
    if (stores.size() == 1) {
        stores.front()->assignDupGroups(groups);
        return;
    }
    for (const DupGroupRef& g : groups)
        for (FileNode* m : g->members) m->setDupGroup(g.get());
}

void clearDupGroups(std::span<const DupGroupRef> groups, std::span<NodeStore* const> stores) {
    if (stores.size() == 1) {
        stores.front()->clearDupGroups(groups);
        return;
    }
    for (const DupGroupRef& g : groups)
        for (FileNode* m : g->members)
            if (m->dupGroup() == g.get()) m->setDupGroup(nullptr);
}

NodeArena& NodeStore::makeArena() {
    std::lock_guard lock(locked_->mutex);
    locked_->arenas.push_back(std::make_unique<NodeArena>(*this));
    return *locked_->arenas.back();
}

const char* NodeStore::allocateLateName(std::u16string_view units) {
    std::lock_guard lock(locked_->mutex);
    if (!locked_->late) {
        locked_->arenas.push_back(std::make_unique<NodeArena>(*this));
        locked_->late = locked_->arenas.back().get();
    }
    return locked_->late->allocateName(units);
}

void NodeStore::registerRoot(FileNode* root) {
    std::lock_guard lock(locked_->mutex);
    locked_->roots.push_back(root);
}

std::vector<FileNode*> NodeStore::roots() const {
    std::lock_guard lock(locked_->mutex);
    return locked_->roots;
}

std::shared_ptr<FileNode> NodeStore::handle(FileNode* root) { return std::shared_ptr<FileNode>(shared_from_this(), root); }

size_t NodeStore::bytesReserved() const {
    std::lock_guard lock(locked_->mutex);
    size_t total = 0;
    for (const auto& a : locked_->arenas) total += a->bytesReserved();
    return total;
}

}  // namespace zelvane

#include "ScanEngine/Tree/FileNode.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "ScanEngine/Support/Arithmetic.hpp"
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

// ---- name storage --------------------------------------------------------------------------
// A name buffer is [length: 2 units][units...], at least one unit, so the pointer and the length
// change together when a name is replaced.

namespace {
constexpr size_t kLengthUnits = 2;

inline int32_t lengthOf(const char16_t* units) noexcept {
    uint32_t len;
    std::memcpy(&len, units - kLengthUnits, sizeof len);
    return int32_t(len);
}
inline void storeLength(char16_t* units, size_t len) noexcept {
    uint32_t v = uint32_t(len);
    std::memcpy(units - kLengthUnits, &v, sizeof v);
}
inline size_t nameBytesFor(size_t units) { return (kLengthUnits + std::max<size_t>(units, 1)) * sizeof(char16_t); }
}  // namespace

FileNode::FileNode(bool isDir, bool withFolderData) noexcept
    : kind_(uint8_t((isDir ? kIsDir : 0) | (withFolderData ? kHasFolderData : 0))) {}

std::u16string_view FileNode::nameUnits() const noexcept {
    const char16_t* p = nameData();
    return {p, size_t(lengthOf(p))};
}

int32_t FileNode::nameLength() const noexcept { return lengthOf(nameData()); }
std::string FileNode::name() const { return displayUTF8(nameUnits()); }
std::string FileNode::nameBytes() const { return encodeNameBytes(nameUnits()); }

NodeStore* FileNode::store() const noexcept {
    const FileNode* n = this;
    while (n->parent_) n = n->parent_;
    const FolderData* fd = n->folderData();
    return fd && fd->root ? fd->root->store : nullptr;
}

void FileNode::rename(std::u16string_view newName) {
    if (newName.size() >= size_t(std::numeric_limits<int32_t>::max())) return;
    char16_t* units = nullptr;
    if (NodeStore* s = store()) {
        units = s->allocateLateName(newName);
    } else {
        // A node outside any store root (a display group): it keeps the name for its lifetime.
        return;
    }
    // The old buffer stays in the arena: a background job may still be reading it.
    std::atomic_ref<char16_t*>(name_).store(units, std::memory_order_release);
}

void FileNode::rename(std::string_view newNameUTF8) { rename(std::u16string_view(decodeNameUTF8(newNameUTF8))); }

namespace {
template <typename Append>
std::string joinPath(const FileNode& node, Append&& append) {
    std::vector<const FileNode*> chain;
    for (const FileNode* n = &node; n; n = n->parent()) chain.push_back(n);
    std::string out;
    const FileNode* root = chain.back();
    append(root->nameUnits(), out);
    if (chain.size() == 1) return out;
    if (out.empty() || out.back() != '/') out.push_back('/');
    for (size_t i = chain.size() - 1; i-- > 0;) {
        append(chain[i]->nameUnits(), out);
        if (i > 0) out.push_back('/');
    }
    return out;
}
}  // namespace

std::string FileNode::fullPath() const {
    return joinPath(*this, [](std::u16string_view u, std::string& o) { appendDisplayUTF8(u, o); });
}

std::string FileNode::pathBytes() const {
    return joinPath(*this, [](std::u16string_view u, std::string& o) { appendNameBytes(u, o); });
}

int FileNode::depth() const noexcept {
    int d = 0;
    for (const FileNode* n = parent_; n; n = n->parent_) ++d;
    return d;
}

std::string FileNode::detectedExtension() const {
    auto u = nameUnits();
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
    auto u = nameUnits();
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

DateSeconds FileNode::applyMaxModifiedDateToFolders() {
    if (!isDir()) return modifiedDate();
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
            if (c->isDir())
                stack.push_back({c, 0, c->modifiedDateRaw});
            else
                f.newest = std::max(f.newest, c->modifiedDateRaw);
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

void FileNode::subtractContributionFromAncestors() {
    AggregateTotals share;
    if (isDir()) {
        share = {subFolderTotSize(), doNotCountAllocated() ? 0 : subFolderTotSizeAlloc(), subFolderFileCount(),
                 subFolderDirCount() + 1};
    } else {
        share = {fileSize, doNotCountAllocated() ? 0 : allocSize, 1, 0};
    }
    for (FileNode* a = parent_; a; a = a->parent_) {
        FolderData* fd = a->folderData();
        if (!fd) continue;
        storeRelaxed(fd->subFolderTotSize, loadRelaxed(fd->subFolderTotSize) - share.size);
        storeRelaxed(fd->subFolderTotSizeAlloc, loadRelaxed(fd->subFolderTotSizeAlloc) - share.alloc);
        storeRelaxed(fd->subFolderFileCount, loadRelaxed(fd->subFolderFileCount) - share.files);
        storeRelaxed(fd->subFolderDirCount, loadRelaxed(fd->subFolderDirCount) - share.dirs);
    }
}

// ---- duplicates ----------------------------------------------------------------------------

DuplicateGroup* FileNode::dupGroup() const noexcept { return loadRelaxed(dupGroup_); }

void FileNode::setDupGroup(DuplicateGroup* group) noexcept {
    DuplicateGroup* old = dupGroup();
    if (old == group) return;
    if (group) group->retain();
    storeRelaxed(dupGroup_, group);
    if (old) old->release();
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
    const FolderData* fd = folderData();
    return fd && fd->root && fd->root->hasFlatFileList;
}

std::span<FileNode* const> FileNode::flatFileList() const noexcept {
    const FolderData* fd = folderData();
    if (!fd || !fd->root) return {};
    return {fd->root->flatFileList, fd->root->flatFileCount};
}

void FileNode::setFlatFileList(NodeArena& arena, std::span<FileNode* const> nodes) {
    FolderData* fd = folderData();
    if (!fd || !fd->root) return;
    auto** mem = nodes.empty() ? nullptr : static_cast<FileNode**>(arena.allocate(sizeof(FileNode*) * nodes.size()));
    if (!nodes.empty()) std::memcpy(mem, nodes.data(), sizeof(FileNode*) * nodes.size());
    fd->root->flatFileList = mem;
    fd->root->flatFileCount = nodes.size();
    fd->root->hasFlatFileList = true;
}

std::span<FileNode*> FileNode::allocateFlatFileList(NodeArena& arena, size_t count) {
    FolderData* fd = folderData();
    if (!fd || !fd->root) return {};
    auto** mem = count == 0 ? nullptr : static_cast<FileNode**>(arena.allocate(sizeof(FileNode*) * count));
    fd->root->flatFileList = mem;
    fd->root->flatFileCount = count;
    fd->root->hasFlatFileList = true;
    return {mem, count};
}

// ---- display grouping ----------------------------------------------------------------------

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

    std::string label(1, '[');
    label.append(formatIntegerForLocale(int64_t(files.size())));
    label.append(files.size() == 1 ? " File in " : " Files in ");
    label.append(fullPath());
    label.push_back(']');
    std::shared_ptr<NodeStore> ownStore;
    if (!groupArena) {
        ownStore = NodeStore::create();
        groupArena = &ownStore->makeArena();
    }
    NodeArena& arena = *groupArena;
    FileNode* group = arena.makeNode16(utf16FromUTF8(label), true, 0, 0, newest);
    group->setIsSyntheticGroup(true);
    group->parent_ = const_cast<FileNode*>(this);
    group->setChildren(arena, files);  // a group does not adopt its files: their parent stays
    group->aggregateSizes();
    folders.push_back(group);
    out.nodes = std::move(folders);
    out.group = std::shared_ptr<FileNode>(ownStore ? ownStore : arena.store().shared_from_this(), group);
    return out;
}

// ---- arena ---------------------------------------------------------------------------------

NodeArena::~NodeArena() = default;

void* NodeArena::allocate(size_t bytes, size_t align) {
    auto p = reinterpret_cast<uintptr_t>(cur_);
    uintptr_t aligned = (p + align - 1) & ~(uintptr_t(align) - 1);
    if (!cur_ || aligned + bytes > reinterpret_cast<uintptr_t>(end_)) {
        size_t size = std::max(nextChunk_, bytes + align);
        chunks_.emplace_back(new std::byte[size]);
        reserved_ += size;
        cur_ = chunks_.back().get();
        end_ = cur_ + size;
        // Small trees (display groups, tests) stay small; scans quickly reach 1 MiB chunks.
        nextChunk_ = std::min<size_t>(nextChunk_ * 2, size_t(1) << 20);
        p = reinterpret_cast<uintptr_t>(cur_);
        aligned = (p + align - 1) & ~(uintptr_t(align) - 1);
    }
    cur_ = reinterpret_cast<std::byte*>(aligned + bytes);
    return reinterpret_cast<void*>(aligned);
}

char16_t* NodeArena::allocateName(std::u16string_view units) {
    auto* mem = static_cast<char16_t*>(allocate(nameBytesFor(units.size()), alignof(uint32_t)));
    char16_t* u = mem + kLengthUnits;
    if (!units.empty()) std::memcpy(u, units.data(), units.size() * sizeof(char16_t));
    u[0] = units.empty() ? u'\0' : u[0];
    storeLength(u, units.size());
    return u;
}

FileNode* NodeArena::construct(bool isDir, bool withFolderData, size_t) {
    size_t bytes = sizeof(FileNode) + (withFolderData ? sizeof(FolderData) : 0);
    void* mem = allocate(bytes, alignof(FileNode));
    auto* node = new (mem) FileNode(isDir, withFolderData);
    if (withFolderData) new (node->folderData()) FolderData();
    return node;
}

FileNode* NodeArena::makeNode(std::string_view nameUTF8, bool isDir, int64_t fileSize, int64_t allocSize,
                              int32_t modifiedDateRaw) {
    FileNode* n = construct(isDir, isDir, nameUTF8.size());
    // Decode straight into the arena: UTF-16 never needs more units than UTF-8 has bytes.
    auto* mem = static_cast<char16_t*>(allocate(nameBytesFor(nameUTF8.size()), alignof(uint32_t)));
    char16_t* u = mem + kLengthUnits;
    u[0] = u'\0';
    size_t len = decodeNameUTF8(nameUTF8, u);
    storeLength(u, len);
    // Give back what the decode did not use (only possible while nothing else was allocated).
    auto* endUsed = reinterpret_cast<std::byte*>(u + std::max<size_t>(len, 1));
    auto* endReserved = reinterpret_cast<std::byte*>(mem) + nameBytesFor(nameUTF8.size());
    if (cur_ == endReserved) cur_ = endUsed;
    n->name_ = u;
    n->fileSize = fileSize;
    n->allocSize = allocSize;
    n->modifiedDateRaw = modifiedDateRaw;
    return n;
}

FileNode* NodeArena::makeNode16(std::u16string_view name, bool isDir, int64_t fileSize, int64_t allocSize,
                                int32_t modifiedDateRaw) {
    FileNode* n = construct(isDir, isDir, name.size());
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
    FileNode* n = construct(isDir, true, name.size());
    n->name_ = allocateName(name);
    n->fileSize = fileSize;
    n->allocSize = allocSize;
    n->modifiedDateRaw = modifiedDateRaw;
    FolderData* fd = n->folderData();
    fd->root = new (allocate(sizeof(RootData), alignof(RootData))) RootData();
    fd->root->store = &store_;
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

NodeStore::NodeStore() : locked_(new Locked()) {}
void NodeStore::LockedDeleter::operator()(Locked* l) const { delete l; }

std::shared_ptr<NodeStore> NodeStore::create() { return std::shared_ptr<NodeStore>(new NodeStore()); }

NodeStore::~NodeStore() {
    // Nodes only reach outside the arena through their duplicate groups: give those back.
    // Display groups hold files of another tree, so their children are not visited.
    std::vector<FileNode*> stack = locked_->roots;
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        n->setDupGroup(nullptr);
        if (n->isSyntheticGroup()) continue;
        auto kids = n->children();
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
}

NodeArena& NodeStore::makeArena() {
    std::lock_guard lock(locked_->mutex);
    locked_->arenas.push_back(std::make_unique<NodeArena>(*this));
    return *locked_->arenas.back();
}

char16_t* NodeStore::allocateLateName(std::u16string_view units) {
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

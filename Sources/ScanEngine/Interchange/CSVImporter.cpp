#include "ScanEngine/Interchange/CSVImporter.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <thread>

#include "ScanEngine/Interchange/CSVLineReader.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/CivilTime.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ScanEngine/Support/WorkerCrew.hpp"
#include "Platform/Processors.hpp"

namespace zelvane {
namespace {

constexpr size_t kReportEvery = 10000;
// Bytes read and split at a time. Only a few windows live at once (one being decoded, one waiting,
// one being linked), so an import holds about a dozen MiB of its input whatever the input's size.
constexpr size_t kWindowBytes = size_t(4) << 20;
constexpr size_t kWindowsInFlight = 3;
// Lines a decode worker takes at a time: small enough that a window's lines spread over every worker.
constexpr size_t kDecodeItem = 512;

inline bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x + 32);
        if (y >= 'A' && y <= 'Z') y = char(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Decimal with an optional sign; the whole field must be the number and fit.
template <typename Int>
bool parseInteger(std::string_view field, Int& out) {
    const std::optional<int64_t> v = parseDecimalInteger(field);
    if (!v || *v < int64_t(std::numeric_limits<Int>::min()) || *v > int64_t(std::numeric_limits<Int>::max())) return false;
    out = Int(*v);
    return true;
}

// Sizes and counts, which nothing on disk has below zero: a negative field is as unusable as
// letters, and taken as written it would take from every folder above and draw negative shares.
template <typename Int>
bool parseAmount(std::string_view field, Int& out) {
    return parseInteger(field, out) && out >= 0;
}

bool digitsAt(std::string_view f, size_t from, size_t to, int64_t& out) {
    if (to > f.size()) return false;
    int64_t v = 0;
    for (size_t i = from; i < to; ++i) {
        if (f[i] < '0' || f[i] > '9') return false;
        v = v * 10 + (f[i] - '0');
    }
    out = v;
    return true;
}

// False for a field that is no such date, and for a date no clock shows (month 13, 31 April,
// 24:00, 99 minutes): rolled over it would become some other real date and spread as the newest
// date of every folder above.
bool parseDate(std::string_view f, LocalOffsetCache& offsets, int32_t& out) {
    int64_t y, mo, d, h, mi, s;
    if (!digitsAt(f, 0, 4, y) || !digitsAt(f, 5, 7, mo) || !digitsAt(f, 8, 10, d) || !digitsAt(f, 11, 13, h) ||
        !digitsAt(f, 14, 16, mi) || !digitsAt(f, 17, 19, s))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, int(mo)) || h > 23 || mi > 59 || s > 59) return false;
    int64_t local = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    int64_t unix = offsets.unixFromLocal(local);
    out = packDate(double(unix - kReferenceDateUnixSeconds));
    return true;
}

// Bytes kept apart from the input: paths that had to be rewritten (doubled quotes, backslashes),
// kept until their window is linked, and the folder table's names, kept for the whole import.
class PathStorage final {
public:
    char* allocate(size_t n) {
        if (n > left_) {
            size_t size = std::max<size_t>(n, 64 * 1024);
            chunks_.emplace_back(new char[size]);
            cur_ = chunks_.back().get();
            left_ = size;
        }
        char* p = cur_;
        cur_ += n;
        left_ -= n;
        return p;
    }

    std::string_view copy(std::string_view bytes) {
        char* p = allocate(bytes.size());
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        return {p, bytes.size()};
    }

    void clear() {
        chunks_.clear();
        cur_ = nullptr;
        left_ = 0;
    }

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* cur_ = nullptr;
    size_t left_ = 0;
};

struct ParsedRow {
    std::string_view path;  // normalised: "/" separators, no trailing "/" (but "/" itself)
    uint64_t nameHash = 0;  // of the bytes after the last "/", computed here on the decode workers
    FileNode* node = nullptr;  // made by the decode worker for a row below some folder, row applied
    int64_t size = 0;
    int64_t allocSize = 0;
    int32_t modifiedDateRaw = kPackedUnixEpoch;
    int32_t subFolderFileCount = 0;
    int32_t subFolderDirCount = 0;
    uint16_t dosAttributes = 0;
    bool isDir = false;
    bool doNotCountAllocated = false;
};

// Fields after the path, never unquoted. Once no delimiter is left every further field is empty.
class FieldReader final {
public:
    FieldReader(std::string_view rest, char delimiter) : rest_(rest), delimiter_(delimiter) {}
    std::string_view next() {
        if (exhausted_) return {};
        size_t at = rest_.find(delimiter_);
        std::string_view f;
        if (at == std::string_view::npos) {
            f = rest_;
            rest_ = {};
            exhausted_ = true;
        } else {
            f = rest_.substr(0, at);
            rest_.remove_prefix(at + 1);
        }
        return f;
    }

private:
    std::string_view rest_;
    char delimiter_;
    bool exhausted_ = false;
};

// A path is kept only when each component names an entry of its own folder: "." and ".." would
// make the node's path resolve elsewhere, and a NUL byte would cut it short, so a later file action
// could reach a file the user never saw.
bool hasOnlyPlainComponents(std::string_view path) {
    if (path.empty()) return false;
    bool any = false;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        char c = i < path.size() ? path[i] : '/';
        if (c == '\0') return false;
        if (c != '/') continue;
        size_t len = i - start;
        if (len == 1 && path[start] == '.') return false;
        if (len == 2 && path[start] == '.' && path[start + 1] == '.') return false;
        if (len > 0 || i == 0) any = true;
        start = i + 1;
    }
    return any;
}

void splitPathComponents(std::string_view path, std::vector<std::string_view>& out) {
    out.clear();
    size_t i = 0;
    if (!path.empty() && path[0] == '/') {
        out.push_back(std::string_view("/"));
        i = 1;
    }
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        if (j > i) out.push_back(path.substr(i, j - i));
        i = j + 1;
    }
}

inline uint64_t hashName(std::string_view name) { return std::hash<std::string_view>{}(name); }


bool decodeRow(std::string_view line, char delimiter, PathStorage& storage, LocalOffsetCache& offsets,
               ParsedRow& row) {
    if (line.empty() || line[0] != '"') return false;
    const char* begin = line.data();
    const char* end = begin + line.size();
    const char* close = findClosingQuote(begin + 1, end);
    if (!close) return false;
    std::string_view raw(begin + 1, size_t(close - begin - 1));
    // A path that starts with "/" was written on a system like this one, where a backslash and a
    // trailing dot are ordinary characters of a name: changing them would point the node at another
    // file. Other paths (drive letters, relative paths) come from systems that use them as written.
    const bool posixPath = !raw.empty() && raw[0] == '/';
    std::string_view path = raw;
    bool rewrite = false;
    for (char c : raw) rewrite |= (c == '"') | (c == '\\' && !posixPath);
    if (rewrite) {
        char* out = storage.allocate(raw.size());
        size_t n = 0;
        for (size_t i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (c == '"') ++i;  // the second of a pair (findClosingQuote left only pairs inside)
            out[n++] = (c == '\\' && !posixPath) ? '/' : c;
        }
        path = std::string_view(out, n);
    }

    // Every field a row is read from must read as what it holds: a row cut short, or bytes that
    // only look like a row, would otherwise come in as a file of 0 bytes dated 1970.
    if (close + 1 == end || close[1] != delimiter) return false;
    std::string_view rest(close + 2, size_t(end - close - 2));
    FieldReader fields(rest, delimiter);
    std::string_view sizeField = fields.next();
    std::string_view allocField = fields.next();
    std::string_view dateField = fields.next();
    std::string_view attrField = fields.next();
    std::string_view filesField = fields.next();
    std::string_view foldersField = fields.next();
    if (!parseAmount(sizeField, row.size) || !parseAmount(allocField, row.allocSize) ||
        !parseDate(dateField, offsets, row.modifiedDateRaw) || !parseInteger(attrField, row.dosAttributes) ||
        !parseAmount(filesField, row.subFolderFileCount) || !parseAmount(foldersField, row.subFolderDirCount))
        return false;
    row.doNotCountAllocated = allocField.size() > 1 && allocField[0] == '0';

    if (!path.empty() && path.back() == '/') {
        row.isDir = true;
        if (path.size() > 1) path.remove_suffix(1);
    } else {
        row.isDir = false;
        if (!posixPath && path.size() >= 2 && path.back() == '.') {
            if (!hasOnlyPlainComponents(path)) return false;  // "a/." must not become "a"
            path.remove_suffix(1);
        }
        row.subFolderFileCount = 0;
        row.subFolderDirCount = 0;
    }
    if (!hasOnlyPlainComponents(path)) return false;
    row.path = path;
    row.nameHash = hashName(path.substr(path.rfind('/') + 1));
    return true;
}

void applyRow(FileNode& node, const ParsedRow& row) {
    node.setIsImpliedFolder(false);
    node.modifiedDateRaw = row.modifiedDateRaw;
    node.dosAttributes = row.dosAttributes;
    // Only a file's space can be counted elsewhere: on a folder the flag would later make
    // subtractContributionFromAncestors leave its whole subtree in the ancestors' totals.
    node.setDoNotCountAllocated(!row.isDir && !node.isDir() && row.doNotCountAllocated);
    if (row.isDir) {
        node.setSubFolderTotals({row.size, row.allocSize, row.subFolderFileCount, row.subFolderDirCount});
    } else {
        node.fileSize = row.size;
        node.allocSize = row.allocSize;
    }
}

bool isHeaderLine(std::string_view line, char delimiter) {
    static constexpr std::string_view kFiles = "files";
    for (size_t i = 0; i + kFiles.size() < line.size(); ++i) {
        if (line[i + kFiles.size()] == delimiter && asciiEqualIgnoringCase(line.substr(i, kFiles.size()), kFiles))
            return true;
    }
    return false;
}

// The rows of one item of a window's lines, decoded by one worker, the only one to write the slot.
struct DecodeSlot {
    std::vector<ParsedRow> rows;
    PathStorage storage;
    int64_t files = 0;
    int64_t folders = 0;
    int64_t leftOut = 0;         // lines that are no row
    bool lastLeftOut = false;    // the share's last line was one of them
    bool sawCancel = false;  // the cancel query answered yes
    bool stopped = false;    // ... before the share was decoded to its end
};

// What a decode worker keeps from one window to the next: its nodes' arena and the zone offsets it
// has looked up.
struct DecodeWorker {
    NodeArena* arena = nullptr;
    LocalOffsetCache offsets;
};

// `firstIndex` is the place of lines[0] among all data lines: the cancel query is asked at every
// multiple of kReportEvery, whatever the windows.
void decodeLines(std::span<const std::string_view> lines, uint64_t firstIndex, char delimiter, DecodeWorker& worker,
                 const CSVImportCancelQuery& isCancelled, DecodeSlot& slot) {
    NodeArena& arena = *worker.arena;
    LocalOffsetCache& offsets = worker.offsets;
    slot.rows.reserve(lines.size());
    ParsedRow row;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (decodeRow(lines[k], delimiter, slot.storage, offsets, row)) {
            // Nodes below a folder are made here, in parallel; the build only links them. A node
            // is wasted when its row names a folder that already exists, which is rare.
            size_t slash = row.path.rfind('/');
            row.node = nullptr;
            if (slash != std::string_view::npos && slash + 1 < row.path.size()) {
                row.node = arena.makeNode(row.path.substr(slash + 1), row.isDir, 0, 0, kPackedUnixEpoch);
                applyRow(*row.node, row);
            }
            slot.rows.push_back(row);
            ++(row.isDir ? slot.folders : slot.files);
            slot.lastLeftOut = false;
        } else {
            // A header stands among the first lines and is no row to leave out; neither is an
            // empty line.
            const bool header = firstIndex + k < 5 && isHeaderLine(lines[k], delimiter);
            slot.lastLeftOut = !lines[k].empty() && !header;
            slot.leftOut += slot.lastLeftOut;
        }
        if ((firstIndex + k) % kReportEvery == 0 && isCancelled && isCancelled()) {
            slot.sawCancel = true;
            slot.stopped = k + 1 < lines.size();
            return;
        }
    }
}

// Folders by parent, then by name: the importer's one-pass way to find where a row belongs without
// searching children. Each parent with subfolders has its own small table, so the rows of one folder
// (which follow each other) keep probing the same few cache lines. The table keeps its own copy of
// each name: the rows' bytes go once their window is linked.
class FolderTable final {
public:
    // A registered folder and the table's own copy of its name.
    struct Entry {
        FileNode* folder = nullptr;
        std::string_view name;
    };

    // A parent's named subfolders (parent null: the roots).
    class Names final {
    public:
        Entry find(std::string_view name, uint64_t hash) const {
            if (slots_.empty()) return {};
            size_t mask = slots_.size() - 1;
            for (size_t i = hash & mask;; i = (i + 1) & mask) {
                const Slot& s = slots_[i];
                if (!s.folder) return {};
                if (s.hash == hash && s.name == name) return {s.folder, s.name};
            }
        }

        // A later folder of the same name replaces the earlier registration.
        std::string_view insert(std::string_view name, uint64_t hash, FileNode* folder, PathStorage& names) {
            if ((used_ + 1) * 2 > slots_.size()) grow();
            size_t mask = slots_.size() - 1;
            for (size_t i = hash & mask;; i = (i + 1) & mask) {
                Slot& s = slots_[i];
                if (!s.folder) {
                    s = {hash, names.copy(name), folder};
                    ++used_;
                    return s.name;
                }
                if (s.hash == hash && s.name == name) {
                    s.folder = folder;
                    return s.name;
                }
            }
        }

    private:
        struct Slot {
            uint64_t hash = 0;
            std::string_view name;  // in the table's storage
            FileNode* folder = nullptr;
        };

        void grow() {
            std::vector<Slot> old(std::max<size_t>(4, slots_.size() * 2));
            old.swap(slots_);
            size_t mask = slots_.size() - 1;
            for (const Slot& s : old) {
                if (!s.folder) continue;
                size_t i = s.hash & mask;
                while (slots_[i].folder) i = (i + 1) & mask;
                slots_[i] = s;
            }
        }

        std::vector<Slot> slots_;
        size_t used_ = 0;
    };

    // The names registered under `parent`, or null when it has none yet.
    const Names* namesOf(const FileNode* parent) {
        if (parent != cachedParent_ || !cacheValid_) {
            const ParentSlot& slot = slotOf(parent);
            cachedParent_ = parent;
            cachedNames_ = slot.used() ? &tables_[slot.table] : nullptr;
            cacheValid_ = true;
        }
        return cachedNames_;
    }

    Entry find(const FileNode* parent, std::string_view name, uint64_t hash) {
        const Names* names = namesOf(parent);
        return names ? names->find(name, hash) : Entry{};
    }

    // The table's copy of the name.
    std::string_view insert(const FileNode* parent, std::string_view name, uint64_t hash, FileNode* folder) {
        if ((tables_.size() + 1) * 2 > byParent_.size()) growParents();
        ParentSlot& slot = slotOf(parent);
        if (!slot.used()) {
            slot = {parent, tables_.size()};
            tables_.emplace_back();
            cacheValid_ = false;
        }
        return tables_[slot.table].insert(name, hash, folder, names_);
    }

private:
    // Parents by address, open addressing: the table of a parent is looked up whenever the rows
    // move to another folder. A parent of null (the roots) is a key like any other.
    struct ParentSlot {
        const FileNode* parent = nullptr;
        size_t table = SIZE_MAX;  // none: the slot is free
        bool used() const { return table != SIZE_MAX; }
    };

    // The parent's slot, or the empty slot where it would go.
    ParentSlot& slotOf(const FileNode* parent) {
        if (byParent_.empty()) byParent_.resize(64);
        const size_t mask = byParent_.size() - 1;
        size_t i = size_t((uint64_t(reinterpret_cast<uintptr_t>(parent)) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        while (byParent_[i].used() && byParent_[i].parent != parent) i = (i + 1) & mask;
        return byParent_[i];
    }

    void growParents() {
        std::vector<ParentSlot> old(std::max<size_t>(64, byParent_.size() * 2));
        old.swap(byParent_);
        for (const ParentSlot& s : old)
            if (s.used()) slotOf(s.parent) = s;
    }

    PathStorage names_;
    std::deque<Names> tables_;  // stable addresses for the cached pointer
    std::vector<ParentSlot> byParent_;
    const FileNode* cachedParent_ = nullptr;
    const Names* cachedNames_ = nullptr;
    bool cacheValid_ = false;
};

// Folder totals from the file rows, as a scan rolls them up, except that a folder without child
// rows keeps the totals of its own row: an export cut at a depth writes the folders at the cut
// with their full totals and nothing below them. (An empty folder's row holds zeros.) Without
// file rows (`foldersKeepTheirRows`) every folder with a row of its own keeps it, since its files
// are not there to add up. A folder the import made up for the paths below it has no row: it
// always holds what its children hold. Iterative: an import can be deeper than any thread stack.
void rollUpKeepingCutFolders(FileNode& root, bool foldersKeepTheirRows) {
    if (!root.isDir()) return;
    struct Frame {
        FileNode* node;
        size_t next;
        AggregateTotals sum;
    };
    const auto ownTotals = [](const FileNode& n) {
        return AggregateTotals{n.subFolderTotSize(), n.subFolderTotSizeAlloc(), n.subFolderFileCount(),
                               n.subFolderDirCount()};
    };
    const auto add = [](AggregateTotals& to, const AggregateTotals& t, int32_t files, int32_t dirs) {
        to.size = saturatingAdd(to.size, t.size);
        to.alloc = saturatingAdd(to.alloc, t.alloc);
        to.files += files;
        to.dirs += dirs;
    };
    std::vector<Frame> stack;
    stack.push_back({&root, 0, {}});
    while (!stack.empty()) {
        Frame& f = stack.back();
        const auto kids = f.node->children();
        if (kids.empty() || (foldersKeepTheirRows && !f.node->isImpliedFolder())) {
            stack.pop_back();
            if (stack.empty()) return;  // a root without children keeps its row's totals
            const AggregateTotals kept = ownTotals(*f.node);
            add(stack.back().sum, kept, kept.files, kept.dirs + 1);
            continue;
        }
        if (f.next < kids.size()) {
            FileNode* c = kids[f.next++];
            if (c->isDir()) {
                stack.push_back({c, 0, {}});
            } else {
                const AggregateTotals own{c->fileSize, c->doNotCountAllocated() ? 0 : c->allocSize, 0, 0};
                add(f.sum, own, 1, 0);
            }
            continue;
        }
        const AggregateTotals done = f.sum;
        f.node->setSubFolderTotals(done);
        stack.pop_back();
        if (!stack.empty()) add(stack.back().sum, done, done.files, done.dirs + 1);
    }
}

// One window's lines and what the decode made of them: what passes from the reading thread to the
// linking thread and back.
struct DecodedWindow {
    CSVLineWindow lines;
    std::vector<DecodeSlot> slots;  // one per item of lines, in line order
    uint64_t startOffset = 0;       // where the input's bytes of these lines begin
    bool cutShort = false;          // a cancel stopped the decode before the input's end
};

// Rebuilds the trees in one pass over the rows in file order, window by window.
class TreeBuilder final {
public:
    TreeBuilder(std::shared_ptr<NodeStore> store, uint64_t inputBytes, const CSVImportProgressHandler& onProgress,
                const CSVImportCancelQuery& isCancelled)
        : store_(std::move(store)), arena_(store_->makeArena()), inputBytes_(inputBytes), onProgress_(onProgress),
          isCancelled_(isCancelled) {}

    // Returns false when cancelled. Progress is reported and the cancel query asked at every
    // multiple of kReportEvery rows linked; the share of the input's bytes behind the rows linked
    // gives the percentage.
    bool link(const DecodedWindow& window) {
        size_t rowCount = 0;
        for (const DecodeSlot& slot : window.slots) rowCount += slot.rows.size();
        size_t k = 0;
        for (const DecodeSlot& slot : window.slots) {
            const size_t count = slot.rows.size();
            for (size_t j = 0; j < count; ++j, ++k) {
                const ParsedRow& row = slot.rows[j];
                // The rows' paths lie far apart in a buffer last read on other cores.
                if (j + 16 < count) {
                    const std::string_view ahead = slot.rows[j + 16].path;
                    __builtin_prefetch(ahead.data());
                    __builtin_prefetch(ahead.data() + ahead.size() - 1);
                }
                if ((fileRows_ + folderRows_) % kReportEvery == 0) {
                    if (onProgress_) {
                        const uint64_t span = window.lines.endOffset - window.startOffset;
                        const uint64_t at = window.startOffset + span * k / rowCount;
                        onProgress_(CSVImportProgress{fileRows_, folderRows_, percentOf(at)});
                    }
                    if (isCancelled_ && isCancelled_()) return false;
                }
                addRow(row);
                ++(row.isDir ? folderRows_ : fileRows_);
            }
        }
        return true;
    }

    std::vector<RootRef> finish(bool csvHasFiles) {
        for (FileNode* r : roots_) rollUpKeepingCutFolders(*r, !csvHasFiles);
        std::vector<RootRef> out;
        out.reserve(roots_.size());
        for (FileNode* r : roots_) out.push_back(store_->handle(r));
        return out;
    }

private:
    int percentOf(uint64_t offset) const {
        if (inputBytes_ == 0) return 0;
        return int(std::min<uint64_t>(99, uint64_t(double(offset) / double(inputBytes_) * 99.0)));
    }

    // Rows of one folder follow each other, so the parent is usually the previous row's: that is
    // seen from the bytes before the last "/" without splitting the path. Otherwise only the
    // components after those the previous parent shares are looked up.
    void addRow(const ParsedRow& row) {
        std::string_view path = row.path;
        size_t slash = path.rfind('/');
        const bool simple = slash != std::string_view::npos && slash + 1 < path.size();
        std::string_view name;
        FileNode* parent;
        uint64_t nameHash = row.nameHash;
        if (simple && havePrefix_ && path.substr(0, std::max<size_t>(slash, 1)) == prevPrefix_) {
            name = path.substr(slash + 1);
            parent = prevParent_;
        } else {
            splitPathComponents(path, comps_);
            name = comps_.back();
            if (!simple) nameHash = hashName(name);
            parent = ancestorFolder(std::span<const std::string_view>(comps_.data(), comps_.size() - 1));
            havePrefix_ = simple;
            if (simple) prevPrefix_.assign(path.substr(0, std::max<size_t>(slash, 1)));
            prevParent_ = parent;
        }
        uint64_t hash = nameHash;
        if (FileNode* existing = folders_.find(parent, name, hash).folder) {
            applyRow(*existing, row);
            return;
        }
        FileNode* node = row.node;
        if (node && simple) {
            parent->appendChild(arena_, node);
        } else {
            node = makeNode(parent, name, row.isDir);
            applyRow(*node, row);
        }
        if (row.isDir) folders_.insert(parent, name, hash, node);
    }

    // The folder of these components, made (with its missing ancestors) when not there yet.
    // Registrations are never replaced once made, so the previous chain stays valid; its names are
    // the folder table's, which outlive the rows.
    FileNode* ancestorFolder(std::span<const std::string_view> comps) {
        size_t shared = 0;
        while (shared < comps.size() && shared < chainNames_.size() && comps[shared] == chainNames_[shared]) ++shared;
        chainNames_.resize(shared);
        chain_.resize(shared);
        FileNode* current = shared ? chain_.back() : nullptr;
        for (size_t i = shared; i < comps.size(); ++i) {
            std::string_view c = comps[i];
            uint64_t hash = hashName(c);
            FolderTable::Entry found = folders_.find(current, c, hash);
            if (!found.folder) {
                found.folder = makeNode(current, c, true);
                found.folder->setIsImpliedFolder(true);
                found.name = folders_.insert(current, c, hash, found.folder);
            }
            current = found.folder;
            chainNames_.push_back(found.name);
            chain_.push_back(current);
        }
        return current;
    }

    FileNode* makeNode(FileNode* parent, std::string_view name, bool isDir) {
        if (!parent) {
            FileNode* r = arena_.makeRoot(name, isDir, 0, 0, kPackedUnixEpoch);
            roots_.push_back(r);
            return r;
        }
        FileNode* n = arena_.makeNode(name, isDir, 0, 0, kPackedUnixEpoch);
        parent->appendChild(arena_, n);
        return n;
    }

    std::shared_ptr<NodeStore> store_;
    NodeArena& arena_;
    const uint64_t inputBytes_;
    const CSVImportProgressHandler& onProgress_;
    const CSVImportCancelQuery& isCancelled_;
    int64_t fileRows_ = 0;
    int64_t folderRows_ = 0;
    FolderTable folders_;
    std::vector<FileNode*> roots_;
    std::vector<std::string_view> comps_;  // of the row being linked
    std::vector<std::string_view> chainNames_;
    std::vector<FileNode*> chain_;
    std::string prevPrefix_;  // a copy: the previous row's window may be gone
    FileNode* prevParent_ = nullptr;
    bool havePrefix_ = false;
};


// The fields of a line; a field that opens with a quote runs to its closing quote, delimiters
// inside it included (a path or a split name holding the delimiter stays one field).
void splitFields(std::string_view line, char delimiter, std::vector<std::string_view>& out) {
    out.clear();
    for (;;) {
        size_t from = 0;
        if (!line.empty() && line[0] == '"') {
            const char* close = findClosingQuote(line.data() + 1, line.data() + line.size());
            from = close ? size_t(close - line.data()) + 1 : line.size();
        }
        size_t at = line.find(delimiter, from);
        out.push_back(line.substr(0, at));
        if (at == std::string_view::npos) return;
        line.remove_prefix(at + 1);
    }
}

VolumeCapacity extractDriveCapacity(std::string_view header, std::string_view data, char delimiter) {
    std::vector<std::string_view> headers, values;
    splitFields(header, delimiter, headers);
    size_t index = headers.size();
    for (size_t i = 0; i < headers.size(); ++i) {
        if (asciiEqualIgnoringCase(headers[i], "DRIVECAPACITY")) {
            index = i;
            break;
        }
    }
    if (index == headers.size()) return {};
    splitFields(data, delimiter, values);
    if (index + 1 >= values.size()) return {};
    int64_t total = 0, available = 0, reserved = 0;
    if (!parseInteger(values[index], total) || !parseInteger(values[index + 1], available)) return {};
    if (index + 3 < values.size() && index + 3 < headers.size() &&
        asciiEqualIgnoringCase(headers[index + 3], "RESERVEDSPACE") && !parseInteger(values[index + 3], reserved))
        reserved = 0;
    return {total, available, reserved};
}

bool hasTSVExtension(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    return asciiEqualIgnoringCase(name.substr(dot + 1), "tsv");
}

// The first line is never a row. The header (only used to find the drive-capacity columns) is
// that line or one of the next five; a later one stays among the data lines and fails there. The
// sample is the first of the five data lines after the first line that decodes as a row.
class LeadingLines final {
public:
    void look(const CSVLineWindow& window, char delimiter) {
        for (size_t k = 0; k < window.lines.size() && window.firstLine + k < 6; ++k) {
            const std::string_view line = window.lines[k];
            if (!header_ && isHeaderLine(line, delimiter)) header_ = std::string(line);
            ParsedRow row;
            if (window.firstLine + k >= 1 && !sample_ && decodeRow(line, delimiter, scratch_, offsets_, row))
                sample_ = std::string(line);
        }
    }

    VolumeCapacity driveCapacity(char delimiter) const {
        return header_ && sample_ ? extractDriveCapacity(*header_, *sample_, delimiter) : VolumeCapacity{};
    }

private:
    std::optional<std::string> header_;
    std::optional<std::string> sample_;
    PathStorage scratch_;
    LocalOffsetCache offsets_;
};

// Windows pass from the reading thread to the linking thread in file order and come back to be
// filled again: only these few ever hold the input's bytes.
class WindowHandoffLocked final {
public:
    explicit WindowHandoffLocked(size_t windows) {
        for (size_t i = 0; i < windows; ++i) {
            owned_.push_back(std::make_unique<DecodedWindow>());
            free_.push_back(owned_.back().get());
        }
    }

    // Reading side: a window to fill, or null once the linking side has stopped.
    DecodedWindow* takeFree() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return linkingStopped_ || !free_.empty(); });
        if (linkingStopped_) return nullptr;
        DecodedWindow* w = free_.back();
        free_.pop_back();
        return w;
    }

    void pass(DecodedWindow* window) {
        {
            std::lock_guard lock(mutex_);
            if (linkingStopped_)
                free_.push_back(window);
            else
                decoded_.push_back(window);
        }
        changed_.notify_all();
    }

    // 0 or the errno that ended the reading.
    void finishReading(int error) {
        {
            std::lock_guard lock(mutex_);
            readingDone_ = true;
            readError_ = error;
        }
        changed_.notify_all();
    }

    // Linking side: the next window in file order, or null once reading is done and every window
    // was taken.
    DecodedWindow* takeDecoded() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return readingDone_ || !decoded_.empty(); });
        if (decoded_.empty()) return nullptr;
        DecodedWindow* w = decoded_.front();
        decoded_.pop_front();
        return w;
    }

    void giveBack(DecodedWindow* window) {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(window);
        }
        changed_.notify_all();
    }

    void stopLinking() {
        {
            std::lock_guard lock(mutex_);
            linkingStopped_ = true;
        }
        changed_.notify_all();
    }

    int readError() {
        std::lock_guard lock(mutex_);
        return readError_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<DecodedWindow>> owned_;
    std::vector<DecodedWindow*> free_;
    std::deque<DecodedWindow*> decoded_;
    bool readingDone_ = false;
    bool linkingStopped_ = false;
    int readError_ = 0;
};

// Reads, splits and decodes the input window by window on a crew (the calling thread and its
// helpers) and passes each window on. Each worker makes its nodes in its own arena.
class WindowProducer final {
public:
    WindowProducer(const CSVInput& input, char delimiter, size_t windowBytes, std::span<DecodeWorker> workers,
                   const CSVImportCancelQuery& isCancelled, WindowHandoffLocked& handoff)
        : reader_(input, delimiter, windowBytes, isCancelled), crew_(unsigned(workers.size())), workers_(workers),
          delimiter_(delimiter), isCancelled_(isCancelled), handoff_(handoff) {}

    // One window passed on. False once nothing more will come (the input's end, a cancel, a
    // failed read or the linking side stopped), which the handoff has then been told.
    bool produceOne() {
        DecodedWindow* window = handoff_.takeFree();
        if (!window) return finish(0);
        if (int error = reader_.next(window->lines, crew_); error || window->lines.lines.empty()) {
            handoff_.giveBack(window);
            return finish(error);
        }
        leading_.look(window->lines, delimiter_);
        const bool sawCancel = decode(*window);
        window->startOffset = offset_;
        offset_ = window->lines.endOffset;
        handoff_.pass(window);
        return sawCancel || reader_.finished() ? finish(0) : true;
    }

    // produceOne() on a thread of its own, where an exception would end the program: running out
    // of memory ends the reading like a failed read.
    void produceAll() noexcept {
        try {
            while (produceOne()) {
            }
        } catch (const std::bad_alloc&) {
            finish(ENOMEM);
        }
    }

    uint64_t linesRead() const { return reader_.linesRead(); }
    bool readingCancelled() const { return reader_.cancelled(); }
    VolumeCapacity driveCapacity() const { return leading_.driveCapacity(delimiter_); }
    bool endedInsideRow() const { return endedInsideRow_; }

private:
    bool finish(int error) {
        handoff_.finishReading(error);
        return false;
    }

    // Whether the cancel query answered yes.
    bool decode(DecodedWindow& window) {
        std::span<const std::string_view> lines(window.lines.lines);
        uint64_t firstIndex = window.lines.firstLine;  // among the data lines, which start at line 1
        if (firstIndex == 0)
            lines = lines.subspan(1);
        else
            --firstIndex;
        const size_t n = lines.size();
        const size_t items = (n + kDecodeItem - 1) / kDecodeItem;
        window.slots.resize(items);
        crew_.run(items, [&](size_t item, unsigned worker) {
            DecodeSlot& slot = window.slots[item];
            slot.rows.clear();
            slot.storage.clear();
            slot.files = slot.folders = slot.leftOut = 0;
            slot.sawCancel = slot.stopped = slot.lastLeftOut = false;
            const size_t from = item * kDecodeItem;
            const size_t to = std::min(n, from + kDecodeItem);
            decodeLines(lines.subspan(from, to - from), firstIndex + from, delimiter_, workers_[worker], isCancelled_,
                        slot);
        });
        bool sawCancel = false, stopped = false;
        for (const DecodeSlot& slot : window.slots) {
            sawCancel |= slot.sawCancel;
            stopped |= slot.stopped;
        }
        // A cancel seen on the input's last line leaves a finished import.
        window.cutShort = stopped || (sawCancel && !reader_.finished());
        if (reader_.finished() && !window.slots.empty())
            endedInsideRow_ = reader_.endedWithoutLineEnd() && window.slots.back().lastLeftOut;
        return sawCancel;
    }

    CSVLineReader reader_;
    WorkerCrew crew_;
    std::span<DecodeWorker> workers_;
    const char delimiter_;
    const CSVImportCancelQuery& isCancelled_;
    WindowHandoffLocked& handoff_;
    LeadingLines leading_;
    uint64_t offset_ = 0;
    bool endedInsideRow_ = false;
};

// The input is read, split and decoded window by window on one thread and its helpers while this
// thread links the windows decoded before, so that a window's bytes can be read over as soon as it
// is linked.
CSVImportOutcome importFromInputOrThrow(const CSVInput& input, char delimiter,
                                        const CSVImportProgressHandler& onProgress,
                                        const CSVImportCancelQuery& isCancelled, int workers, size_t windowBytes) {
    CSVImportOutcome outcome;
    const unsigned w = unsigned(std::max(1, workers > 0 ? workers : activeProcessorCount()));
    auto store = NodeStore::create();
    store->setImported(true);
    std::vector<DecodeWorker> decoders(w);
    for (DecodeWorker& worker : decoders) worker.arena = &store->makeArena();
    WindowHandoffLocked handoff(kWindowsInFlight);
    WindowProducer producer(input, delimiter, windowBytes > 0 ? windowBytes : kWindowBytes, decoders, isCancelled,
                            handoff);
    TreeBuilder builder(store, input.sizeHint(), onProgress, isCancelled);
    int64_t fileRows = 0, folderRows = 0, leftOut = 0;
    bool cutShort = false, built = true;
    {
        // An input of one window is read here; a longer one goes on on a thread of its own.
        std::jthread reading;
        // Stops the reading side before it is joined when the linking side leaves by an exception.
        struct StopReading {
            WindowHandoffLocked& handoff;
            ~StopReading() { handoff.stopLinking(); }
        } stopReading{handoff};
        if (producer.produceOne()) reading = std::jthread([&] { producer.produceAll(); });
        while (DecodedWindow* window = handoff.takeDecoded()) {
            for (const DecodeSlot& slot : window->slots) {
                fileRows += slot.files;
                folderRows += slot.folders;
                leftOut += slot.leftOut;
            }
            cutShort |= window->cutShort;
            built = builder.link(*window);
            handoff.giveBack(window);
            if (!built) {
                handoff.stopLinking();
                break;
            }
        }
    }
    if (int err = handoff.readError()) {
        outcome.error = err == CSVLineReader::kLineTooLong ? CSVImportError{CSVImportError::Kind::lineTooLong, 0}
                                                           : CSVImportError{CSVImportError::Kind::couldNotReadFile, err};
        return outcome;
    }
    cutShort |= producer.readingCancelled();
    if (producer.linesRead() == 0 || fileRows + folderRows == 0) {
        // Stopped before a single row: an empty cancelled result, not a failure to show the user.
        if (cutShort || (isCancelled && isCancelled()))
            outcome.result.wasCancelled = true;
        else
            outcome.error = CSVImportError{CSVImportError::Kind::noValidRowsFound, 0};
        return outcome;
    }
    // Whether the run was cancelled is what the decode and the build saw, not a later answer: a
    // cancel that comes after the last row was linked leaves a finished import.
    outcome.result.roots = builder.finish(fileRows > 0);
    outcome.result.driveCapacity = producer.driveCapacity();
    outcome.result.wasCancelled = cutShort || !built;
    outcome.result.rowsLeftOut = leftOut;
    outcome.result.endedInsideRow = producer.endedInsideRow();
    return outcome;
}

CSVImportOutcome importFromInput(const CSVInput& input, char delimiter, const CSVImportProgressHandler& onProgress,
                                 const CSVImportCancelQuery& isCancelled, int workers, size_t windowBytes) {
    try {
        return importFromInputOrThrow(input, delimiter, onProgress, isCancelled, workers, windowBytes);
    } catch (const std::bad_alloc&) {
        CSVImportOutcome outcome;
        outcome.error = CSVImportError{CSVImportError::Kind::couldNotReadFile, ENOMEM};
        return outcome;
    }
}

}  // namespace

int32_t parseFixedWidthDate(std::string_view field) {
    LocalOffsetCache offsets;
    int32_t packed = kPackedUnixEpoch;
    return parseDate(field, offsets, packed) ? packed : kPackedUnixEpoch;
}

CSVImportOutcome importFromCSVData(std::string_view data, char delimiter, const CSVImportProgressHandler& onProgress,
                                   const CSVImportCancelQuery& isCancelled, int workers, size_t windowBytes) {
    const CSVInput input(data);
    return importFromInput(input, delimiter, onProgress, isCancelled, workers, windowBytes);
}

CSVImportOutcome importFromCSV(const std::string& path, const CSVImportProgressHandler& onProgress,
                               const CSVImportCancelQuery& isCancelled) {
    CSVInput input({});
    if (int err = input.openFile(path)) {
        CSVImportOutcome outcome;
        outcome.error = err == CSVInput::kNotRegularFile ? CSVImportError{CSVImportError::Kind::notRegularFile, 0}
                                                         : CSVImportError{CSVImportError::Kind::couldNotReadFile, err};
        return outcome;
    }
    return importFromInput(input, hasTSVExtension(path) ? '\t' : ',', onProgress, isCancelled, 0, 0);
}

}  // namespace zelvane

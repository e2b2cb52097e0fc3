#include "ScanEngine/Interchange/CSVImporter.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_map>

#include "ScanEngine/Support/CivilTime.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "Platform/Processors.hpp"

namespace zelvane {
namespace {

constexpr size_t kReportEvery = 10000;
constexpr int kDecodePercent = 60;

// The whole file in one buffer. Large files are read by several threads at once: the copy out of
// the page cache and the first touch of the buffer's pages then run in parallel.
class FileBytes final {
public:
    std::string_view view() const { return {data_.get(), size_}; }

    // 0 or the errno of the failure.
    int read(const std::string& path, int workers) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno;
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{fd};
        struct stat st {};
        if (::fstat(fd, &st) != 0) return errno;
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode) || st.st_size <= 0) return readSequentially(fd);
        const size_t expected = size_t(st.st_size);
        constexpr size_t kPiece = size_t(16) << 20;
        const size_t pieces = (expected + kPiece - 1) / kPiece;
        data_.reset(new char[expected]);
        size_ = expected;
        std::atomic<size_t> next{0};
        std::atomic<int> failure{0};
        std::atomic<bool> changed{false};
        auto work = [&] {
            for (size_t p; (p = next.fetch_add(1)) < pieces && !failure && !changed;) {
                size_t at = p * kPiece, end = std::min(expected, at + kPiece);
                while (at < end) {
                    ssize_t n = ::pread(fd, data_.get() + at, end - at, off_t(at));
                    if (n < 0 && errno == EINTR) continue;
                    if (n < 0) failure = errno;
                    if (n == 0) changed = true;  // the file shrank while being read
                    if (n <= 0) break;
                    at += size_t(n);
                }
            }
        };
        {
            std::vector<std::jthread> threads;
            for (size_t i = 1; i < std::min<size_t>(pieces, size_t(std::max(1, workers))); ++i) threads.emplace_back(work);
            work();
        }
        if (failure) return failure;
        char probe;
        ssize_t more = ::pread(fd, &probe, 1, off_t(expected));
        if (more < 0) return errno;
        if (!changed && more == 0) return 0;
        return readSequentially(fd);  // it changed size under us: take what is there now
    }

private:
    int readSequentially(int fd) {
        std::vector<char> bytes;
        size_t used = 0;
        off_t offset = 0;
        for (;;) {
            if (used == bytes.size()) bytes.resize(std::max<size_t>(65536, bytes.size() * 2));
            ssize_t n = ::pread(fd, bytes.data() + used, bytes.size() - used, offset);
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (n == 0) break;
            used += size_t(n);
            offset += n;
        }
        data_.reset(new char[std::max<size_t>(used, 1)]);
        if (used) std::memcpy(data_.get(), bytes.data(), used);
        size_ = used;
        return 0;
    }

    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
};

// The first double quote at or after `p` that is not one of an escaped pair, or null.
const char* findClosingQuote(const char* p, const char* end) {
    while (p < end) {
        auto* q = static_cast<const char*>(std::memchr(p, '"', size_t(end - p)));
        if (!q) return nullptr;
        if (q + 1 < end && q[1] == '"') {
            p = q + 2;
            continue;
        }
        return q;
    }
    return nullptr;
}

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

inline std::string_view withoutCR(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Lines over the raw bytes: a leading byte-order mark is skipped, every LF ends a line and one
// trailing CR is dropped. File names may hold LF, which the export writes inside the quoted path; a
// line whose quoted first field does not close is therefore joined with the following ones, as long
// as the quote that finally closes it is followed by the delimiter or the line end as in a real row.
// A scan that passes a line's opening quote can only do so as half of an escaped pair, so that
// line's own scan ends within the line: no byte is scanned more than twice.
//
// Large inputs are cut into pieces split in parallel into physical lines, each piece marking the
// lines whose opening quote stays open; only when some line is marked does one pass over all lines
// join them.
std::vector<std::string_view> splitLines(std::string_view data, char delimiter, size_t workers) {
    const char* begin = data.data();
    const char* end = begin + data.size();
    if (data.size() >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) begin += 3;
    const size_t size = size_t(end - begin);
    constexpr size_t kMinPiece = size_t(1) << 20;
    const size_t pieces = std::max<size_t>(1, std::min(workers, size / kMinPiece));

    struct Piece {
        std::vector<std::string_view> lines;  // open lines keep their CR until joined
        std::vector<size_t> open;             // indices of lines whose quote stays open
    };
    std::vector<Piece> parts(pieces);
    auto splitPiece = [&](size_t i) {
        const char* from = begin + size / pieces * i;
        const char* to = i + 1 == pieces ? end : begin + size / pieces * (i + 1);
        const char* p = from;
        if (i > 0 && p[-1] != '\n') {  // the line under way belongs to the piece before
            auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            p = lf ? lf + 1 : end;
        }
        Piece& piece = parts[i];
        piece.lines.reserve(size_t(to - from) / 128);
        while (p < to) {
            auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const char* lineEnd = lf ? lf : end;
            std::string_view line(p, size_t(lineEnd - p));
            if (*p == '"' && !findClosingQuote(p + 1, lineEnd)) {
                piece.open.push_back(piece.lines.size());
                piece.lines.push_back(line);
            } else {
                piece.lines.push_back(withoutCR(line));
            }
            p = lf ? lf + 1 : end;
        }
    };
    {
        std::vector<std::jthread> threads;
        for (size_t i = 1; i < pieces; ++i) threads.emplace_back(splitPiece, i);
        splitPiece(0);
    }

    size_t total = 0;
    bool anyOpen = false;
    for (const Piece& piece : parts) {
        total += piece.lines.size();
        anyOpen |= !piece.open.empty();
    }
    std::vector<std::string_view> lines;
    lines.reserve(total);
    if (!anyOpen) {
        for (const Piece& piece : parts) lines.insert(lines.end(), piece.lines.begin(), piece.lines.end());
        return lines;
    }
    const char* consumedTo = begin;  // physical lines starting before this lie inside a joined line
    for (const Piece& piece : parts) {
        size_t nextOpen = 0;
        for (size_t k = 0; k < piece.lines.size(); ++k) {
            std::string_view line = piece.lines[k];
            const bool open = nextOpen < piece.open.size() && piece.open[nextOpen] == k;
            if (open) ++nextOpen;
            if (line.data() < consumedTo) continue;
            if (!open) {
                lines.push_back(line);
                continue;
            }
            const char* lineEnd = line.data() + line.size();
            if (const char* q = findClosingQuote(lineEnd, end)) {
                const char* after = q + 1;
                bool rowLike = after == end || *after == delimiter || *after == '\n' ||
                               (*after == '\r' && (after + 1 == end || after[1] == '\n'));
                if (rowLike) {
                    auto* lf = static_cast<const char*>(std::memchr(after, '\n', size_t(end - after)));
                    lineEnd = lf ? lf : end;
                    consumedTo = lineEnd;
                }
            }
            lines.push_back(withoutCR(std::string_view(line.data(), size_t(lineEnd - line.data()))));
        }
    }
    return lines;
}

// Decimal with an optional sign; the whole field must be the number and fit.
template <typename Int>
bool parseInteger(std::string_view field, Int& out) {
    const std::optional<int64_t> v = parseDecimalInteger(field);
    if (!v || *v < int64_t(std::numeric_limits<Int>::min()) || *v > int64_t(std::numeric_limits<Int>::max())) return false;
    out = Int(*v);
    return true;
}

template <typename Int>
Int integerOrZero(std::string_view field) {
    Int v = 0;
    return parseInteger(field, v) ? v : Int(0);
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

int32_t parseDate(std::string_view f, LocalOffsetCache& offsets) {
    int64_t y, mo, d, h, mi, s;
    if (!digitsAt(f, 0, 4, y) || !digitsAt(f, 5, 7, mo) || !digitsAt(f, 8, 10, d) || !digitsAt(f, 11, 13, h) ||
        !digitsAt(f, 14, 16, mi) || !digitsAt(f, 17, 19, s))
        return kPackedUnixEpoch;
    // A date no clock shows (month 13, 31 April, 24:00, 99 minutes) is unknown: rolled over it
    // would become some other real date and spread as the newest date of every folder above.
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, int(mo)) || h > 23 || mi > 59 || s > 59)
        return kPackedUnixEpoch;
    int64_t local = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    int64_t unix = offsets.unixFromLocal(local);
    return packDate(double(unix - kReferenceDateUnixSeconds));
}

// Paths that had to be rewritten (doubled quotes, backslashes) live here until the tree is built.
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

    std::string_view rest(close + 1, size_t(end - close - 1));
    if (!rest.empty() && rest[0] == delimiter) rest.remove_prefix(1);
    FieldReader fields(rest, delimiter);
    std::string_view sizeField = fields.next();
    std::string_view allocField = fields.next();
    std::string_view dateField = fields.next();
    std::string_view attrField = fields.next();

    row.size = integerOrZero<int64_t>(sizeField);
    row.allocSize = integerOrZero<int64_t>(allocField);
    row.doNotCountAllocated = allocField.size() > 1 && allocField[0] == '0';
    row.modifiedDateRaw = parseDate(dateField, offsets);
    row.dosAttributes = integerOrZero<uint16_t>(attrField);

    if (!path.empty() && path.back() == '/') {
        row.isDir = true;
        if (path.size() > 1) path.remove_suffix(1);
        row.subFolderFileCount = integerOrZero<int32_t>(fields.next());
        row.subFolderDirCount = integerOrZero<int32_t>(fields.next());
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

class CSVImportProgressCounter final {
public:
    CSVImportProgressCounter(int64_t totalBytes, const CSVImportProgressHandler& callback)
        : totalBytes_(std::max<int64_t>(1, totalBytes)), callback_(callback) {}

    // The totals change under the lock; the callback runs outside it, on the worker's thread.
    void advance(int64_t files, int64_t folders, int64_t bytes) {
        CSVImportProgress p;
        {
            std::lock_guard lock(lock_);
            files_ += files;
            folders_ += folders;
            bytesProcessed_ += bytes;
            double share = double(bytesProcessed_) / double(totalBytes_) * double(maxPercent_);
            p = {files_, folders_, int(std::min<double>(maxPercent_, share))};
        }
        callback_(p);
    }

private:
    std::mutex lock_;
    int64_t files_ = 0;
    int64_t folders_ = 0;
    int64_t bytesProcessed_ = 0;
    const int64_t totalBytes_;
    const int maxPercent_ = kDecodePercent;
    const CSVImportProgressHandler& callback_;
};

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

// One worker's share of the decode. Each worker writes only its own slot.
struct DecodeSlot {
    NodeArena* arena = nullptr;
    std::vector<ParsedRow> rows;
    PathStorage storage;
    int64_t files = 0;
    int64_t folders = 0;
    bool stopped = false;  // cancelled before the range was decoded to its end
};

void decodeRange(std::span<const std::string_view> lines, size_t from, size_t to, char delimiter,
                 CSVImportProgressCounter* counter, const CSVImportCancelQuery& isCancelled, DecodeSlot& slot) {
    LocalOffsetCache offsets;
    slot.rows.reserve(to - from);
    int64_t pendingFiles = 0, pendingFolders = 0, pendingBytes = 0;
    bool justReported = false;
    ParsedRow row;
    for (size_t i = from; i < to; ++i) {
        pendingBytes += int64_t(lines[i].size()) + 1;
        if (decodeRow(lines[i], delimiter, slot.storage, offsets, row)) {
            // Nodes below a folder are made here, in parallel; the build only links them. A node
            // is wasted when its row names a folder that already exists, which is rare.
            size_t slash = row.path.rfind('/');
            row.node = nullptr;
            if (slash != std::string_view::npos && slash + 1 < row.path.size()) {
                row.node = slot.arena->makeNode(row.path.substr(slash + 1), row.isDir, 0, 0, kPackedUnixEpoch);
                applyRow(*row.node, row);
            }
            slot.rows.push_back(row);
            if (row.isDir) {
                ++pendingFolders;
                ++slot.folders;
            } else {
                ++pendingFiles;
                ++slot.files;
            }
        }
        justReported = false;
        if (i % kReportEvery == 0) {
            if (counter) counter->advance(pendingFiles, pendingFolders, pendingBytes);
            pendingFiles = pendingFolders = pendingBytes = 0;
            justReported = true;
            if (isCancelled && isCancelled()) {
                if (counter) counter->advance(0, 0, 0);
                slot.stopped = i + 1 < to;
                return;
            }
        }
    }
    if (!justReported && counter && to > from) counter->advance(pendingFiles, pendingFolders, pendingBytes);
}

// Folders by parent, then by name: the importer's one-pass way to find where a row belongs without
// searching children. Each parent with subfolders has its own small table, so the rows of one folder
// (which follow each other) keep probing the same few cache lines. Names are views into the
// imported bytes.
class FolderTable final {
public:
    // A parent's named subfolders (parent null: the roots).
    class Names final {
    public:
        FileNode* find(std::string_view name, uint64_t hash) const {
            if (slots_.empty()) return nullptr;
            size_t mask = slots_.size() - 1;
            for (size_t i = hash & mask;; i = (i + 1) & mask) {
                const Slot& s = slots_[i];
                if (!s.folder) return nullptr;
                if (s.hash == hash && s.name == name) return s.folder;
            }
        }

        // A later folder of the same name replaces the earlier registration.
        void insert(std::string_view name, uint64_t hash, FileNode* folder) {
            if ((used_ + 1) * 2 > slots_.size()) grow();
            size_t mask = slots_.size() - 1;
            for (size_t i = hash & mask;; i = (i + 1) & mask) {
                Slot& s = slots_[i];
                if (!s.folder) {
                    s = {hash, name, folder};
                    ++used_;
                    return;
                }
                if (s.hash == hash && s.name == name) {
                    s.folder = folder;
                    return;
                }
            }
        }

    private:
        struct Slot {
            uint64_t hash = 0;
            std::string_view name;
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
            auto it = byParent_.find(parent);
            cachedParent_ = parent;
            cachedNames_ = it == byParent_.end() ? nullptr : &tables_[it->second];
            cacheValid_ = true;
        }
        return cachedNames_;
    }

    FileNode* find(const FileNode* parent, std::string_view name, uint64_t hash) {
        const Names* names = namesOf(parent);
        return names ? names->find(name, hash) : nullptr;
    }

    void insert(const FileNode* parent, std::string_view name, uint64_t hash, FileNode* folder) {
        auto [it, added] = byParent_.try_emplace(parent, tables_.size());
        if (added) {
            tables_.emplace_back();
            cacheValid_ = false;
        }
        tables_[it->second].insert(name, hash, folder);
    }

private:
    std::deque<Names> tables_;  // stable addresses for the cached pointer
    std::unordered_map<const FileNode*, size_t> byParent_;
    const FileNode* cachedParent_ = nullptr;
    const Names* cachedNames_ = nullptr;
    bool cacheValid_ = false;
};

// Rebuilds the trees in one pass over the rows in file order.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// Folder totals from the file rows, as a scan rolls them up, except that a folder without child
// rows keeps the totals of its own row: an export cut at a depth writes the folders at the cut
// with their full totals and nothing below them. (An empty folder's row holds zeros.) Iterative:
// an import can be deeper than any thread stack.
void rollUpKeepingCutFolders(FileNode& root) {
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
        if (kids.empty()) {
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

class TreeBuilder final {
public:
    explicit TreeBuilder(std::shared_ptr<NodeStore> store) : store_(std::move(store)), arena_(store_->makeArena()) {}

    // Returns false when cancelled.
    bool build(std::span<const DecodeSlot> entries, int64_t fileRows, int64_t folderRows, bool csvHasFiles,
               const CSVImportProgressHandler& onProgress, const CSVImportCancelQuery& isCancelled) {
        const size_t rowCount = size_t(fileRows + folderRows);
        bool completed = true;
        size_t i = 0;
        for (const DecodeSlot& slot : entries) {
            const size_t count = slot.rows.size();
            for (size_t j = 0; j < count; ++j) {
                const ParsedRow& row = slot.rows[j];
                // The rows' paths lie far apart in a buffer last read on other cores.
                if (j + 16 < count) {
                    const std::string_view ahead = slot.rows[j + 16].path;
                    __builtin_prefetch(ahead.data());
                    __builtin_prefetch(ahead.data() + ahead.size() - 1);
                }
                if (i % kReportEvery == 0) {
                    if (onProgress) {
                        int pct = kDecodePercent + int(double(i) / double(rowCount) * double(100 - kDecodePercent));
                        onProgress(CSVImportProgress{fileRows, folderRows, pct});
                    }
                    if (isCancelled && isCancelled()) {
                        completed = false;
                        break;
                    }
                }
                ++i;
                addRow(row);
            }
            if (!completed) break;
        }
        if (csvHasFiles)
            for (FileNode* r : roots_) rollUpKeepingCutFolders(*r);
        return completed;
    }

    std::vector<RootRef> roots() {
        std::vector<RootRef> out;
        out.reserve(roots_.size());
        for (FileNode* r : roots_) out.push_back(store_->handle(r));
        return out;
    }

private:
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
            if (simple) prevPrefix_ = path.substr(0, std::max<size_t>(slash, 1));
            prevParent_ = parent;
        }
        uint64_t hash = nameHash;
        if (FileNode* existing = folders_.find(parent, name, hash)) {
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
    // Registrations are never replaced once made, so the previous chain stays valid.
    FileNode* ancestorFolder(std::span<const std::string_view> comps) {
        size_t shared = 0;
        while (shared < comps.size() && shared < chainNames_.size() && comps[shared] == chainNames_[shared]) ++shared;
        chainNames_.resize(shared);
        chain_.resize(shared);
        FileNode* current = shared ? chain_.back() : nullptr;
        for (size_t i = shared; i < comps.size(); ++i) {
            std::string_view c = comps[i];
            uint64_t hash = hashName(c);
            FileNode* f = folders_.find(current, c, hash);
            if (!f) {
                f = makeNode(current, c, true);
                f->setIsImpliedFolder(true);
                folders_.insert(current, c, hash, f);
            }
            current = f;
            chainNames_.push_back(c);
            chain_.push_back(f);
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
    FolderTable folders_;
    std::vector<FileNode*> roots_;
    std::vector<std::string_view> comps_;
    std::vector<std::string_view> chainNames_;
    std::vector<FileNode*> chain_;
    std::string_view prevPrefix_;
    FileNode* prevParent_ = nullptr;
    bool havePrefix_ = false;
};

bool isHeaderLine(std::string_view line, char delimiter) {
    static constexpr std::string_view kFiles = "files";
    for (size_t i = 0; i + kFiles.size() < line.size(); ++i) {
        if (line[i + kFiles.size()] == delimiter && asciiEqualIgnoringCase(line.substr(i, kFiles.size()), kFiles))
            return true;
    }
    return false;
}

void splitPlain(std::string_view line, char delimiter, std::vector<std::string_view>& out) {
    out.clear();
    for (;;) {
        size_t at = line.find(delimiter);
        out.push_back(line.substr(0, at));
        if (at == std::string_view::npos) return;
        line.remove_prefix(at + 1);
    }
}

VolumeCapacity extractDriveCapacity(std::string_view header, std::string_view data, char delimiter) {
    std::vector<std::string_view> headers, values;
    splitPlain(header, delimiter, headers);
    size_t index = headers.size();
    for (size_t i = 0; i < headers.size(); ++i) {
        if (asciiEqualIgnoringCase(headers[i], "DRIVECAPACITY")) {
            index = i;
            break;
        }
    }
    if (index == headers.size()) return {};
    splitPlain(data, delimiter, values);
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

}  // namespace

int32_t parseFixedWidthDate(std::string_view field) {
    LocalOffsetCache offsets;
    return parseDate(field, offsets);
}

CSVImportOutcome importFromCSVData(std::string_view data, char delimiter, const CSVImportProgressHandler& onProgress,
                                   const CSVImportCancelQuery& isCancelled, int workers) {
    CSVImportOutcome outcome;
    const size_t w = size_t(std::max(1, workers > 0 ? workers : activeProcessorCount()));
    std::vector<std::string_view> lines = splitLines(data, delimiter, w);
    if (lines.empty()) {
        outcome.error = CSVImportError{CSVImportError::Kind::noValidRowsFound, 0};
        return outcome;
    }

    // The first line is never a row. The header (only used to find the drive-capacity columns) is
    // that line or one of the next five; a later one stays among the data lines and fails there.
    std::optional<std::string_view> header;
    for (size_t i = 0; i < std::min<size_t>(lines.size(), 6); ++i) {
        if (isHeaderLine(lines[i], delimiter)) {
            header = lines[i];
            break;
        }
    }
    std::span<const std::string_view> dataLines(lines.data() + 1, lines.size() - 1);

    std::optional<std::string_view> sample;
    {
        PathStorage scratch;
        LocalOffsetCache offsets;
        ParsedRow row;
        for (size_t i = 0; i < std::min<size_t>(dataLines.size(), 5); ++i) {
            if (decodeRow(dataLines[i], delimiter, scratch, offsets, row)) {
                sample = dataLines[i];
                break;
            }
        }
    }

    const size_t n = dataLines.size();
    const size_t chunk = std::max<size_t>(1, (n + w - 1) / w);
    const size_t used = n == 0 ? 0 : (n + chunk - 1) / chunk;
    std::vector<DecodeSlot> entries(used);
    auto store = NodeStore::create();
    store->setImported(true);
    for (DecodeSlot& slot : entries) slot.arena = &store->makeArena();
    std::unique_ptr<CSVImportProgressCounter> counter;
    if (onProgress) counter = std::make_unique<CSVImportProgressCounter>(int64_t(data.size()), onProgress);
    {
        std::vector<std::jthread> threads;
        threads.reserve(used);
        for (size_t i = 1; i < used; ++i)
            threads.emplace_back([&, i] {
                decodeRange(dataLines, i * chunk, std::min(n, i * chunk + chunk), delimiter, counter.get(),
                            isCancelled, entries[i]);
            });
        if (used > 0) decodeRange(dataLines, 0, std::min(n, chunk), delimiter, counter.get(), isCancelled, entries[0]);
    }

    int64_t fileRows = 0, folderRows = 0;
    for (const DecodeSlot& s : entries) {
        fileRows += s.files;
        folderRows += s.folders;
    }
    if (fileRows + folderRows == 0) {
        // Stopped before a single row: an empty cancelled result, not a failure to show the user.
        if (isCancelled && isCancelled())
            outcome.result.wasCancelled = true;
        else
            outcome.error = CSVImportError{CSVImportError::Kind::noValidRowsFound, 0};
        return outcome;
    }

    // Whether the run was cancelled is what the decode and the build saw, not a later answer: a
    // cancel that comes after the last row was linked leaves a finished import.
    const bool decodeStopped = std::any_of(entries.begin(), entries.end(), [](const DecodeSlot& s) { return s.stopped; });
    TreeBuilder builder(std::move(store));
    const bool built = builder.build(entries, fileRows, folderRows, fileRows > 0, onProgress, isCancelled);
    outcome.result.roots = builder.roots();
    if (header && sample) outcome.result.driveCapacity = extractDriveCapacity(*header, *sample, delimiter);
    outcome.result.wasCancelled = decodeStopped || !built;
    return outcome;
}

CSVImportOutcome importFromCSV(const std::string& path, const CSVImportProgressHandler& onProgress,
                               const CSVImportCancelQuery& isCancelled) {
    FileBytes data;
    if (int err = data.read(path, activeProcessorCount())) {
        CSVImportOutcome outcome;
        outcome.error = CSVImportError{CSVImportError::Kind::couldNotReadFile, err};
        return outcome;
    }
    return importFromCSVData(data.view(), hasTSVExtension(path) ? '\t' : ',', onProgress, isCancelled);
}

}  // namespace zelvane

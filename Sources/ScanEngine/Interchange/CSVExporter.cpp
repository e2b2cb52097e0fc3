#include "ScanEngine/Interchange/CSVExporter.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Platform/FileReplacement.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/CivilTime.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {
namespace {

constexpr size_t kChunkBytes = 1048576;

// Writes each chunk on a thread of its own while the caller formats the next, so an export takes
// about as long as the slower of the two instead of their sum. One chunk at most is in flight; the
// writer touches `inFlight_` only while `pending_` is set, the caller only while it is not.
class ChunkWriterLocked final {
public:
    // Without a thread to be had (a process or memory limit) the caller writes each chunk itself.
    explicit ChunkWriterLocked(ReplacementFile& file) : file_(file) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
        }
    }
    ChunkWriterLocked(const ChunkWriterLocked&) = delete;
    ChunkWriterLocked& operator=(const ChunkWriterLocked&) = delete;
    ~ChunkWriterLocked() { finish(); }

    // Takes the chunk and leaves an empty buffer (with capacity) in its place. Returns the first
    // write error so far, after which chunks are dropped.
    int submit(std::string& chunk) {
        if (!thread_.joinable()) {
            if (!error_) error_ = file_.write(chunk);
            chunk.clear();
            return error_;
        }
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return !pending_; });
        if (error_) {
            chunk.clear();
            return error_;
        }
        std::swap(chunk, inFlight_);
        pending_ = true;
        work_.notify_one();
        return 0;
    }

    // Waits for the last chunk; 0 or the first write error.
    int finish() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            work_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
        return error_;
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return pending_ || stop_; });
            if (!pending_) return;
            lock.unlock();
            int err = file_.write(inFlight_);
            lock.lock();
            inFlight_.clear();
            if (err && !error_) error_ = err;
            pending_ = false;
            idle_.notify_one();
        }
    }

    ReplacementFile& file_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    std::string inFlight_;
    bool pending_ = false;
    bool stop_ = false;
    int error_ = 0;
    std::thread thread_;  // last: started once the members above exist
};

inline void appendInt(std::string& out, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}
inline void appendUInt(std::string& out, uint64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void writeDateChars(char* p, int64_t unixSeconds, bool useUTC, LocalOffsetCache& offsets) {
    CivilDateTime c = useUTC ? civilFromUnixSeconds(unixSeconds) : offsets.localCivil(unixSeconds);
    int64_t y = c.year < 0 ? -c.year : c.year;
    p[0] = char('0' + y / 1000 % 10);
    p[1] = char('0' + y / 100 % 10);
    p[2] = char('0' + y / 10 % 10);
    p[3] = char('0' + y % 10);
    p[4] = '/';
    p[5] = char('0' + c.month / 10);
    p[6] = char('0' + c.month % 10);
    p[7] = '/';
    p[8] = char('0' + c.day / 10);
    p[9] = char('0' + c.day % 10);
    p[10] = ' ';
    p[11] = char('0' + c.hour / 10);
    p[12] = char('0' + c.hour % 10);
    p[13] = ':';
    p[14] = char('0' + c.minute / 10);
    p[15] = char('0' + c.minute % 10);
    p[16] = ':';
    p[17] = char('0' + c.second / 10);
    p[18] = char('0' + c.second % 10);
}

constexpr int64_t kDateLength = 19;

int64_t unixFromDate(DateSeconds date) {
    double unix = std::trunc(date + double(kReferenceDateUnixSeconds));
    if (!(unix > -9.2e18)) return INT64_MIN / 2;  // NaN and far past: outside the data model
    if (unix > 9.2e18) return INT64_MAX / 2;
    return int64_t(unix);
}

void appendPercent(std::string& out, const FileNode& node) {
    const FileNode* parent = node.parent();
    if (!parent) {
        out.append("100.000");
        return;
    }
    int64_t parentSize = parent->effectiveSize();
    if (parentSize == 0) {
        out.append("0.000");
        return;
    }
    double pct = double(node.effectiveSize()) / double(parentSize) * 100.0;
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, pct, std::chars_format::fixed, 3);
    out.append(buf, r.ec == std::errc() ? r.ptr : buf);
}

// The exact bytes of the node's full path, built like FileNode::fullPath() but into reused buffers.
// Returns where the node's own name starts in `out`.
size_t appendPathBytes(const FileNode& node, std::string& out, std::vector<const FileNode*>& chain) {
    chain.clear();
    for (const FileNode* n = &node; n; n = n->parent()) chain.push_back(n);
    size_t start = out.size();
    chain.back()->appendNameBytes(out);
    if (chain.size() == 1) return start;
    if (out.size() == start || out.back() != '/') out.push_back('/');
    size_t nameStart = out.size();
    for (size_t i = chain.size() - 1; i-- > 0;) {
        nameStart = out.size();
        chain[i]->appendNameBytes(out);
        if (i > 0) out.push_back('/');
    }
    return nameStart;
}

// Turns nodes into rows. One instance per export: the buffers are reused for every row, so a row
// costs no allocation once they have grown.
class CSVRowWriter final {
public:
    CSVRowWriter(const CSVExportOptions& o, const DriveCapacityQuery& dc, ChunkWriterLocked* chunks)
        : opt_(o), delim_(o.useTabDelimiter ? '\t' : ','), driveCapacity_(dc), chunks_(chunks) {
        out_.reserve(kChunkBytes + 64 * 1024);
        path_.reserve(4096);
    }

    int error() const { return error_; }

    void header() { appendHeader(out_, opt_, delim_); endLine(); }

    static void appendHeader(std::string& out, const CSVExportOptions& o, char d) {
        out.append("File Name");
        auto col = [&](const char* name) {
            out.push_back(d);
            out.append(name);
        };
        col("Size");
        col("Allocated");
        col("Modified");
        col("Attributes");
        col("Files");
        col("Folders");
        if (o.exportFileID) { col("FILEID"); col("PARENTFILEID"); }
        if (o.exportDates) { col("LASTACCESSDATE"); col("CREATEDDATE"); }
        if (o.exportFolderSizes) { col("FOLDERSIZE"); col("FOLDERALLOCATED"); }
        if (o.splitFilename) { col("ROOT"); col("FOLDERNAME"); col("FILENAME"); col("FILEEXT"); }
        if (o.exportPercentOfParent) col("PERCENTOFPARENT");
        if (o.exportDriveCapacity) { col("DRIVECAPACITY"); col("FREESPACE"); col("USEDSPACE"); col("RESERVEDSPACE"); }
    }

    // Walks one given node: pre-order, children in stored order, depth-limited. Items marked
    // deleted (gone on disk, or removed by a file action) are left out with everything below
    // them: the folders' totals no longer count them, and the rows must add up to those totals.
    void walk(const FileNode& start, bool flat) {
        if (start.isDeleted()) return;
        path_.clear();
        size_t nameStart = appendPathBytes(start, path_, chain_);
        bool wantChildren = !flat && start.isDir() && depthAllows(1);
        visit(start, nameStart);
        if (!wantChildren || error_) return;
        stack_.clear();
        stack_.push_back({&start, 0, path_.size(), 0});
        while (!stack_.empty() && !error_) {
            Frame& f = stack_.back();
            auto kids = f.node->children();
            if (f.next == kids.size()) {
                stack_.pop_back();
                continue;
            }
            const FileNode* child = kids[f.next++];
            if (child->isDeleted()) continue;
            int depth = f.depth + 1;
            path_.resize(f.pathLength);
            // Mirrors fullPath(): the only separator left out is the one after a root ending in "/".
            if (!(f.node->isRoot() && !path_.empty() && path_.back() == '/')) path_.push_back('/');
            size_t childNameStart = path_.size();
            child->appendNameBytes(path_);
            visit(*child, childNameStart);
            if (child->isDir() && depthAllows(depth + 1)) stack_.push_back({child, 0, path_.size(), depth});
        }
    }

    void flush() {
        if (error_ || out_.empty()) return;
        error_ = chunks_->submit(out_);
        out_.reserve(kChunkBytes + 64 * 1024);
    }

private:
    struct Frame {
        const FileNode* node;
        size_t next;
        size_t pathLength;
        int depth;
    };

    bool depthAllows(int depth) const { return opt_.maxDepth < 1 || depth <= opt_.maxDepth; }

    void visit(const FileNode& n, size_t nameStart) {
        if (n.isDir() ? !opt_.exportFolders : !opt_.exportFiles) return;
        appendRow(n, nameStart);
        endLine();
    }

    void endLine() {
        out_.push_back('\n');
        if (out_.size() >= kChunkBytes && chunks_) flush();
    }

    void field() { out_.push_back(delim_); }

    void date(int32_t packed) {
        size_t at = out_.size();
        out_.resize(at + kDateLength);
        writeDateChars(out_.data() + at, int64_t(packed) + kReferenceDateUnixSeconds, opt_.useUTC, offsets_);
    }

    void appendRow(const FileNode& n, size_t nameStart) {
        const bool dir = n.isDir();
        std::string_view path(path_);

        out_.push_back('"');
        appendQuotedBody(path);
        if (dir && (path.empty() || path.back() != '/')) out_.push_back('/');
        out_.push_back('"');

        field();
        appendInt(out_, n.effectiveSize());
        field();
        if (n.doNotCountAllocated()) out_.push_back('0');
        appendInt(out_, n.effectiveAllocSize());
        field();
        date(n.modifiedDateRaw);
        field();
        appendUInt(out_, n.dosAttributes);
        field();
        appendInt(out_, dir ? n.subFolderFileCount() : 0);
        field();
        appendInt(out_, dir ? n.subFolderDirCount() : 0);

        if (opt_.exportFileID) {
            field();
            appendUInt(out_, n.fileID);
            field();
            appendUInt(out_, n.parent() ? n.parent()->fileID : 0);
        }
        if (opt_.exportDates) {
            field();
            date(n.lastAccessDateRaw);
            field();
            date(n.createdDateRaw);
        }
        if (opt_.exportFolderSizes) {
            int64_t size = n.fileSize, alloc = n.allocSize;
            if (dir) {
                size = 0;
                alloc = 0;
                for (const FileNode* k : n.children()) {
                    if (k->isDir() || k->isDeleted()) continue;
                    size += k->fileSize;
                    if (!k->doNotCountAllocated()) alloc += k->allocSize;
                }
            }
            field();
            appendInt(out_, size);
            field();
            appendInt(out_, alloc);
        }
        if (opt_.splitFilename) {
            field();
            out_.append("\"\"");
            field();
            std::string_view folder;
            if (n.parent()) {
                size_t slash = path.rfind('/');
                if (slash == std::string_view::npos)
                    folder = {};
                else if (slash == 0)
                    folder = "/";
                else
                    folder = path.substr(0, slash);
            }
            appendCSVQuoted(out_, folder);
            std::string_view name = path.substr(nameStart);
            size_t dot = name.rfind('.');
            field();
            appendCSVQuoted(out_, dot == std::string_view::npos ? name : name.substr(0, dot));
            field();
            appendExtension(n, dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1));
        }
        if (opt_.exportPercentOfParent) {
            field();
            appendPercent(out_, n);
        }
        if (opt_.exportDriveCapacity) {
            VolumeCapacity cap;
            if (!n.parent() && driveCapacity_) cap = driveCapacity_(n);
            const bool known = cap.isKnown();
            field();
            if (known) appendInt(out_, *cap.total);
            field();
            if (known) appendInt(out_, *cap.available);
            field();
            if (known) appendInt(out_, std::max<int64_t>(0, saturatingAdd(*cap.total, -saturatingAdd(*cap.available, cap.reserved))));
            field();
            if (known) appendInt(out_, cap.reserved);
        }
    }

    void appendQuotedBody(std::string_view text) {
        if (!std::memchr(text.data(), '"', text.size())) {
            out_.append(text);
            return;
        }
        for (char c : text) {
            out_.push_back(c);
            if (c == '"') out_.push_back('"');
        }
    }

    // The detected extension is lower-cased by the Unicode rules; plain ASCII, by far the common
    // case, is lower-cased here without a round trip through the node's UTF-16 name.
    void appendExtension(const FileNode& n, std::string_view extBytes) {
        bool ascii = true;
        for (char c : extBytes) ascii &= (static_cast<unsigned char>(c) < 0x80);
        if (!ascii) {
            appendCSVQuoted(out_, n.detectedExtension());
            return;
        }
        out_.push_back('"');
        for (char c : extBytes) {
            char l = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
            out_.push_back(l);
            if (l == '"') out_.push_back('"');
        }
        out_.push_back('"');
    }

    const CSVExportOptions& opt_;
    const char delim_;
    const DriveCapacityQuery& driveCapacity_;
    ChunkWriterLocked* chunks_;
    std::string out_;
    std::string path_;
    std::vector<const FileNode*> chain_;
    std::vector<Frame> stack_;
    LocalOffsetCache offsets_;
    int error_ = 0;
};

}  // namespace

std::optional<CSVExportError> exportToCSV(std::span<FileNode* const> roots, const CSVExportOptions& options,
                                          bool flat, const DriveCapacityQuery& driveCapacity,
                                          const std::string& path) {
    if (!options.exportFiles && !options.exportFolders)
        return CSVExportError{CSVExportError::Kind::noFilesOrFoldersSelected, 0};
    ReplacementFile file;
    if (int err = file.open(path)) return CSVExportError{CSVExportError::Kind::couldNotCreateFile, err};
    int err = 0;
    {
        ChunkWriterLocked chunks(file);
        CSVRowWriter writer(options, driveCapacity, &chunks);
        writer.header();
        for (const FileNode* root : roots) {
            if (!root) continue;
            writer.walk(*root, flat);
            if (writer.error()) break;
        }
        writer.flush();
        err = chunks.finish();
    }
    if (!err) err = file.commit();
    if (err) return CSVExportError{CSVExportError::Kind::couldNotCreateFile, err};
    return std::nullopt;
}

std::optional<CSVExportError> exportToCSV(std::span<const RootRef> roots, const CSVExportOptions& options,
                                          bool flat, const DriveCapacityQuery& driveCapacity,
                                          const std::string& path) {
    std::vector<FileNode*> nodes;
    nodes.reserve(roots.size());
    for (const RootRef& r : roots) nodes.push_back(r.get());
    return exportToCSV(std::span<FileNode* const>(nodes), options, flat, driveCapacity, path);
}

std::string headerLine(const CSVExportOptions& options, char delimiter) {
    std::string s;
    CSVRowWriter::appendHeader(s, options, delimiter);
    return s;
}

std::string formatCSVDate(DateSeconds date, bool useUTC) {
    LocalOffsetCache offsets;
    std::string s(kDateLength, '0');
    writeDateChars(s.data(), unixFromDate(date), useUTC, offsets);
    return s;
}

std::string percentOfParentString(const FileNode& node) {
    std::string s;
    appendPercent(s, node);
    return s;
}

}  // namespace zelvane

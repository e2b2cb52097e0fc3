#include "ScanEngine/Interchange/CSVLineReader.hpp"

#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ScanEngine/Support/WorkerCrew.hpp"

namespace zelvane {

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

CSVInput::~CSVInput() {
    if (fd_ >= 0) ::close(fd_);
}

int CSVInput::openFile(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    bytes_ = {};
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return kNotRegularFile;
    positional_ = true;
    sizeHint_ = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    return 0;
}

ssize_t CSVInput::read(uint64_t offset, char* to, size_t n) const {
    if (fd_ < 0) {
        if (offset >= bytes_.size()) return 0;
        const size_t count = std::min<size_t>(n, bytes_.size() - size_t(offset));
        std::memcpy(to, bytes_.data() + offset, count);
        return ssize_t(count);
    }
    for (;;) {
        const ssize_t got = positional_ ? ::pread(fd_, to, n, off_t(offset)) : ::read(fd_, to, n);
        if (got >= 0) return got;
        if (errno != EINTR) return -errno;
    }
}

namespace {

constexpr size_t kMinPiece = size_t(1) << 20;

inline std::string_view withoutCR(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// How a record that opens with a quote runs on within [p, end). Any field may be quoted, and a
// quoted field holds delimiters and line ends as they are: the path, and with split names the
// folder, name and extension columns after it. A quoted field must end where a field ends (at
// the delimiter, or at the line's end); anything else makes the record `malformed`.
struct RecordScan {
    enum class Kind { complete, unclosed, malformed };
    Kind kind = Kind::unclosed;
    const char* fieldsEnd = nullptr;  // complete: where the last field ends (a CR, an LF or `end`)
    const char* pathEnd = nullptr;    // after the first field's closing quote, when that ends a field
};

inline bool atLineEnd(const char* at, const char* end) {
    return at == end || *at == '\n' || (*at == '\r' && (at + 1 == end || at[1] == '\n'));
}

RecordScan scanRecord(const char* p, const char* end, char delimiter) {
    RecordScan r;
    bool first = true;
    for (;;) {
        if (p < end && *p == '"') {
            const char* q = findClosingQuote(p + 1, end);
            if (!q) {
                r.kind = RecordScan::Kind::unclosed;
                return r;
            }
            p = q + 1;
            if (!atLineEnd(p, end) && *p != delimiter) {
                r.kind = RecordScan::Kind::malformed;
                return r;
            }
            if (first) r.pathEnd = p;
        } else {
            while (p < end && *p != delimiter && *p != '\n') ++p;
        }
        if (p == end || *p != delimiter) {
            r.kind = RecordScan::Kind::complete;
            r.fieldsEnd = p;
            return r;
        }
        ++p;
        first = false;
    }
}

// Whether the physical line [p, lineEnd) leaves a record open, as `scanRecord` over the line
// would find it unclosed: it starts with a quote and one of its quoted fields does not close on
// it. Every line of a file passes here, so it goes from quote to quote instead of field by field:
// a quote is a quoted field's opening one when a delimiter stands before it (the delimiters
// inside quoted fields are skipped with them), else it is part of an unquoted field.
bool leavesRecordOpen(const char* p, const char* lineEnd, char delimiter) {
    if (p == lineEnd || *p != '"') return false;
    const auto endsField = [&](const char* at) {
        return at == lineEnd || *at == delimiter || (*at == '\r' && at + 1 == lineEnd);
    };
    const char* close = findClosingQuote(p + 1, lineEnd);
    for (;;) {
        if (!close) return true;
        const char* at = close + 1;
        if (!endsField(at)) return false;  // no row: the line stands alone
        for (;;) {
            at = static_cast<const char*>(std::memchr(at, '"', size_t(lineEnd - at)));
            if (!at) return false;
            if (at[-1] == delimiter) break;
            ++at;  // inside an unquoted field
        }
        close = findClosingQuote(at + 1, lineEnd);
    }
}

}  // namespace

// One thread's share of a window's split into physical lines.
struct CSVLineReader::Piece {
    std::vector<std::string_view> lines;  // open lines keep their CR until joined
    std::vector<size_t> open;             // indices of lines whose quote stays open
    const char* tail = nullptr;           // a last line whose LF is not in the window yet
};

CSVLineReader::CSVLineReader(const CSVInput& input, char delimiter, size_t windowBytes,
                             std::function<bool()> isCancelled)
    : input_(input), delimiter_(delimiter), windowBytes_(std::max<size_t>(windowBytes, 1)),
      isCancelled_(std::move(isCancelled)) {}

CSVLineReader::~CSVLineReader() = default;

ssize_t CSVLineReader::fill(char* to, size_t n, WorkerCrew& crew) {
    if (!input_.positional()) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = input_.read(0, to + got, n - got);
            if (r < 0) return r;
            if (r == 0) break;
            got += size_t(r);
        }
        return ssize_t(got);
    }
    // Several threads copy out of the page cache at once; a piece that comes back short marks the
    // end of the input (or where it was cut while being read), and what follows it is not used.
    struct Share {
        size_t got = 0;
        int error = 0;
    };
    const size_t pieces = std::max<size_t>(1, n / kMinPiece);
    std::vector<Share> shares(pieces);
    const uint64_t base = readOffset_;
    crew.run(pieces, [&](size_t piece, unsigned) {
        const size_t from = n / pieces * piece;
        const size_t to_ = piece + 1 == pieces ? n : n / pieces * (piece + 1);
        Share& s = shares[piece];
        while (from + s.got < to_) {
            const ssize_t r = input_.read(base + from + s.got, to + from + s.got, to_ - from - s.got);
            if (r < 0) s.error = int(-r);
            if (r <= 0) break;
            s.got += size_t(r);
        }
    });
    size_t got = 0;
    for (size_t i = 0; i < pieces; ++i) {
        if (shares[i].error) return -shares[i].error;
        got += shares[i].got;
        const size_t length = (i + 1 == pieces ? n : n / pieces * (i + 1)) - n / pieces * i;
        if (shares[i].got < length) break;
    }
    return ssize_t(got);
}

int CSVLineReader::next(CSVLineWindow& window, WorkerCrew& crew) {
    window.lines.clear();
    window.firstLine = nextLine_;
    while (!finished_) {
        if (isCancelled_ && isCancelled_()) {
            finished_ = cancelled_ = true;
            window.lines.clear();
            break;
        }
        // A carried line that fills half a window doubles the next one, so every round reads more;
        // past the longest line taken, one more window's bytes decide.
        const size_t wanted = std::max(windowBytes_, std::min(carry_.size() * 2, kMaxLineBytes + windowBytes_));
        if (window.capacity < wanted || window.capacity > 2 * wanted) {
            ASAN_UNPOISON_MEMORY_REGION(window.bytes.get(), window.capacity);
            window.bytes.reset(new char[wanted]);
            window.capacity = wanted;
        }
        char* bytes = window.bytes.get();
        ASAN_UNPOISON_MEMORY_REGION(bytes, window.capacity);
        const size_t carried = carry_.size();
        const uint64_t carriedFrom = readOffset_ - carried;
        std::memcpy(bytes, carry_.data(), carried);
        carry_.clear();
        const ssize_t got = fill(bytes + carried, wanted - carried, crew);
        if (got < 0) {
            finished_ = true;
            return int(-got);
        }
        readOffset_ += uint64_t(got);
        const size_t size = carried + size_t(got);
        const bool atEnd = size < wanted;
        // Reads past the bytes filled are faults even inside the buffer.
        ASAN_POISON_MEMORY_REGION(bytes + size, window.capacity - size);

        std::string_view data(bytes, size);
        uint64_t dataOffset = carriedFrom;
        if (!startSeen_) {
            if (size < 3 && !atEnd) {
                carry_.assign(data);
                continue;
            }
            startSeen_ = true;
            if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
                data.remove_prefix(3);
                dataOffset += 3;
            }
        }
        const size_t used = split(data, atEnd, crew, window.lines);
        // Only a window grown for a long line can hold a complete line over the bound.
        const auto tooLong = [](std::string_view line) { return line.size() > kMaxLineBytes; };
        if (data.size() - used > kMaxLineBytes ||
            (wanted > kMaxLineBytes && std::any_of(window.lines.begin(), window.lines.end(), tooLong))) {
            finished_ = true;
            window.lines.clear();
            carry_.clear();
            return kLineTooLong;
        }
        carry_.assign(data.substr(used));
        finished_ = atEnd;
        if (atEnd) endedWithoutLineEnd_ = !data.empty() && data.back() != '\n';
        window.endOffset = dataOffset + used;
        if (!window.lines.empty()) break;
    }
    nextLine_ += window.lines.size();
    return 0;
}

CSVLineWindow::~CSVLineWindow() { ASAN_UNPOISON_MEMORY_REGION(bytes.get(), capacity); }

// Physical lines are split in parallel pieces, each marking the lines whose opening quote stays
// open; only when some line is marked does one pass over all lines join them. A scan that passes a
// line's opening quote can only do so as half of an escaped pair, so that line's own scan ends
// within the line: no byte is scanned more than twice.
size_t CSVLineReader::split(std::string_view data, bool atEnd, WorkerCrew& crew, std::vector<std::string_view>& lines) {
    const char* begin = data.data();
    const char* end = begin + data.size();
    const size_t size = data.size();
    const size_t pieces = std::max<size_t>(1, size / kMinPiece);
    if (pieces_.size() < pieces) pieces_.resize(pieces);
    for (size_t i = 0; i < pieces; ++i) {
        pieces_[i].lines.clear();
        pieces_[i].open.clear();
        pieces_[i].tail = nullptr;
    }
    crew.run(pieces, [&](size_t i, unsigned) {
        const char* from = begin + size / pieces * i;
        const char* to = i + 1 == pieces ? end : begin + size / pieces * (i + 1);
        const char* p = from;
        if (i > 0 && p[-1] != '\n') {  // the line under way belongs to the piece before
            auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            p = lf ? lf + 1 : end;
        }
        Piece& piece = pieces_[i];
        piece.lines.reserve(size_t(to - from) / 128);
        while (p < to) {
            auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!lf && !atEnd) {
                piece.tail = p;
                break;
            }
            const char* lineEnd = lf ? lf : end;
            std::string_view line(p, size_t(lineEnd - p));
            if (leavesRecordOpen(p, lineEnd, delimiter_)) {
                piece.open.push_back(piece.lines.size());
                piece.lines.push_back(line);
            } else {
                piece.lines.push_back(withoutCR(line));
            }
            p = lf ? lf + 1 : end;
        }
    });

    const char* tail = end;
    size_t total = 0;
    bool anyOpen = false;
    for (size_t i = 0; i < pieces; ++i) {
        total += pieces_[i].lines.size();
        anyOpen |= !pieces_[i].open.empty();
        if (pieces_[i].tail) tail = pieces_[i].tail;
    }
    lines.reserve(lines.size() + total);
    if (!anyOpen) {
        for (size_t i = 0; i < pieces; ++i) lines.insert(lines.end(), pieces_[i].lines.begin(), pieces_[i].lines.end());
        return size_t(tail - begin);
    }
    const char* consumedTo = begin;  // physical lines starting before this lie inside a joined line
    for (size_t i = 0; i < pieces; ++i) {
        const Piece& piece = pieces_[i];
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
            // A record still open this far on is not waited for any longer: it is taken as it
            // would be at the input's end.
            const bool waitedEnough = size_t(end - line.data()) > kMaxLineBytes;
            const RecordScan record =
                scanRecord(line.data(), waitedEnough ? line.data() + kMaxLineBytes : end, delimiter_);
            // Whether this line takes in the next ones may depend on bytes still to come: a quote
            // that closes a field, or (when a quote at the window's end seems to close one, which
            // could still be half of a pair) the line end after it.
            if (record.kind == RecordScan::Kind::unclosed && !atEnd && !waitedEnough) return size_t(line.data() - begin);
            // A record whose later fields do not read as fields still takes in the lines its
            // path runs over, up to the line end after the path, as files always were read.
            const char* from = record.kind == RecordScan::Kind::complete ? record.fieldsEnd : record.pathEnd;
            if (from) {
                auto* lf = static_cast<const char*>(std::memchr(from, '\n', size_t(end - from)));
                if (!lf && !atEnd) return size_t(line.data() - begin);
                lineEnd = lf ? lf : end;
                consumedTo = lineEnd;
            }
            lines.push_back(withoutCR(std::string_view(line.data(), size_t(lineEnd - line.data()))));
        }
    }
    return size_t(tail - begin);
}

}  // namespace zelvane

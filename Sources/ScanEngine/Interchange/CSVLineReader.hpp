#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

class WorkerCrew;

// The first double quote at or after `p` that is not one of an escaped pair, or null. A quote just
// before `end` counts as closing: a caller that may see more bytes checks for that itself.
const char* findClosingQuote(const char* p, const char* end);

// What an import reads: bytes already in memory, or a regular file, read by position (several
// threads at once).
class CSVInput final {
public:
    explicit CSVInput(std::string_view bytes) : bytes_(bytes), sizeHint_(bytes.size()) {}
    CSVInput(const CSVInput&) = delete;
    CSVInput& operator=(const CSVInput&) = delete;
    ~CSVInput();

    // Reads the file at `path` instead of the bytes. 0, kNotRegularFile for anything but a regular
    // file or a folder (a device, a pipe, a socket: none of them is an export, and reading one may
    // never end or block for good), or the errno of the failure. The file is opened without
    // blocking and judged by what was opened, so nothing swapped in between is read.
    static constexpr int kNotRegularFile = -1;
    int openFile(const std::string& path);

    bool positional() const noexcept { return fd_ < 0 || positional_; }
    uint64_t sizeHint() const noexcept { return sizeHint_; }  // 0 when not known in advance

    // Up to n bytes from `offset` (ignored by an input that is not positional: it goes on where its
    // last read stopped). The count, 0 at the end, or -errno.
    ssize_t read(uint64_t offset, char* to, size_t n) const;

private:
    std::string_view bytes_;
    int fd_ = -1;
    bool positional_ = true;
    uint64_t sizeHint_ = 0;
};

// Whole lines of the input, a window of them at a time, with the bytes they view. The memory is
// kept from one window to the next that reuses this value.
struct CSVLineWindow {
    CSVLineWindow() = default;
    CSVLineWindow(const CSVLineWindow&) = delete;
    CSVLineWindow& operator=(const CSVLineWindow&) = delete;
    ~CSVLineWindow();

    std::vector<std::string_view> lines;
    uint64_t firstLine = 0;  // the input's index of lines[0]
    uint64_t endOffset = 0;  // where the input's bytes that these lines cover end

    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
};

// Cuts the input into lines window by window (read and split on several threads), as if the whole
// input were split at once: a leading byte-order mark is skipped, every LF ends a line and one
// trailing CR is dropped. File names may hold LF, which the export writes inside its quoted fields
// (the path, and the folder, name and extension columns of split names); a line that starts with a
// quote and leaves a quoted field open is therefore joined with the following ones, as long as each
// quoted field closes where a field ends (at the delimiter or the line end) as in a real row.
//
// A line (or a join) that the end of a window leaves undecided is carried to the front of the next
// window, which grows when one line does not fit: only a few windows' bytes are ever held, except
// while one line is longer than a window. A line longer than `kMaxLineBytes` ends the reading: no
// row of an export comes near it. A quoted field still open after that many bytes is not
// waited for any longer: its line is taken as it stands, as at the input's end.
class CSVLineReader final {
public:
    static constexpr size_t kMaxLineBytes = size_t(64) << 20;
    // What next() returns for a line longer than kMaxLineBytes.
    static constexpr int kLineTooLong = -2;

    // `isCancelled` is asked before every window is read; once it says yes the reader is finished.
    CSVLineReader(const CSVInput& input, char delimiter, size_t windowBytes,
                  std::function<bool()> isCancelled = {});
    CSVLineReader(const CSVLineReader&) = delete;
    CSVLineReader& operator=(const CSVLineReader&) = delete;
    ~CSVLineReader();

    // The next lines into `window`; no lines once the input is exhausted or the reading was
    // cancelled. 0, kLineTooLong, or the errno of a failed read (the reader is then finished).
    int next(CSVLineWindow& window, WorkerCrew& crew);
    bool finished() const noexcept { return finished_; }
    bool cancelled() const noexcept { return cancelled_; }
    uint64_t linesRead() const noexcept { return nextLine_; }
    // Whether the input's last line had no line end: a file that ends inside a line (or inside a
    // quoted field) was cut short, unless that line is complete as it stands.
    bool endedWithoutLineEnd() const noexcept { return endedWithoutLineEnd_; }

private:
    struct Piece;
    ssize_t fill(char* to, size_t n, WorkerCrew& crew);
    size_t split(std::string_view data, bool atEnd, WorkerCrew& crew, std::vector<std::string_view>& lines);

    const CSVInput& input_;
    const char delimiter_;
    const size_t windowBytes_;
    const std::function<bool()> isCancelled_;
    std::string carry_;      // the undecided bytes at the end of the last window
    uint64_t readOffset_ = 0;
    uint64_t nextLine_ = 0;
    bool startSeen_ = false;  // the byte-order mark was looked for
    bool finished_ = false;
    bool cancelled_ = false;
    bool endedWithoutLineEnd_ = false;
    std::vector<Piece> pieces_;
};

}  // namespace zelvane

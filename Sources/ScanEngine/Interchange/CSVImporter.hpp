#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

struct CSVImportProgress {
    int64_t files = 0;
    int64_t folders = 0;
    int percentComplete = 0;  // 0-99: the share of the input's bytes whose rows are in the tree
};

struct CSVImportResult {
    std::vector<RootRef> roots;  // in order of first appearance
    VolumeCapacity driveCapacity;  // both values or neither
    bool wasCancelled = false;
    // Lines that are no row: a path that is not one, or a size, date, attribute or count field that
    // does not read as one (the first line, empty lines and the header are not counted).
    int64_t rowsLeftOut = 0;
    // The file's last line has no line end and is no row: the file was cut inside a row.
    bool endedInsideRow = false;
};

struct CSVImportError {
    // notRegularFile: a device, pipe or socket, refused before anything is read. lineTooLong: a
    // line (a quoted path's joined lines included) longer than CSVLineReader::kMaxLineBytes.
    // noValidRowsFound: not one line reads as a row (every field of a row must read as what it
    // holds). couldNotReadFile carries ENOMEM when the tree outgrew the memory.
    enum class Kind { couldNotReadFile, noValidRowsFound, notRegularFile, lineTooLong };
    Kind kind;
    int underlyingErrno = 0;  // couldNotReadFile
};

// Either a result or an error; a cancelled import is a result (with what was built so far).
struct CSVImportOutcome {
    CSVImportResult result;
    std::optional<CSVImportError> error;
};

// Progress is reported on the calling thread, every 10,000 rows put in the tree; the cancel query is
// asked there, on the decode workers and before every window of the input is read. Nothing is
// thrown: running out of memory is an error like a failed read.
using CSVImportProgressHandler = std::function<void(const CSVImportProgress&)>;
using CSVImportCancelQuery = std::function<bool()>;

// Reads a file in the export's format back into trees. The delimiter is TAB when the file name's
// extension is "tsv" (any case), else a comma. The file is read a window of a few MiB at a time,
// its rows decoded on one worker per active processor while the rows before are put in the tree.
CSVImportOutcome importFromCSV(const std::string& path, const CSVImportProgressHandler& onProgress = {},
                               const CSVImportCancelQuery& isCancelled = {});

// The same over bytes already in memory; `workers` 0 means one per active processor, `windowBytes`
// 0 the usual window.
CSVImportOutcome importFromCSVData(std::string_view data, char delimiter,
                                   const CSVImportProgressHandler& onProgress = {},
                                   const CSVImportCancelQuery& isCancelled = {}, int workers = 0,
                                   size_t windowBytes = 0);

// Wall-clock fields YYYY?MM?DD?HH?MM?SS at fixed positions, read in the local zone, as a packed date;
// anything unreadable, or a date no clock shows, gives the packed 1970-01-01 00:00:00 UTC. (A row
// whose date field is such is no row.)
int32_t parseFixedWidthDate(std::string_view field);

}  // namespace zelvane

#pragma once

#include <QObject>

#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

namespace zelvane {

class FileTypeStatistics;
class Preferences;

// The per-extension totals and colour ranks of the shown roots, computed in the background and
// handed to the window's file-type statistics. A newer request supersedes a running one, whose
// result is then never applied.
//
// GUI thread only; the job reads the tree through its atomic accessors while live monitoring
// changes nodes on this thread.
class ExtensionStatsJob final : public QObject {
    Q_OBJECT
public:
    ExtensionStatsJob(FileTypeStatistics& fileTypes, const Preferences& preferences, QObject* parent = nullptr);

    // New roots are shown: the table starts again with no rows displayed, sorted by allocated
    // size, and the colour ranks are not ready until these roots' arrive, even when a new root
    // reuses an old one's address. What their scan counted (`counted`) is taken at once when it
    // is for these roots and ranked as the preferences now say.
    void restartFor(const std::vector<RootRef>& roots, std::optional<CountedFileTypes> counted = std::nullopt);
    // The shown roots changed in place: the table keeps its sort and the treemap its colours
    // until the new rows arrive.
    void recompute(const std::vector<RootRef>& roots, bool keepColors = false);
    // Files of the shown roots were deleted: the table's rows are counted again without them,
    // while the treemap keeps its colours, and so its boxes, where the deleted ones are outlined
    // (new colours would lay it out again without them).
    void recountAfterDeletions(const std::vector<RootRef>& roots);
    // The colour ranks were computed for exactly these root objects.
    bool ranksAreFor(const std::vector<RootRef>& roots) const;
    // Rows counted with the ranks are still to be handed to the table.
    bool rowsPending() const { return rowsPending_ && jobs_.isCurrent(*rowsPending_); }
    // How the preferences now rank the file types.
    FileTypeCounting counting() const;

private:
    void apply(const std::vector<RootRef>& roots, const ExtensionStatsResult& result, bool keepColors);

    FileTypeStatistics& fileTypes_;
    const Preferences& preferences_;
    JobGeneration jobs_;
    std::optional<uint64_t> rowsPending_;  // the generation whose rows are on their way
};

}  // namespace zelvane

#pragma once

#include <QObject>

#include <vector>

#include "ZelvaneMac/Core/FileTypes/FileTypesSortKey.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class TreeRetirement;

// The per-extension totals of the shown roots, the palette slot of each extension, and what the
// file-type table shows of them. The rows are computed in the background; `colorRankRoots` names
// the root objects the ranks were computed for, so a treemap of other roots never takes them.
// Main thread only.
class FileTypeStatistics final : public QObject {
    Q_OBJECT
public:
    explicit FileTypeStatistics(const TreeRetirement& retirement, QObject* parent = nullptr);
    // Goes up with every computation of the rows (or their clearing for new roots): the table
    // reloads for a new one even when its rows equal the last.
    int generation() const { return generation_; }
    void renew();
    void dropNodesOutside(const KeptTrees& kept) { setExtensionColorRankRoots(kept.keep(extensionColorRankRoots_)); }


    const std::vector<ExtensionStats>& extensionStats() const { return extensionStats_; }
    void setExtensionStats(const std::vector<ExtensionStats>& value);
    const ColorRank& extensionColorRank() const { return extensionColorRank_; }
    void setExtensionColorRank(const ColorRank& value);
    const std::vector<ExtensionStats>& extensionPanelDisplayed() const { return extensionPanelDisplayed_; }
    void setExtensionPanelDisplayed(const std::vector<ExtensionStats>& value);
    FileTypesSortKey extensionPanelSortKey() const { return extensionPanelSortKey_; }
    void setExtensionPanelSortKey(FileTypesSortKey value) { extensionPanelSortKey_ = value; }
    const NodeList& extensionColorRankRoots() const { return extensionColorRankRoots_; }
    void setExtensionColorRankRoots(const NodeList& value);

signals:
    void extensionStatsChanged(const std::vector<ExtensionStats>& value);
    void extensionColorRankChanged(const ColorRank& value);
    void extensionColorRankRootsChanged(const NodeList& value);
    void renewed();

private:
    std::vector<ExtensionStats> extensionStats_;
    ColorRank extensionColorRank_;
    std::vector<ExtensionStats> extensionPanelDisplayed_;
    FileTypesSortKey extensionPanelSortKey_ = FileTypesSortKey::allocated;
    NodeList extensionColorRankRoots_;
    int generation_ = 0;
};

}  // namespace zelvane

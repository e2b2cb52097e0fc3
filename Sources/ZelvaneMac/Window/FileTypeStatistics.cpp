#include "ZelvaneMac/Window/FileTypeStatistics.hpp"

#include "ZelvaneMac/Window/AssignIfChanged.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"

namespace zelvane {

FileTypeStatistics::FileTypeStatistics(const TreeRetirement& retirement, QObject* parent) : QObject(parent) {
    connect(&retirement, &TreeRetirement::treesRetiring, this, &FileTypeStatistics::dropNodesOutside);
}

void FileTypeStatistics::renew() {
    ++generation_;
    emit renewed();
}

void FileTypeStatistics::setExtensionStats(const std::vector<ExtensionStats>& value) {
    if (assignIfChanged(extensionStats_, value)) emit extensionStatsChanged(extensionStats_);
}

void FileTypeStatistics::setExtensionColorRank(const ColorRank& value) {
    if (assignIfChanged(extensionColorRank_, value)) emit extensionColorRankChanged(extensionColorRank_);
}

void FileTypeStatistics::setExtensionPanelDisplayed(const std::vector<ExtensionStats>& value) {
    extensionPanelDisplayed_ = value;
}

void FileTypeStatistics::setExtensionColorRankRoots(const NodeList& value) {
    if (assignIfChanged(extensionColorRankRoots_, value))
        emit extensionColorRankRootsChanged(extensionColorRankRoots_);
}

}  // namespace zelvane

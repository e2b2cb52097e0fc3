#include "ZelvaneMac/Window/ExtensionStatsJob.hpp"

#include <span>

#include <QTimer>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"

namespace zelvane {

namespace {

NodeList rawNodes(const std::vector<RootRef>& roots) {
    NodeList out;
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

bool countedFor(const CountedFileTypes& counted, const std::vector<RootRef>& roots) {
    if (counted.roots.size() != roots.size()) return false;
    for (size_t i = 0; i < roots.size(); ++i)
        if (counted.roots[i] != roots[i].get()) return false;
    return true;
}

}  // namespace

ExtensionStatsJob::ExtensionStatsJob(FileTypeStatistics& fileTypes, const Preferences& preferences, QObject* parent)
    : QObject(parent), fileTypes_(fileTypes), preferences_(preferences) {}

void ExtensionStatsJob::restartFor(const std::vector<RootRef>& roots, std::optional<CountedFileTypes> counted) {
    FileTypeStatistics& stats = fileTypes_;
    stats.renew();
    stats.setExtensionPanelDisplayed({});
    stats.setExtensionPanelSortKey(FileTypesSortKey::allocated);
    stats.setExtensionColorRankRoots({});
    if (counted && !roots.empty() && countedFor(*counted, roots) && counted->counting == counting()) {
        // The colours at once, for the treemap's first picture; the table's rows (thousands at
        // times) a moment later, so that the window's first paint of the new roots, a turn of
        // its own, is not held up by them as well.
        const uint64_t generation = jobs_.next();
        rowsPending_ = generation;
        stats.setExtensionColorRank(counted->stats.colorRank);
        stats.setExtensionColorRankRoots(rawNodes(roots));
        QTimer::singleShot(1, this, [this, generation, rows = std::move(counted->stats.all)] {
            if (!jobs_.isCurrent(generation)) return;
            rowsPending_.reset();
            fileTypes_.setExtensionStats(rows);
            fileTypes_.renew();
        });
        return;
    }
    recompute(roots);
}

FileTypeCounting ExtensionStatsJob::counting() const {
    return {preferences_.value(PreferenceKeys::treemapColorBySize), TreemapColorSettings::storedExtensionLists(preferences_)};
}

void ExtensionStatsJob::recountAfterDeletions(const std::vector<RootRef>& roots) {
    recompute(roots, ranksAreFor(roots));
}

void ExtensionStatsJob::recompute(const std::vector<RootRef>& roots, bool keepColors) {
    if (roots.empty()) {
        jobs_.supersede();
        fileTypes_.setExtensionStats({});
        fileTypes_.setExtensionColorRank({});
        return;
    }
    const QUuid token = DebugTimingLog::begin(QStringLiteral("Extension stats"));
    FileTypeCounting ranked = counting();
    const bool colorBySize = ranked.colorBySize;
    const QStringList lists = std::move(ranked.extensionLists);
    // The job holds the roots, so the tree outlives it even when a rescan replaces it meanwhile.
    // The timing entry is closed in the job: an overtaken computation still ends its entry.
    runInBackground(
        this, jobs_,
        [roots, colorBySize, lists, token] {
            ExtensionStatsResult result = computeExtensionStats(std::span<const RootRef>(roots), colorBySize, lists);
            DebugTimingLog::end(token, QString::number(result.all.size()) + QStringLiteral(" extensions"));
            return result;
        },
        [this, roots, keepColors](ExtensionStatsResult result) {
            apply(roots, result, keepColors && ranksAreFor(roots));
        });
}

void ExtensionStatsJob::apply(const std::vector<RootRef>& roots, const ExtensionStatsResult& result, bool keepColors) {
    FileTypeStatistics& stats = fileTypes_;
    stats.setExtensionStats(result.all);
    if (!keepColors) {
        stats.setExtensionColorRank(result.colorRank);
        stats.setExtensionColorRankRoots(rawNodes(roots));
    }
    // A new generation: the one taken when the computation began came before these rows, which
    // the table would otherwise never show.
    stats.renew();
}

bool ExtensionStatsJob::ranksAreFor(const std::vector<RootRef>& roots) const {
    const NodeList& ranked = fileTypes_.extensionColorRankRoots();
    if (ranked.size() != roots.size()) return false;
    for (size_t i = 0; i < ranked.size(); ++i)
        if (ranked[i] != roots[i].get()) return false;
    return true;
}

}  // namespace zelvane

#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"

namespace zelvane {

// The copy of the scanned trees that the filter panel's texts let through, with the texts it was
// made with (as applied, not as typed). No copy while both texts are blank or nothing was
// scanned. A copy of more than `kEntriesFilteredInPlace` entries is made in the background: the
// roots shown until then stay, and a newer rebuild or a clear drops it. Main thread only.
class FilteredCopy final : public QObject {
    Q_OBJECT
public:
    struct Applied {
        QString includeText;
        QString excludeText;
        bool includeMatchEntirePath = true;
    };

    static constexpr int64_t kEntriesFilteredInPlace = 100'000;

    using QObject::QObject;

    const Applied& applied() const { return applied_; }
    void setApplied(const Applied& texts) { applied_ = texts; }
    const std::optional<std::vector<RootRef>>& roots() const { return roots_; }
    // Makes the copy of `scanRoots` for the applied texts.
    void rebuild(const std::vector<RootRef>& scanRoots);
    void clear();

signals:
    // A new copy, or none.
    void rootsChanged();

private:
    void setRoots(std::optional<std::vector<RootRef>> roots);

    Applied applied_;
    JobGeneration jobs_;
    std::optional<std::vector<RootRef>> roots_;
};

}  // namespace zelvane

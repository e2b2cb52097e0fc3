#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace zelvane {

// The outline's expansion and selection captured before a rescan, by path, so that they can be
// found again in the new tree.
struct TreeRestoreState {
    QStringList expandedPaths;
    QStringList expandedGroupParentPaths;
    QSet<QString> selectedPaths;
    bool operator==(const TreeRestoreState&) const = default;
};

}  // namespace zelvane

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
    // The folders whose group row ("[N Files in …]") was selected: the outline makes its group
    // rows anew for each tree, so they are found again by their folder.
    QSet<QString> selectedGroupParentPaths;
    bool operator==(const TreeRestoreState&) const = default;
};

}  // namespace zelvane

#pragma once

#include <QObject>

#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

// The announcement that trees are about to be released. Every holder of node pointers connects
// itself when it is made and drops its pointers outside the trees still kept; the scan road
// announces, and every tree but `kept`'s may be freed once the announcement returns. Main thread
// only.
class TreeRetirement final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void announce(const KeptTrees& kept);

signals:
    void treesRetiring(const zelvane::KeptTrees& kept);
};

}  // namespace zelvane

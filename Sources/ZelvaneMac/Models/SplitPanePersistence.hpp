#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace zelvane {

// How a split view's pane frames are remembered: under "Split Pane Frames " + the split's full
// name (base name and display signature), a list with one text per pane in pane order, each
// "x, y, width, height" in points.
QString splitPaneFramesKey(const QString& fullName);
QStringList splitPaneFrameTexts(const std::vector<int>& paneExtents, bool sideBySide, int crossExtent, int handleWidth);

// One field of one pane's stored frame (0 x, 1 y, 2 width, 3 height): exactly two texts must be
// stored; fields are split at ",", empty pieces dropped, spaces and tabs trimmed, and the field must
// be a decimal number in its entirety. None otherwise.
std::optional<double> storedPaneField(const QVariant& stored, int pane, int field);
inline std::optional<double> persistedBottomHeight(const QVariant& stored) { return storedPaneField(stored, 1, 3); }

}  // namespace zelvane

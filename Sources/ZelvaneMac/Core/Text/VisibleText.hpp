#pragma once

#include <QString>
#include <Qt>

namespace zelvane {

// A file name or path as the views show it: control characters (a line break in a name, an
// escape) become their visible control pictures and the invisible direction marks and overrides
// become U+FFFD, so that a name can neither hide part of itself nor make its letters read in
// another order ("gpj.exe" shown as "exe.jpg"). Each replaced unit is one unit, so match ranges
// found in the real name still fall on the same characters.
QString withVisibleControlCharacters(QString text);

// Text as a right-to-left window shows it in its written order: a path, size or date (first strong
// character left to right, or none at all) gets a left-to-right mark in front, so that its slashes,
// units and signs stay where they are written ("/tmp/x" would read "tmp/x/", "3.0 MB" "MB 3.0").
// Unchanged in a left-to-right window and for text that starts right to left.
QString inItsOwnDirection(const QString& text, Qt::LayoutDirection window);

}  // namespace zelvane

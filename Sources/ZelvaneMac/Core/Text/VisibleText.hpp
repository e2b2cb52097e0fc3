#pragma once

#include <QString>

namespace zelvane {

// A file name or path as the views show it: control characters (a line break in a name, an
// escape) become their visible control pictures and the invisible direction marks and overrides
// become U+FFFD, so that a name can neither hide part of itself nor make its letters read in
// another order ("gpj.exe" shown as "exe.jpg"). Each replaced unit is one unit, so match ranges
// found in the real name still fall on the same characters.
QString withVisibleControlCharacters(QString text);

}  // namespace zelvane

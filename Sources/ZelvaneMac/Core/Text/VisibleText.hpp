#pragma once

#include <QString>
#include <Qt>

class QFontMetrics;

namespace zelvane {

// A file name or path as the views show it: control characters (a line break in a name, an
// escape) become their visible control pictures and the invisible direction marks and overrides
// become U+FFFD, so that a name can neither hide part of itself nor make its letters read in
// another order ("gpj.exe" shown as "exe.jpg"). Each replaced unit is one unit, so match ranges
// found in the real name still fall on the same characters.
QString withVisibleControlCharacters(QString text);

// A file name or path as a window shows it: with its control characters made visible as above
// and, in a right-to-left interface, set apart from the text around it between U+2068 and U+2069
// (its own first strong character giving its direction), so that it keeps its written order:
// "/tmp/x" would read "tmp/x/", "back\slash." ".back\slash", and a name ending in a byte that
// is not UTF-8 would show its U+FFFD first. Unchanged but for the control characters in a
// left-to-right interface. For showing only: what is copied, exported or compared takes the name
// itself.
QString shownName(const QString& name, Qt::LayoutDirection interface);
// The same in the application's layout direction.
QString shownName(const QString& name);
// Whether `shownName` sets names apart: in a right-to-left interface. Text positions found in the
// name itself then fall one unit later in what is shown.
bool namesShownIsolated(Qt::LayoutDirection interface);
bool namesShownIsolated();
// The name filters of a file dialog ("Images (*.png);;All files (*)") as a right-to-left dialog
// shows them: a left-to-right mark before each list of patterns keeps "(*.png)" from reading
// "(png.*)". The patterns themselves are left as they are, so the dialog still reads them.
QString shownNameFilters(const QString& filters, Qt::LayoutDirection interface);
QString shownNameFilters(const QString& filters);

// The first letters of a name, typed to find its row, as the shown name begins with them.
QString shownNameStart(const QString& typed);

// Text as a right-to-left window shows it in its written order: a path, size or date (first strong
// character left to right, or none at all) gets a left-to-right mark in front, so that its slashes,
// units and signs stay where they are written ("/tmp/x" would read "tmp/x/", "3.0 MB" "MB 3.0").
// Unchanged in a left-to-right window and for text that starts right to left.
QString inItsOwnDirection(const QString& text, Qt::LayoutDirection window);

// `text` shortened to `width` pixels of `metrics` with an ellipsis at the end it reads to: on the
// right of a left-to-right text (a date, a Latin name), on the left of a right-to-left one,
// whatever the direction of the view around it, which would otherwise put the ellipsis at its own
// end, away from where the text was cut. A text that fits is returned as it is; a shortened one is
// set apart in an isolate of its own direction (a name shown isolated, in that of its content).
QString elidedWhereItEnds(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace zelvane

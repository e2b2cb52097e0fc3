#pragma once

#include <QFont>
#include <QPalette>

namespace zelvane {

// The text styles the windows use, scaled from the application's font so that they follow the
// desktop's size: body is the application font itself, callout a little smaller, caption smaller
// still, title-2 larger.
QFont calloutFont();
QFont captionFont();
QFont title2Font(QFont::Weight weight = QFont::Normal);

// The colour of secondary text (hints, captions) for the given palette.
QColor secondaryTextColor(const QPalette& palette);

}  // namespace zelvane

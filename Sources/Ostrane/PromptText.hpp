#pragma once

#include <QFont>
#include <QString>

namespace ostrane {

// sudo's prompt as the dialog shows it. It names the user, and a name may hold direction controls
// (marks, embeddings, overrides, isolates) that would make "[sudo] password for anna: " read in
// another order: each shows as U+FFFD instead, and every other control character (a line break,
// an escape) as its visible picture, so the prompt reads as written. The main program shows
// names the same way.
QString withVisibleControls(QString text);

// `text` in lines of at most `width` pixels of `font`, broken between words where it can and
// anywhere where it must, and at most `lines` of them: when more of it follows, the last line
// ends in an ellipsis. However long the prompt, the dialog keeps its field and buttons on screen.
QString promptLines(const QString& text, const QFont& font, int width, int lines);

}  // namespace ostrane

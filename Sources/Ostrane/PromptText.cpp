#include "Ostrane/PromptText.hpp"

#include <QFontMetrics>
#include <QStringList>
#include <QTextLayout>

namespace ostrane {

QString withVisibleControls(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        const bool direction = u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
                               (u >= 0x2066 && u <= 0x2069);
        if (direction) c = QChar(char16_t(0xFFFD));
        else if (u < 0x20) c = QChar(char16_t(0x2400 + u));
        else if (u == 0x7F) c = QChar(char16_t(0x2421));
    }
    return text;
}

QString promptLines(const QString& text, const QFont& font, int width, int lines) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList kept;
    bool more = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        if (kept.size() == lines) {
            more = true;
            break;
        }
        line.setLineWidth(width);
        kept << text.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    // A line broken between words ends in the blank it was broken at; the prompt's own end stays.
    for (qsizetype i = 0; i + 1 < kept.size() || (more && i < kept.size()); ++i)
        while (kept[i].endsWith(QLatin1Char(' '))) kept[i].chop(1);
    if (more && !kept.isEmpty()) {
        const QFontMetrics metrics(font);
        const QString ellipsis(QChar(0x2026));
        QString& last = kept.last();
        while (!last.isEmpty() && metrics.horizontalAdvance(last + ellipsis) > width) last.chop(1);
        last += ellipsis;
    }
    return kept.join(QLatin1Char('\n'));
}

}  // namespace ostrane

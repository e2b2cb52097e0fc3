#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

QString withVisibleControlCharacters(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x20) text[i] = QChar(char16_t(0x2400 + u));
        else if (u == 0x7F) text[i] = QChar(char16_t(0x2421));
        else if (u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            text[i] = QChar(char16_t(0xFFFD));
    }
    return text;
}

QString inItsOwnDirection(const QString& text, Qt::LayoutDirection window) {
    if (window != Qt::RightToLeft || text.isEmpty() || text.isRightToLeft()) return text;
    return QChar(0x200E) + text;
}

}  // namespace zelvane

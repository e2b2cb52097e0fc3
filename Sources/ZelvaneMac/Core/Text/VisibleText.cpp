#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QStringList>

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

namespace {

constexpr char16_t kLeftToRightIsolate = 0x2066;
constexpr char16_t kRightToLeftIsolate = 0x2067;
constexpr char16_t kFirstStrongIsolate = 0x2068;
constexpr char16_t kPopDirectionalIsolate = 0x2069;

bool startsIsolated(const QString& text) {
    return text.size() >= 2 && text.front() == QChar(kFirstStrongIsolate) && text.back() == QChar(kPopDirectionalIsolate);
}

}  // namespace

bool namesShownIsolated(Qt::LayoutDirection interface) { return interface == Qt::RightToLeft; }

bool namesShownIsolated() { return namesShownIsolated(QGuiApplication::layoutDirection()); }

QString shownName(const QString& name, Qt::LayoutDirection interface) {
    QString shown = withVisibleControlCharacters(name);
    if (!namesShownIsolated(interface) || shown.isEmpty()) return shown;
    return QChar(kFirstStrongIsolate) + shown + QChar(kPopDirectionalIsolate);
}

QString shownName(const QString& name) { return shownName(name, QGuiApplication::layoutDirection()); }

QString shownNameFilters(const QString& filters, Qt::LayoutDirection interface) {
    if (!namesShownIsolated(interface)) return filters;
    QStringList shown;
    for (QString filter : filters.split(QStringLiteral(";;"))) {
        const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
        if (open > 0 && filter.endsWith(QLatin1Char(')')) && filter.at(open - 1) != QChar(0x200E)) filter.insert(open, QChar(0x200E));
        shown << filter;
    }
    return shown.join(QStringLiteral(";;"));
}

QString shownNameFilters(const QString& filters) { return shownNameFilters(filters, QGuiApplication::layoutDirection()); }

QString shownNameStart(const QString& typed) {
    return namesShownIsolated() && !typed.isEmpty() ? QChar(kFirstStrongIsolate) + typed : typed;
}

QString inItsOwnDirection(const QString& text, Qt::LayoutDirection window) {
    // A name already set apart keeps its own direction.
    if (window != Qt::RightToLeft || text.isEmpty() || text.isRightToLeft() || startsIsolated(text)) return text;
    return QChar(0x200E) + text;
}

QString elidedWhereItEnds(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString content = startsIsolated(text) ? text.mid(1, text.size() - 2) : text;
    const QString cut = metrics.elidedText(content, Qt::ElideRight, width);
    return QChar(content.isRightToLeft() ? kRightToLeftIsolate : kLeftToRightIsolate) + cut + QChar(kPopDirectionalIsolate);
}

}  // namespace zelvane

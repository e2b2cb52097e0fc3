#include "ZelvaneMac/Models/FilterFieldHistory.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

QStringList FilterFieldHistory::recording(const QString& text, const QStringList& history) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return history;
    QStringList out = history;
    for (qsizetype i = 0; i < out.size(); ++i)
        if (out[i].compare(trimmed, Qt::CaseInsensitive) == 0) {
            out.removeAt(i);
            break;
        }
    out.prepend(trimmed);
    while (out.size() > kMaxEntries) out.removeLast();
    return out;
}

QString FilterFieldHistory::encode(const QStringList& history) {
    const QByteArray json = QJsonDocument(QJsonArray::fromStringList(history)).toJson(QJsonDocument::Compact);
    return json.isEmpty() ? QStringLiteral("[]") : QString::fromUtf8(json);
}

QStringList FilterFieldHistory::decode(const QString& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
    if (!doc.isArray()) return {};
    QStringList out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return {};
        out.push_back(v.toString());
    }
    return out;
}

QList<QPoint> FilterSyntaxHighlighter::highlightedRanges(const QString& text) {
    static const QRegularExpression regex(
        QStringLiteral(R"RE("[^"]*"|((?:^|(?<=\s))(?:(?:NAMELEN|PATHLEN|DUPSIZE|DUPCOUNT|[as])(?:==|<>|!=|>=|<=|=|>|<)|(?:==|<>|!=|>=|<=|=|>|<|/))\S+))RE"),
        QRegularExpression::CaseInsensitiveOption);
    QList<QPoint> out;
    auto it = regex.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedStart(1) >= 0) out.push_back(QPoint(int(m.capturedStart(1)), int(m.capturedLength(1))));
    }
    return out;
}

QString maxFilesRawValue(MaxFilesOption option) {
    switch (option) {
    case MaxFilesOption::all: return QStringLiteral("ALL");
    case MaxFilesOption::oneHundred: return QStringLiteral("100");
    case MaxFilesOption::oneThousand: return QStringLiteral("1,000");
    case MaxFilesOption::tenThousand: return QStringLiteral("10,000");
    case MaxFilesOption::hundredThousand: return QStringLiteral("100,000");
    }
    return QStringLiteral("1,000");
}

std::optional<MaxFilesOption> maxFilesOptionFromRaw(const QString& raw) {
    for (MaxFilesOption o : kAllMaxFilesOptions)
        if (raw == maxFilesRawValue(o)) return o;
    return std::nullopt;
}

MaxFilesOption maxFilesOptionOrDefault(const QString& raw) {
    return maxFilesOptionFromRaw(raw).value_or(MaxFilesOption::oneThousand);
}

std::optional<int> maxFilesCap(MaxFilesOption option) {
    switch (option) {
    case MaxFilesOption::all: return std::nullopt;
    case MaxFilesOption::oneHundred: return 100;
    case MaxFilesOption::oneThousand: return 1000;
    case MaxFilesOption::tenThousand: return 10000;
    case MaxFilesOption::hundredThousand: return 100000;
    }
    return 1000;
}

QString maxFilesDisplayLabel(MaxFilesOption option) {
    const std::optional<int> cap = maxFilesCap(option);
    if (!cap) return localized("ALL");
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const QString text = locale.toString(*cap);
    return text.isEmpty() ? maxFilesRawValue(option) : text;
}

}  // namespace zelvane

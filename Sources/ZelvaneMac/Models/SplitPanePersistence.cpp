#include "ZelvaneMac/Models/SplitPanePersistence.hpp"

#include <charconv>
#include <string>

namespace zelvane {

QString splitPaneFramesKey(const QString& fullName) { return QStringLiteral("Split Pane Frames ") + fullName; }

QStringList splitPaneFrameTexts(const std::vector<int>& extents, bool sideBySide, int cross, int handleWidth) {
    QStringList out;
    int pos = 0;
    for (int e : extents) {
        const int x = sideBySide ? pos : 0, y = sideBySide ? 0 : pos;
        const int w = sideBySide ? e : cross, h = sideBySide ? cross : e;
        out.push_back(QStringLiteral("%1, %2, %3, %4").arg(x).arg(y).arg(w).arg(h));
        pos += e + handleWidth;
    }
    return out;
}

std::optional<double> storedPaneField(const QVariant& stored, int pane, int field) {
    if (stored.typeId() != QMetaType::QStringList && stored.typeId() != QMetaType::QVariantList) return std::nullopt;
    const QVariantList list = stored.toList();
    if (list.size() != 2 || pane < 0 || pane > 1) return std::nullopt;
    for (const QVariant& v : list)
        if (v.typeId() != QMetaType::QString) return std::nullopt;
    QStringList pieces;
    for (const QString& p : list[pane].toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        qsizetype b = 0, e = p.size();
        while (b < e && (p[b] == QLatin1Char(' ') || p[b] == QLatin1Char('\t'))) ++b;
        while (e > b && (p[e - 1] == QLatin1Char(' ') || p[e - 1] == QLatin1Char('\t'))) --e;
        pieces.push_back(p.mid(b, e - b));
    }
    if (field < 0 || field >= pieces.size()) return std::nullopt;
    const std::string text = pieces[field].toStdString();
    double value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

}  // namespace zelvane

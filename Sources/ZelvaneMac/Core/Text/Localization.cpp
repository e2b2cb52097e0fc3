#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

QString localized(const char* englishKey) { return QString::fromUtf8(englishKey); }

QString fillPlaceholders(QString format, std::initializer_list<QString> values) {
    QString out;
    qsizetype from = 0;
    auto it = values.begin();
    while (true) {
        qsizetype at = format.indexOf(QLatin1String("%@"), from);
        if (at < 0 || it == values.end()) break;
        out += QStringView(format).mid(from, at - from);
        out += *it++;
        from = at + 2;
    }
    out += QStringView(format).mid(from);
    return out;
}

}  // namespace zelvane

#include "ZelvaneMac/Core/Text/ToolTipText.hpp"

#include <QTextDocument>

namespace zelvane {

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text)) return text;
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<p style='white-space:pre'>") + html + QStringLiteral("</p>");
}

}  // namespace zelvane

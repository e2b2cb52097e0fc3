#include "ZelvaneMac/Window/WindowTitle.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

QString windowTitle(const QString& rootLabel, const QString& selectionKindMarker) {
    QString title = QStringLiteral("ZelvaneMac");
    if (rootLabel.isEmpty()) return title;
    title += QStringLiteral(" \u2014 ");
    if (!selectionKindMarker.isEmpty()) title += selectionKindMarker + QLatin1Char(' ');
    return title + withVisibleControlCharacters(rootLabel);
}

}  // namespace zelvane

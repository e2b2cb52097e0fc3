#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"

#include <QApplication>

namespace zelvane {

namespace {

QFont scaled(double factor) {
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * factor);
    else font.setPixelSize(std::max(1, int(font.pixelSize() * factor + 0.5)));
    return font;
}

}  // namespace

QFont calloutFont() { return scaled(12.0 / 13.0); }
QFont captionFont() { return scaled(10.0 / 13.0); }

QFont title2Font(QFont::Weight weight) {
    QFont font = scaled(17.0 / 13.0);
    font.setWeight(weight);
    return font;
}

QColor secondaryTextColor(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55f);
    return color;
}

}  // namespace zelvane

#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QTextLayout>

#include <memory>

#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {

namespace {

bool paletteIsDark() { return QApplication::palette().color(QPalette::Base).lightness() < 128; }

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(float(alpha));
    return c;
}

}  // namespace

QColor resultTableAccentColor() { return QApplication::palette().color(QPalette::Highlight); }
QColor secondaryTextColor() { return QApplication::palette().color(QPalette::PlaceholderText); }
QColor deletedTextColor() { return QColor(255, 0, 0); }

QColor compressedTextColor() {
    if (!paletteIsDark()) return resultTableAccentColor();
    return darkenColor(0, 128, 128, 1.5625).toQColor();
}

QColor searchHighlightColor() { return paletteIsDark() ? QColor(112, 190, 255) : QColor(56, 56, 255); }

namespace {

// One line of `text` with the characters of `ranges` bold in `matchColor`, laid out unbounded.
struct MarkedLine {
    QTextLayout layout;
    QTextLine line;
    MarkedLine(const QString& text, const QFont& font, const QList<QPoint>& ranges, const QColor& matchColor)
        : layout(text, font) {
        QList<QTextLayout::FormatRange> formats;
        for (const QPoint& r : ranges) {
            if (r.x() < 0 || r.y() <= 0 || r.x() >= text.size()) continue;
            QTextLayout::FormatRange f;
            f.start = r.x();
            f.length = int(std::min<qsizetype>(r.y(), text.size() - r.x()));
            f.format.setForeground(matchColor);
            f.format.setFontWeight(QFont::Bold);
            formats.push_back(f);
        }
        layout.setFormats(formats);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        line = layout.createLine();
        layout.endLayout();
    }
    qreal width() const { return line.isValid() ? line.naturalTextWidth() : 0; }
};

}  // namespace

void paintHighlightedText(QPainter& painter, const QRect& rect, const QString& text, const QList<QPoint>& ranges,
                          const QColor& textColor, const QColor& matchColor, Qt::Alignment alignment) {
    // Bold characters are wider: the text is cut at its end, with an ellipsis, where the marked
    // line itself no longer fits, not where the plain one would.
    auto marked = std::make_unique<MarkedLine>(text, painter.font(), ranges, matchColor);
    if (marked->width() > rect.width()) {
        // The ellipsis goes where the text reads to its end: a name not set apart already is put
        // in an isolate of its own direction, which the ellipsis then follows.
        const bool isolated = text.startsWith(QChar(0x2068));
        const QString open = isolated ? QString() : QString(QChar(text.isRightToLeft() ? 0x2067 : 0x2066));
        const QString close = isolated ? QString() : QString(QChar(0x2069));
        QList<QPoint> shifted = ranges;
        for (QPoint& r : shifted) r.rx() += open.size();
        const auto shortened = [&](qsizetype kept) { return open + text.left(kept) + QChar(0x2026) + close; };
        qsizetype fits = 0, tooLong = text.size();
        while (tooLong - fits > 1) {
            const qsizetype mid = (fits + tooLong) / 2;
            if (MarkedLine(shortened(mid), painter.font(), shifted, matchColor).width() <= rect.width())
                fits = mid;
            else
                tooLong = mid;
        }
        marked = std::make_unique<MarkedLine>(shortened(fits), painter.font(), shifted, matchColor);
    }
    if (!marked->line.isValid()) return;
    const qreal w = marked->width();
    qreal x = rect.left();
    if (alignment & Qt::AlignRight) x = rect.right() - w;
    else if (alignment & Qt::AlignHCenter) x = rect.left() + (rect.width() - w) / 2;
    const qreal y = rect.top() + (rect.height() - marked->line.height()) / 2;
    painter.save();
    painter.setPen(textColor);
    painter.setClipRect(rect, Qt::IntersectClip);
    marked->layout.draw(&painter, QPointF(x, y));
    painter.restore();
}

ResultTableDelegate::ResultTableDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QSize ResultTableDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    s.setHeight(24);
    return s;
}

void ResultTableDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = inItsOwnDirection(option->text, option->direction);
    if (option->icon.isNull() && iconProvider_) {
        QIcon icon = providedIcon(index);
        if (!icon.isNull()) {
            option->icon = icon;
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->decorationSize = QSize(16, 16);
        }
    }
    const auto tone = TextTone(index.data(ResultTableRole::textTone).toInt());
    QColor color;
    switch (tone) {
    case TextTone::secondary: color = secondaryTextColor(); break;
    case TextTone::compressed: color = compressedTextColor(); break;
    case TextTone::deleted:
        color = deletedTextColor();
        option->font.setStrikeOut(true);
        break;
    case TextTone::normal: break;
    }
    if (color.isValid()) {
        option->palette.setColor(QPalette::Text, color);
        if (tone == TextTone::deleted) option->palette.setColor(QPalette::HighlightedText, color);
    }
}

void ResultTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QRect r = option.rect;
    if (index.data(ResultTableRole::sortedColumn).toBool())
        painter->fillRect(r, withAlpha(resultTableAccentColor(), 0.08));

    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QVariant ranges = index.data(ResultTableRole::highlightRanges);
    const QVariant fraction = index.data(ResultTableRole::barFraction);

    if (fraction.isValid() || (ranges.isValid() && !ranges.value<QList<QPoint>>().isEmpty())) {
        // Draw the row background (selection) without text, then the band and the text ourselves.
        const QString text = opt.text;
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        if (fraction.isValid()) {
            const double f = std::clamp(fraction.toDouble(), 0.0, 1.0);
            const int w = int(std::lround(r.width() * f));
            const bool fromRight = index.data(ResultTableRole::barFromRight).toBool();
            const QRect band(fromRight ? r.right() + 1 - w : r.left(), r.top(), w, r.height());
            painter->fillRect(band, withAlpha(resultTableAccentColor(), 0.25));
        }
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        if (fraction.isValid()) textRect = r.adjusted(2, 0, -2, 0);
        const bool selected = opt.state & QStyle::State_Selected;
        QColor color = opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        painter->save();
        painter->setFont(opt.font);
        if (ranges.isValid() && !ranges.value<QList<QPoint>>().isEmpty()) {
            // The ranges count in the model's text; a direction mark put in front shifts them.
            QList<QPoint> shifted = ranges.value<QList<QPoint>>();
            const int markLength = int(text.size() - index.data(Qt::DisplayRole).toString().size());
            for (QPoint& p : shifted) p.rx() += markLength;
            // A selected row draws its matches in the selection's text colour, still bold.
            paintHighlightedText(*painter, textRect, text, shifted, color, selected ? color : searchHighlightColor(),
                                 opt.displayAlignment);
        } else {
            painter->setPen(color);
            const QString shown = elidedWhereItEnds(text, QFontMetrics(opt.font), textRect.width());
            painter->drawText(textRect, int(opt.displayAlignment), shown);
        }
        painter->restore();
    } else {
        // The style would shorten the text at its logical end with the ellipsis on the side the
        // view reads to: shortened here instead, the ellipsis where the text stops.
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
        const int room = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).width() - 2 * margin - 1;
        const QString shown = elidedWhereItEnds(opt.text, QFontMetrics(opt.font), room);
        if (shown != opt.text) {
            opt.text = shown;
            opt.textElideMode = Qt::ElideNone;
        }
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    }
    if (showHorizontalLines_) {
        painter->save();
        painter->setPen(QApplication::palette().color(QPalette::Mid));
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
}

}  // namespace zelvane

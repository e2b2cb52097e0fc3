#pragma once

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QStyledItemDelegate>

#include <functional>

namespace zelvane {

// The colours shared by the result tables, taken from the application palette when asked, so a
// change of light and dark appearance is followed.
QColor resultTableAccentColor();
QColor secondaryTextColor();
// The name colour of compressed files: a light teal on dark backgrounds, the accent otherwise.
QColor compressedTextColor();
QColor deletedTextColor();

// The colour of search matches in rows that are not selected: a blue that reads on the table's
// background, lighter on dark ones.
QColor searchHighlightColor();

// Draws `text` in `rect` in `textColor`, cut at the end with an ellipsis when it does not fit, with
// the characters of `ranges` (start, length) bold in `matchColor`: the search matches of a name.
void paintHighlightedText(QPainter& painter, const QRect& rect, const QString& text, const QList<QPoint>& ranges,
                          const QColor& textColor, const QColor& matchColor, Qt::Alignment alignment);

// The cell painting of the result tables, driven by the roles of ResultTableRoles.hpp: the faint
// tint of the sorted column, the percent band, the text tones (secondary, compressed, deleted in
// red and struck through), highlighted matches, and optional horizontal grid lines. Icons come
// from `setIconProvider` when the model gives none.
class ResultTableDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ResultTableDelegate(QObject* parent = nullptr);
    void setShowHorizontalLines(bool on) { showHorizontalLines_ = on; }
    bool showHorizontalLines() const { return showHorizontalLines_; }
    void setIconProvider(std::function<QIcon(const QModelIndex&)> provider) { iconProvider_ = std::move(provider); }
    // The icon a cell without one of its model's is drawn with; none without a provider.
    QIcon providedIcon(const QModelIndex& index) const { return iconProvider_ ? iconProvider_(index) : QIcon(); }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    bool showHorizontalLines_ = false;
    std::function<QIcon(const QModelIndex&)> iconProvider_;
};

}  // namespace zelvane

#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/ColumnTable.hpp"
#include "ZelvaneMac/Models/DisplaySignature.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"

namespace zelvane {

void applyResultTableSettings(QAbstractItemView& view, ResultTableDelegate& delegate, bool altRowColors,
                              bool showHorizontalLines) {
    if (view.itemDelegate() != &delegate) view.setItemDelegate(&delegate);
    view.setAlternatingRowColors(altRowColors);
    if (delegate.showHorizontalLines() != showHorizontalLines) {
        delegate.setShowHorizontalLines(showHorizontalLines);
        view.viewport()->update();
    }
    if (auto* tree = qobject_cast<QTreeView*>(&view)) tree->setUniformRowHeights(true);
}

void setUpResultOutline(QTreeView& outline, ResultTableDelegate& delegate, const ColumnTable& columns,
                        bool altRowColors, bool showHorizontalLines, bool dragEnabled) {
    outline.setSelectionMode(QAbstractItemView::ExtendedSelection);
    outline.setSelectionBehavior(QAbstractItemView::SelectRows);
    outline.setDragDropMode(QAbstractItemView::DragOnly);
    outline.setAllColumnsShowFocus(true);
    applyResultTableSettings(outline, delegate, altRowColors, showHorizontalLines);
    outline.setDragEnabled(dragEnabled);

    QHeaderView* header = outline.header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setMinimumSectionSize(40);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    sizeColumnsToFitTitles(*header, columns);
}

void sizeColumnsToFitTitles(QHeaderView& header, const ColumnTable& columns) {
    // The widths were chosen for English titles in a narrower system font: a column starts at least
    // as wide as its title, in the interface language, with the sort arrow beside it, so that no
    // title is cut ("% of Parer").
    const QFontMetrics metrics(header.font());
    const int arrowAndMargins = 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header) +
                                header.style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, &header) + 8;
    for (int c = 0; c < columns.count(); ++c) {
        const QString title = localized(columns.title(c));
        const int titleWidth = title.isEmpty() ? 0 : metrics.horizontalAdvance(title) + arrowAndMargins;
        header.resizeSection(c, std::max(columns.width(c), titleWidth));
    }
}

bool autosaveColumnLayout(QHeaderView& header, const QString& baseName, Preferences& preferences, StoredSort sort) {
    const QString key = keyWithDisplaySignature(baseName);
    const QVariant stored = preferences.object(key);
    bool restored = false;
    if (stored.typeId() == QMetaType::QByteArray) {
        const int sortColumn = header.sortIndicatorSection();
        const Qt::SortOrder order = header.sortIndicatorOrder();
        restored = header.restoreState(stored.toByteArray());
        if (sort == StoredSort::keepGiven || !restored) header.setSortIndicator(sortColumn, order);
    }
    // Writes are gathered: a drag of a column edge resizes it many times a second.
    auto* timer = new QTimer(&header);
    timer->setSingleShot(true);
    timer->setInterval(300);
    Preferences* prefs = &preferences;
    QHeaderView* h = &header;
    QObject::connect(timer, &QTimer::timeout, h, [h, prefs, key] { prefs->setObject(key, h->saveState()); });
    QObject::connect(h, &QHeaderView::sectionResized, timer, qOverload<>(&QTimer::start));
    QObject::connect(h, &QHeaderView::sectionMoved, timer, qOverload<>(&QTimer::start));
    // A click on a header is one change, not a stream of them: stored at once, so that a window
    // closed right after it still keeps the order.
    QObject::connect(h, &QHeaderView::sortIndicatorChanged, h, [h, prefs, key, timer] {
        timer->stop();
        prefs->setObject(key, h->saveState());
    });
    return restored;
}

}  // namespace zelvane

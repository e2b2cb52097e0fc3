#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QEvent>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <vector>

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
    sizeColumnsToFit(*header, outline.font(), columns);
}

namespace {

// The widths were chosen for English titles in a narrower system font: a column needs at least
// its title, in the interface language, with the sort arrow beside it, so that no title is cut
// ("% of Parer", "röße Duplikate"), and its widest value with the cell's insets, so that no value
// is ("100…", "(Keine Erweit…").
std::vector<int> fittingWidths(const QHeaderView& header, const QFont& cellFont, const ColumnTable& columns) {
    const QFontMetrics metrics(header.font());
    const QFontMetrics cellMetrics(cellFont);
    const int arrowAndMargins = 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header) +
                                header.style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, &header) + 8;
    const int cellMargins = 2 * (header.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &header) + 1) + 4;
    std::vector<int> out;
    for (int c = 0; c < columns.count(); ++c) {
        const QString title = localized(columns.title(c));
        const int titleWidth = title.isEmpty() ? 0 : metrics.horizontalAdvance(title) + arrowAndMargins;
        const char* widest = columns.widestText(c);
        const int valueWidth = widest ? cellMetrics.horizontalAdvance(localized(widest)) + cellMargins : 0;
        out.push_back(std::max(titleWidth, valueWidth));
    }
    return out;
}

}  // namespace

void sizeColumnsToFit(QHeaderView& header, const QFont& cellFont, const ColumnTable& columns) {
    const std::vector<int> fitting = fittingWidths(header, cellFont, columns);
    for (int c = 0; c < columns.count(); ++c) header.resizeSection(c, std::max(columns.width(c), fitting[size_t(c)]));
}

void widenColumnsToFit(QHeaderView& header, const QFont& cellFont, const ColumnTable& columns) {
    const std::vector<int> fitting = fittingWidths(header, cellFont, columns);
    for (int c = 0; c < std::min(columns.count(), header.count()); ++c) {
        // A hidden section tells its width only while shown; nothing is painted in between.
        const bool hidden = header.isSectionHidden(c);
        if (hidden) header.showSection(c);
        if (header.sectionSize(c) < fitting[size_t(c)]) header.resizeSection(c, fitting[size_t(c)]);
        if (hidden) header.hideSection(c);
    }
}

namespace {

// Keeps one column (the outline's names) as wide as the room the other columns leave in the
// viewport, and never narrower than its own width: the one it started with, restored, or was
// dragged to. The stored layout keeps that own width, not the room of the window it was saved in.
class SpareWidthColumn final : public QObject {
public:
    SpareWidthColumn(QTreeView& view, int column) : QObject(view.header()), view_(view), column_(column) {
        setObjectName(QStringLiteral("spareWidthColumn"));
        ownWidth_ = view.header()->sectionSize(column);
        view.viewport()->installEventFilter(this);
        connect(view.header(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
            if (adjusting_) return;
            if (section == column_) ownWidth_ = size;
            fill();
        });
        fill();
    }

    QByteArray stateWithOwnWidth() const {
        QHeaderView* header = view_.header();
        const int shown = header->sectionSize(column_);
        if (shown == ownWidth_) return header->saveState();
        // Nothing is painted in between and the view is not told: the section is back as it was.
        const QSignalBlocker quiet(header);
        header->resizeSection(column_, ownWidth_);
        QByteArray state = header->saveState();
        header->resizeSection(column_, shown);
        return state;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == view_.viewport()) fill();
        return false;
    }

private:
    void fill() {
        QHeaderView* header = view_.header();
        if (header->isSectionHidden(column_)) return;
        const int others = header->length() - header->sectionSize(column_);
        const int wanted = std::max(ownWidth_, view_.viewport()->width() - others);
        if (wanted == header->sectionSize(column_)) return;
        adjusting_ = true;
        header->resizeSection(column_, wanted);
        adjusting_ = false;
    }

    QTreeView& view_;
    int column_;
    int ownWidth_ = 0;
    bool adjusting_ = false;
};

// What is stored of a header: with a column that takes the spare width, that column's own width.
QByteArray stateToStore(const QHeaderView& header) {
    const auto* spare = header.findChild<SpareWidthColumn*>(QStringLiteral("spareWidthColumn"), Qt::FindDirectChildrenOnly);
    return spare ? spare->stateWithOwnWidth() : header.saveState();
}

constexpr const char* kLayoutWriteTimer = "columnLayoutWrite";

}  // namespace

void giveSpareWidthToColumn(QTreeView& view, int column) { new SpareWidthColumn(view, column); }

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
    timer->setObjectName(QString::fromLatin1(kLayoutWriteTimer));
    timer->setSingleShot(true);
    timer->setInterval(300);
    Preferences* prefs = &preferences;
    QHeaderView* h = &header;
    QObject::connect(timer, &QTimer::timeout, h, [h, prefs, key] { prefs->setObject(key, stateToStore(*h)); });
    QObject::connect(h, &QHeaderView::sectionResized, timer, qOverload<>(&QTimer::start));
    QObject::connect(h, &QHeaderView::sectionMoved, timer, qOverload<>(&QTimer::start));
    // A click on a header is one change, not a stream of them: stored at once, so that a window
    // closed right after it still keeps the order.
    QObject::connect(h, &QHeaderView::sortIndicatorChanged, h, [h, prefs, key, timer] {
        timer->stop();
        prefs->setObject(key, stateToStore(*h));
    });
    return restored;
}

bool columnLayoutWritePending(const QHeaderView& header) {
    const auto* timer = header.findChild<QTimer*>(QString::fromLatin1(kLayoutWriteTimer), Qt::FindDirectChildrenOnly);
    return timer && timer->isActive();
}

}  // namespace zelvane

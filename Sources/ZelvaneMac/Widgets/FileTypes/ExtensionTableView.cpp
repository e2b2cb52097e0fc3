#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QStyle>
#include <QWindow>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"

namespace zelvane {

ExtensionTableView::ExtensionTableView(ExtensionTableModel::DisplayedHandler onDisplayedChange, Preferences& preferences,
                                       std::optional<std::pair<FileTypesSortKey, bool>> initialSort, QWidget* parent)
    : QTableView(parent) {
    const FileTypesSortKey key = initialSort ? initialSort->first : FileTypesSortKey::allocated;
    const bool ascending = initialSort ? initialSort->second : false;
    model_ = new ExtensionTableModel(key, ascending, this);
    model_->setOnDisplayedChange(std::move(onDisplayedChange));
    setModel(model_);
    delegate_ = new ResultTableDelegate(this);
    // Without an icon theme the types still get the platform's document icon, made once: the
    // style reads its image files each time it is asked.
    delegate_->setIconProvider([this](const QModelIndex& index) {
        if (index.column() != ExtensionTableModel::extColumn) return QIcon();
        if (fileIcon_.isNull()) fileIcon_ = style()->standardIcon(QStyle::SP_FileIcon);
        return fileIcon_;
    });
    applyResultTableSettings(*this, *delegate_, true, false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setIconSize(QSize(16, 16));
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(24);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(17);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    sizeColumnsToFit(*header, font(), ExtensionTableModel::columns());
    header->setSortIndicator(ExtensionTableModel::columnFor(key), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    autosaveColumnLayout(*header, QStringLiteral("ZelvaneMac.ExtensionTableView.columns"), preferences);
    widenColumnsToFit(*header, font(), ExtensionTableModel::columns());
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
        // The swatch column stays between 17 and 60 points; the others at least 40.
        const int low = section == ExtensionTableModel::swatchColumn ? 17 : 40;
        const int high = section == ExtensionTableModel::swatchColumn ? 60 : QWIDGETSIZE_MAX;
        if (size < low || size > high) header->resizeSection(section, std::clamp(size, low, high));
    });
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (!ExtensionTableModel::columns().sortable(column)) {
            horizontalHeader()->setSortIndicator(ExtensionTableModel::columnFor(model_->sortKey()),
                                                 model_->sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
        const FileTypesSortKey clicked = fileTypesSortKeyFromIdentifier(ExtensionTableModel::columns().identifier(column));
        bool asc = ExtensionTableModel::columns().firstSortOrder(column) == Qt::AscendingOrder;
        if (clicked == model_->sortKey()) asc = !model_->sortAscending();
        sortBy(clicked, asc);
    });
}

void ExtensionTableView::sortBy(FileTypesSortKey key, bool ascending) {
    model_->setSort(key, ascending);
    horizontalHeader()->setSortIndicator(ExtensionTableModel::columnFor(key), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ExtensionTableView::update(const ExtensionTableInputs& inputs, bool altRowColors, bool showHorizontalLines) {
    const bool altChanged = alternatingRowColors() != altRowColors;
    showFileTypes_ = inputs.showFileTypes;
    applyResultTableSettings(*this, *delegate_, altRowColors, showHorizontalLines);
    const QWindow* w = window() ? window()->windowHandle() : nullptr;
    model_->setPixelScale(w ? w->devicePixelRatio() : devicePixelRatioF());
    model_->update(inputs, altChanged);
}

QMenu* ExtensionTableView::buildContextMenu(const QPoint& viewportPos) {
    auto* menu = new QMenu(this);
    const QModelIndex at = indexAt(viewportPos);
    const auto& rows = model_->displayed();
    if (at.isValid() && size_t(at.row()) < rows.size()) {
        selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        pendingSelectExtension_ = QString::fromStdString(rows[size_t(at.row())].ext);
        menu->addAction(localized("Select"), this, [this] { emit selectExtensionRequested(pendingSelectExtension_); });
        menu->addAction(localized("Export File Types to CSV File…"), this, &ExtensionTableView::exportFileTypesToCSVRequested);
        menu->addSeparator();
    }
    QAction* toggle = menu->addAction(localized("Show File Types"), this, &ExtensionTableView::toggleShowFileTypesRequested);
    toggle->setCheckable(true);
    toggle->setChecked(showFileTypes_);
    return menu;
}

void ExtensionTableView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = buildContextMenu(event->pos());
    menu->exec(event->globalPos());
    menu->deleteLater();
}

}  // namespace zelvane

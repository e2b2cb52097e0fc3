#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

SelectMultipleDialog::SelectMultipleDialog(std::span<const VolumeInfo> volumes, const QStringList& initiallyCheckedPaths,
                                           Preferences& preferences, QWidget* parent)
    : QDialog(parent), preferences_(preferences) {
    setWindowTitle(localized("Select Multiple"));
    setWindowModality(Qt::WindowModal);
    chooseFolder_ = [](QWidget* owner) { return QFileDialog::getExistingDirectory(owner); };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);

    auto* title = new QLabel(localized("Select Multiple"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    layout->addWidget(title);

    list_ = new QListWidget(this);
    list_->setMinimumSize(480, 300);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->setUniformItemSizes(true);
    // The row handles the click; the check box is only drawn. The keyboard moves the highlight
    // the list draws, and Space ticks the highlighted row: what the buttons act on is always the
    // row the user sees highlighted.
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { clickRow(list_->row(item)); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = list_->selectedItems();
        model_.highlightRow(selected.isEmpty() ? -1 : list_->row(selected.first()));
        removeButton_->setEnabled(model_.canRemoveListSelection());
    });
    list_->installEventFilter(this);
    layout->addWidget(list_, 1);

    auto* editRow = new QHBoxLayout;
    auto* add = new QPushButton(localized("Add Folder\u2026"), this);
    removeButton_ = new QPushButton(localized("Remove Folder"), this);
    auto* all = new QPushButton(localized("Select All"), this);
    auto* none = new QPushButton(localized("Select None"), this);
    for (QPushButton* b : {add, removeButton_, all, none}) b->setAutoDefault(false);
    editRow->addWidget(add);
    editRow->addWidget(removeButton_);
    editRow->addStretch(1);
    editRow->addWidget(all);
    editRow->addWidget(none);
    layout->addLayout(editRow);
    connect(add, &QPushButton::clicked, this, &SelectMultipleDialog::addFolder);
    connect(removeButton_, &QPushButton::clicked, this, &SelectMultipleDialog::removeSelectedFolder);
    connect(all, &QPushButton::clicked, this, [this] { setAllChecked(true); });
    connect(none, &QPushButton::clicked, this, [this] { setAllChecked(false); });

    auto* endRow = new QHBoxLayout;
    auto* cancel = new QPushButton(localized("Cancel"), this);
    auto* ok = new QPushButton(localized("OK"), this);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    endRow->addStretch(1);
    endRow->addWidget(cancel);
    endRow->addWidget(ok);
    layout->addLayout(endRow);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &SelectMultipleDialog::attemptOK);

    model_.load(volumes, preferences_.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON), initiallyCheckedPaths);
    refresh();
}

void SelectMultipleDialog::refresh() {
    const QSignalBlocker block(list_);
    list_->clear();
    int selectedRow = -1;
    for (int i = 0; i < model_.items().size(); ++i) {
        const auto& item = model_.items()[i];
        auto* row = new QListWidgetItem(shownName(item.displayName, layoutDirection()), list_);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        row->setData(Qt::CheckStateRole, item.isChecked ? Qt::Checked : Qt::Unchecked);
        row->setToolTip(plainToolTip(shownName(item.id, layoutDirection())));
        if (model_.listSelection() && *model_.listSelection() == item.id) selectedRow = i;
    }
    if (selectedRow >= 0) list_->setCurrentRow(selectedRow);
    else list_->clearSelection();
    removeButton_->setEnabled(model_.canRemoveListSelection());
}

bool SelectMultipleDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && !(key->modifiers() & ~Qt::KeypadModifier)) {
            model_.toggleHighlightedRow();
            refresh();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SelectMultipleDialog::clickRow(int row) {
    model_.clickRow(row);
    refresh();
}

void SelectMultipleDialog::addFolder() {
    const QString path = chooseFolder_ ? chooseFolder_(this) : QString();
    if (path.isEmpty()) return;
    QString clean = path;
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/'))) clean.chop(1);
    if (model_.addFolder(clean)) refresh();
}

void SelectMultipleDialog::removeSelectedFolder() {
    model_.removeSelectedFolder();
    refresh();
}

void SelectMultipleDialog::setAllChecked(bool checked) {
    model_.setAllChecked(checked);
    refresh();
}

void SelectMultipleDialog::attemptOK() {
    const auto outcome = model_.attemptOK();
    if (outcome.overlapWarning) {
        if (overlapAlert_) overlapAlert_->deleteLater();
        overlapAlert_ = new QMessageBox(QMessageBox::Warning, localized("Cannot select these items"),
                                        *outcome.overlapWarning, QMessageBox::Ok, this);
        overlapAlert_->setAttribute(Qt::WA_DeleteOnClose);
        // The message names the two folders: shown as they are, never as markup.
        overlapAlert_->setTextFormat(Qt::PlainText);
        overlapAlert_->setWindowModality(Qt::WindowModal);
        overlapAlert_->open();
        return;
    }
    preferences_.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, outcome.userFolders);
    confirmed_ = outcome.checkedPaths;
    accept();
}

}  // namespace zelvane

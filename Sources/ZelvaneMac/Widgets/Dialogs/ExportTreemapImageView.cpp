#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

namespace zelvane {

namespace {

// Every edit keeps only the digits and stores a valid value at once; other values leave the
// stored one as it was.
void bindSizeField(QLineEdit* field, Preferences& preferences, const IntKey& key) {
    field->setText(QString::number(preferences.value(key)));
    QObject::connect(field, &QLineEdit::textEdited, field, [field, &preferences, key](const QString& typed) {
        const TreemapExportSizeEdit edit = editTreemapExportSize(typed);
        if (edit.text != typed) {
            const int cursor = field->cursorPosition() - int(typed.size() - edit.text.size());
            field->setText(edit.text);
            field->setCursorPosition(std::max(0, cursor));
        }
        if (edit.value) preferences.set(key, *edit.value);
    });
}

}  // namespace

ExportTreemapImageView::ExportTreemapImageView(Preferences& preferences, TreemapImageExportSelection& selection,
                                               QWidget* parent)
    : QWidget(parent), preferences_(preferences) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    setMinimumWidth(340);

    auto* sizeRow = new QHBoxLayout;
    width_ = new QLineEdit(this);
    height_ = new QLineEdit(this);
    width_->setFixedWidth(70);
    height_->setFixedWidth(70);
    bindSizeField(width_, preferences_, PreferenceKeys::treemapExportWidth);
    bindSizeField(height_, preferences_, PreferenceKeys::treemapExportHeight);
    presets_ = new QToolButton(this);
    presets_->setText(QStringLiteral("…"));
    presets_->setAutoRaise(true);
    presets_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(presets_);
    for (const TreemapExportPreset& p : kTreemapExportPresets) {
        QAction* item = menu->addAction(QStringLiteral("%1x%2").arg(p.width).arg(p.height));
        connect(item, &QAction::triggered, this, [this, p] {
            preferences_.set(PreferenceKeys::treemapExportWidth, p.width);
            preferences_.set(PreferenceKeys::treemapExportHeight, p.height);
            width_->setText(QString::number(p.width));
            height_->setText(QString::number(p.height));
        });
    }
    presets_->setMenu(menu);
    sizeRow->addWidget(new QLabel(localized("Width:"), this));
    sizeRow->addWidget(width_);
    sizeRow->addWidget(new QLabel(localized("Height:"), this));
    sizeRow->addWidget(height_);
    sizeRow->addWidget(presets_);
    sizeRow->addStretch(1);
    column->addLayout(sizeRow);

    gray_ = new QCheckBox(localized("Shades of Gray (single color)"), this);
    gray_->setChecked(preferences_.value(PreferenceKeys::treemapExportShadesOfGray));
    connect(gray_, &QCheckBox::toggled, this,
            [this](bool on) { preferences_.set(PreferenceKeys::treemapExportShadesOfGray, on); });
    column->addWidget(gray_);

    freeSpace_ = new QCheckBox(localized("Show Free Space"), this);
    freeSpace_->setChecked(selection.showFreeSpace());
    connect(freeSpace_, &QCheckBox::toggled, &selection, &TreemapImageExportSelection::setShowFreeSpace);
    connect(&selection, &TreemapImageExportSelection::showFreeSpaceChanged, freeSpace_, &QCheckBox::setChecked);
    column->addWidget(freeSpace_);
}

TreemapExportSize ExportTreemapImageView::requestedSize() const {
    return {treemapExportFieldSize(width_->text()), treemapExportFieldSize(height_->text())};
}

std::optional<TreemapImageSaveChoice> runTreemapImageSaveDialog(QWidget* parent, Preferences& preferences,
                                                                TreemapImageExportSelection& selection,
                                                                const QString& folder, const QString& proposedName) {
    QFileDialog dialog(parent, localized("Save Treemap Image"));
    // Our own dialog, so that the options can sit under the file browser.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(shownNameFilters(localized("PNG image (*.png)")));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(proposedName);
    auto* options = new ExportTreemapImageView(preferences, selection, &dialog);
    addOptionsBelowFileBrowser(dialog, options);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return TreemapImageSaveChoice{dialog.selectedFiles().first(), options->requestedSize()};
}

}  // namespace zelvane

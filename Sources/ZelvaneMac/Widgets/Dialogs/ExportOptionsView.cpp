#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QPushButton>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"

namespace zelvane {

ExportOptionsView::ExportOptionsView(Preferences& preferences, ExportSourceSelection& selection, QWidget* parent)
    : QWidget(parent) {
    setMinimumWidth(420);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel(localized("Format:"), this));
    auto* csv = new QRadioButton(displayName(CSVFileFormat::csv), this);
    tsv_ = new QRadioButton(displayName(CSVFileFormat::tsv), this);
    auto* formats = new QButtonGroup(this);
    formats->addButton(csv);
    formats->addButton(tsv_);
    (selection.format() == CSVFileFormat::tsv ? tsv_ : csv)->setChecked(true);
    formatRow->addWidget(csv);
    formatRow->addWidget(tsv_);
    formatRow->addStretch(1);
    column->addLayout(formatRow);
    connect(tsv_, &QRadioButton::toggled, this, [&selection](bool on) {
        selection.setFormat(on ? CSVFileFormat::tsv : CSVFileFormat::csv);
    });

    auto* sourceRow = new QHBoxLayout;
    sourceRow->addWidget(new QLabel(localized("Source:"), this));
    auto* treeView = new QRadioButton(localized("Tree View"), this);
    fileView_ = new QRadioButton(localized("File View"), this);
    auto* sources = new QButtonGroup(this);
    sources->addButton(treeView);
    sources->addButton(fileView_);
    (selection.source() == ExportSource::fileView ? fileView_ : treeView)->setChecked(true);
    sourceRow->addWidget(treeView);
    sourceRow->addWidget(fileView_);
    sourceRow->addStretch(1);
    column->addLayout(sourceRow);
    connect(fileView_, &QRadioButton::toggled, this, [&selection](bool on) {
        selection.setSource(on ? ExportSource::fileView : ExportSource::treeView);
    });

    selectedOnly_ = new QCheckBox(localized("Selected only"), this);
    selectedOnly_->setChecked(selection.selectedOnly());
    selectedOnly_->setEnabled(selection.hasSelection());
    column->addWidget(selectedOnly_);
    connect(selectedOnly_, &QCheckBox::toggled, this, [&selection](bool on) { selection.setSelectedOnly(on); });

    column->addWidget(sheetDivider(this));

    const std::pair<const BoolKey*, const char*> toggles[] = {
        {&PreferenceKeys::csvExportFiles, textKey("Export Files")},
        {&PreferenceKeys::csvExportFolders, textKey("Export Folders")},
        {&PreferenceKeys::csvExportFileID, textKey("Export File ID")},
        {&PreferenceKeys::csvExportDates, textKey("Export \"Last Accessed\" and \"Created\" dates")},
        {&PreferenceKeys::csvExportFolderSizes, textKey("Export total size and allocated size of folders (excluding sub folders)")},
        {&PreferenceKeys::csvSplitFilename, textKey("Split file names into root, folder, filename and extension")},
        {&PreferenceKeys::csvExportDriveCapacity, textKey("Export drive size information")},
        {&PreferenceKeys::csvExportPercentOfParent, textKey("Export percentage of parent value")},
    };
    for (const auto& [key, label] : toggles) {
        auto* box = new QCheckBox(localized(label), this);
        box->setChecked(preferences.value(*key));
        column->addWidget(box);
        const BoolKey* k = key;
        connect(box, &QCheckBox::toggled, this, [&preferences, k](bool on) { preferences.set(*k, on); });
    }

    auto* depthRow = new QHBoxLayout;
    depthRow->addWidget(new QLabel(localized("Max folder depth (0 = no limit):"), this));
    maxDepth_ = new QSpinBox(this);
    maxDepth_->setRange(0, 999);
    maxDepth_->setSingleStep(1);
    maxDepth_->setAlignment(Qt::AlignRight);
    maxDepth_->setValue(int(std::clamp<int64_t>(preferences.value(PreferenceKeys::csvMaxDepth), 0, 999)));
    depthRow->addWidget(maxDepth_);
    depthRow->addStretch(1);
    column->addLayout(depthRow);
    connect(maxDepth_, &QSpinBox::valueChanged, this,
            [&preferences](int v) { preferences.set(PreferenceKeys::csvMaxDepth, int64_t(v)); });
}

void addOptionsBelowFileBrowser(QFileDialog& dialog, QWidget* options) {
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(options, grid->rowCount(), 0, 1, grid->columnCount());
    else if (dialog.layout())
        dialog.layout()->addWidget(options);
    options->setMinimumWidth(std::max(options->minimumWidth(), options->sizeHint().width()));
    // Where the desktop gives dialog buttons icons, a right-to-left button lays its icon and text
    // out so that the text runs into the button's left edge. Text alone stays centred.
    if (auto* box = dialog.findChild<QDialogButtonBox*>())
        for (QAbstractButton* button : box->buttons()) button->setIcon(QIcon());
    // The options take their height from the file browser: keep it tall enough for a list of
    // files, in both of its views, and let the dialog grow instead.
    for (auto* files : dialog.findChildren<QAbstractItemView*>())
        if (files->objectName() == QLatin1String("treeView") || files->objectName() == QLatin1String("listView"))
            files->setMinimumHeight(10 * files->fontMetrics().height());
}

std::optional<QString> runCSVExportSaveDialog(QWidget* parent, Preferences& preferences, ExportSourceSelection& selection,
                                              const QString& folder, const QString& proposedName) {
    QFileDialog dialog(parent, localized("Export to CSV File"));
    // Our own dialog, so that the options can sit under the file browser.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(shownNameFilters(QStringList{localized("Comma Separated Values (*.csv)"),
                                                      localized("Tab Separated Values (*.tsv)"), localized("All files (*)")}
                                              .join(QStringLiteral(";;"))));
    dialog.setDefaultSuffix(rawValue(selection.format()));
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(proposedName);
    addOptionsBelowFileBrowser(dialog, new ExportOptionsView(preferences, selection, &dialog));
    // The name as typed so far takes the chosen format's extension.
    QObject::connect(&selection, &ExportSourceSelection::formatChanged, &dialog, [&dialog](CSVFileFormat format) {
        auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = field ? field->text() : QString();
        if (field) field->setText(applyCSVFormat(typed.isEmpty() ? QStringLiteral("Zelvane") : typed, format));
        dialog.setDefaultSuffix(rawValue(format));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace zelvane

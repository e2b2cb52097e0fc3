#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QFileDialog;
class QRadioButton;
class QSpinBox;

namespace zelvane {

class ExportSourceSelection;
class Preferences;

// The choices under the file browser of the CSV/TSV export: format, source, "Selected only",
// the eight column and row toggles and the depth limit. The toggles and the depth are stored
// the moment they change, whether or not the export is confirmed.
class ExportOptionsView final : public QWidget {
    Q_OBJECT
public:
    ExportOptionsView(Preferences& preferences, ExportSourceSelection& selection, QWidget* parent = nullptr);

    QRadioButton* tsvChoice() const { return tsv_; }
    QRadioButton* fileViewChoice() const { return fileView_; }
    QCheckBox* selectedOnlyToggle() const { return selectedOnly_; }
    QSpinBox* maxDepthStepper() const { return maxDepth_; }

private:
    QRadioButton* tsv_;
    QRadioButton* fileView_;
    QCheckBox* selectedOnly_;
    QSpinBox* maxDepth_;
};

// Puts `options` below the file browser of a save dialog of our own, and keeps the dialog at least
// as wide as the options ask, so that no choice is cut where a language has long words.
void addOptionsBelowFileBrowser(QFileDialog& dialog, QWidget* options);

// The CSV/TSV save dialog with the options view below its file browser, opened on its own. The
// name field follows the chosen format (its extension replaced). The chosen path, or none.
std::optional<QString> runCSVExportSaveDialog(QWidget* parent, Preferences& preferences, ExportSourceSelection& selection,
                                              const QString& folder, const QString& proposedName);

}  // namespace zelvane

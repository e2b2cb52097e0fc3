#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace zelvane {

class Preferences;

// The options under the file browser of the treemap image's save dialog: width and height in
// pixels (stored on every valid edit), the size presets, grey rendering and free space. The
// chosen values are the three stored settings and the selection's free-space choice.
class ExportTreemapImageView final : public QWidget {
    Q_OBJECT
public:
    ExportTreemapImageView(Preferences& preferences, TreemapImageExportSelection& selection, QWidget* parent = nullptr);

    QLineEdit* widthField() const { return width_; }
    QLineEdit* heightField() const { return height_; }
    QToolButton* presetsButton() const { return presets_; }
    QCheckBox* shadesOfGrayToggle() const { return gray_; }
    QCheckBox* freeSpaceToggle() const { return freeSpace_; }
    // What the fields show now: the size the picture is asked for.
    TreemapExportSize requestedSize() const;

private:
    Preferences& preferences_;
    QLineEdit* width_;
    QLineEdit* height_;
    QToolButton* presets_;
    QCheckBox* gray_;
    QCheckBox* freeSpace_;
};

// The save dialog for the treemap image with the options view below its file browser, opened on
// its own (not over the window). The chosen path with the size the fields showed on confirming
// (an empty or zero field included, which the export refuses), or none when it was cancelled.
struct TreemapImageSaveChoice {
    QString path;
    TreemapExportSize size;
};
std::optional<TreemapImageSaveChoice> runTreemapImageSaveDialog(QWidget* parent, Preferences& preferences,
                                                                TreemapImageExportSelection& selection,
                                                                const QString& folder, const QString& proposedName);

}  // namespace zelvane

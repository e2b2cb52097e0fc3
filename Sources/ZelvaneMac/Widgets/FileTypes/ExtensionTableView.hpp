#pragma once

#include <QIcon>
#include <QString>
#include <QTableView>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "ZelvaneMac/Models/ExtensionTableModel.hpp"

class QMenu;

namespace zelvane {

class Preferences;
class ResultTableDelegate;

// The file-type table: one row per extension with its treemap colour, icon, type, share, sizes and
// file count; sortable by every column but the swatch. Selecting rows does nothing beyond the
// highlight; the context menu asks to select all files of the row's extension, to export the
// table or to hide it. `onDisplayedChange` hears the rows and key after every sort, the first one
// included.
class ExtensionTableView final : public QTableView {
    Q_OBJECT
public:
    ExtensionTableView(ExtensionTableModel::DisplayedHandler onDisplayedChange, Preferences& preferences,
                       std::optional<std::pair<FileTypesSortKey, bool>> initialSort = std::nullopt, QWidget* parent = nullptr);

    // Resorts and reloads only when the statistics, colours, display settings, the visibility flag
    // or the alternating rows changed; grid lines alone are redrawn without a reload.
    void update(const ExtensionTableInputs& inputs, bool altRowColors, bool showHorizontalLines);
    ExtensionTableModel& tableModel() const { return *model_; }
    void sortBy(FileTypesSortKey key, bool ascending);

    // The context menu for a point of the viewport (also selects the row under it). The caller
    // owns the menu.
    QMenu* buildContextMenu(const QPoint& viewportPos);

signals:
    void selectExtensionRequested(const QString& ext);
    void exportFileTypesToCSVRequested();
    void toggleShowFileTypesRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    ExtensionTableModel* model_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
    QIcon fileIcon_;  // the style's document icon, once asked for
    bool showFileTypes_ = true;
    QString pendingSelectExtension_;
};

}  // namespace zelvane

#pragma once

#include <QComboBox>

#include <optional>

#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"

namespace zelvane {

// The volume picker: volumes, custom folders and the three command rows. The menu is rebuilt
// only when its rows differ from the last ones; the shown row follows `selection` (none when no
// row has that tag). Picking a row emits `rowPicked` with its tag and then shows `selection` again,
// so a command row whose panel was cancelled leaves the previous choice on display.
class VolumeDropdown final : public QComboBox {
    Q_OBJECT
public:
    explicit VolumeDropdown(QWidget* parent = nullptr);

    // `volumes` gives each volume row its icon.
    void setRows(const QVector<PickerRow>& rows, std::span<const VolumeInfo> volumes);
    void setSelection(const QString& tag);

    const QVector<PickerRow>& rows() const { return lastRows_; }
    int rebuildCount() const { return rebuilds_; }
    // Picks the row with this tag as a click would (tests and keyboard navigation).
    void pick(const QString& tag);

    void showPopup() override;

signals:
    // Handled before the shown row is set back to `selection`.
    void rowPicked(const QString& tag);

private:
    void syncSelection();

    QVector<PickerRow> lastRows_;
    bool hasRows_ = false;
    QString selection_;
    int rebuilds_ = 0;
};

// The icon of a volume row: from the desktop's icon theme, else the style's drive icons.
QIcon volumeIcon(const VolumeInfo& volume, const QStyle* style);

}  // namespace zelvane

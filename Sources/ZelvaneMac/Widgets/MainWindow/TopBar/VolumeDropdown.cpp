#include "ZelvaneMac/Widgets/MainWindow/TopBar/VolumeDropdown.hpp"

#include <QAbstractItemView>
#include <QStyle>

#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

QIcon volumeIcon(const VolumeInfo& volume, const QStyle* style) {
    const char* themeName = volume.isBoot ? "drive-harddisk-system" : volume.isLocal ? "drive-harddisk" : "folder-remote";
    const QStyle::StandardPixmap fallback = volume.isLocal ? QStyle::SP_DriveHDIcon : QStyle::SP_DriveNetIcon;
    QIcon icon = QIcon::fromTheme(QLatin1String(themeName));
    if (icon.isNull() && volume.isBoot) icon = QIcon::fromTheme(QStringLiteral("drive-harddisk"));
    if (icon.isNull() && style) icon = style->standardIcon(fallback);
    return icon;
}

VolumeDropdown::VolumeDropdown(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        const QVariant tag = itemData(index);
        if (tag.typeId() == QMetaType::QString) emit rowPicked(tag.toString());
        // The handler may have recorded a new selection; otherwise the previous one shows again.
        syncSelection();
    });
}

void VolumeDropdown::setRows(const QVector<PickerRow>& rows, std::span<const VolumeInfo> volumes) {
    if (hasRows_ && rows == lastRows_) return;
    hasRows_ = true;
    lastRows_ = rows;
    ++rebuilds_;
    const QSignalBlocker block(this);
    clear();
    for (const PickerRow& row : rows) {
        if (!row.tag) {
            insertSeparator(count());
            continue;
        }
        QIcon icon;
        for (const VolumeInfo& v : volumes)
            if (v.path == *row.tag) icon = volumeIcon(v, style());
        if (icon.isNull() && !PickerTag::isCommand(*row.tag)) icon = style()->standardIcon(QStyle::SP_DirIcon);
        // Volume names and folder paths as the window shows names; the commands are our own texts.
        const bool command = PickerTag::isCommand(*row.tag);
        addItem(icon, command ? row.title : shownName(row.title, layoutDirection()), *row.tag);
        // A command's tag is no text for the user: only volumes and folders have a tool tip, their path.
        if (!command) setItemData(count() - 1, plainToolTip(shownName(*row.tag, layoutDirection())), Qt::ToolTipRole);
    }
    syncSelection();
}

void VolumeDropdown::setSelection(const QString& tag) {
    selection_ = tag;
    syncSelection();
}

void VolumeDropdown::syncSelection() {
    const QSignalBlocker block(this);
    setCurrentIndex(selection_.isEmpty() ? -1 : findData(selection_));
}

void VolumeDropdown::pick(const QString& tag) {
    const int index = findData(tag);
    if (index < 0) return;
    setCurrentIndex(index);
    emit activated(index);
}

void VolumeDropdown::showPopup() {
    QComboBox::showPopup();
    // The list opens below the picker with the left edges aligned, not centred on the chosen row.
    if (QWidget* popup = view()->window(); popup && popup != window()) {
        const QPoint below = mapToGlobal(QPoint(0, height() + 4));
        popup->move(below);
    }
}

}  // namespace zelvane

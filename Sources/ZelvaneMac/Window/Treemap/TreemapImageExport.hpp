#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

// The free-space choice of one image export, shared by the save dialog's options view and the
// window that renders the picture once the dialog is confirmed.
class TreemapImageExportSelection final : public QObject {
    Q_OBJECT
public:
    explicit TreemapImageExportSelection(bool showFreeSpace, QObject* parent = nullptr)
        : QObject(parent), showFreeSpace_(showFreeSpace) {}
    bool showFreeSpace() const { return showFreeSpace_; }
    void setShowFreeSpace(bool on) {
        if (on == showFreeSpace_) return;
        showFreeSpace_ = on;
        emit showFreeSpaceChanged(on);
    }
signals:
    void showFreeSpaceChanged(bool on);

private:
    bool showFreeSpace_;
};

// One edit of a size field: the text keeps only its numeric characters; a value of 1 or more
// that parses as a decimal integer is what gets stored (none: the stored value stays).
struct TreemapExportSizeEdit {
    QString text;
    std::optional<int64_t> value;
};
TreemapExportSizeEdit editTreemapExportSize(const QString& typed);

struct TreemapExportPreset {
    int width;
    int height;
};
inline constexpr TreemapExportPreset kTreemapExportPresets[] = {
    {1024, 768}, {1280, 720}, {1680, 1050}, {1920, 1080}, {2560, 1440}, {3840, 2160}, {7680, 4320},
};

// Everything the picture is made from, read by the window when the save dialog is confirmed.
struct TreemapImageExportRequest {
    std::vector<RootRef> roots;
    FileNode* zoomedNode = nullptr;  // laid out alone, filling the picture, when set
    std::vector<VolumeCapacity> capacities;
    int64_t width = 1920;
    int64_t height = 1080;
    bool shadesOfGray = false;
    bool showFreeSpace = false;
    bool useAllocatedSize = true;
    bool showLabels = true;
    ColorRank colorRank;
    PaletteRGB paletteRGB;
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    bool gradientEnabled = true;
    int fileGroupMinSize = FileNode::defaultMinGroupSize;
};

// Lays out, renders and writes the picture as a PNG file (replaced only once complete). None on
// success, else the text for the window's export alert. A picture wider or taller than 32,768
// pixels or larger than 2^28 pixels is refused before anything is allocated.
std::optional<QString> exportTreemapImage(const TreemapImageExportRequest& request, const QString& path);

}  // namespace zelvane

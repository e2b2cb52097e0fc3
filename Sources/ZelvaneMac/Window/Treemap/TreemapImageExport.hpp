#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
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

// The size a field shows when the dialog is confirmed, as the picture is asked for: 0 for an
// empty field, the largest 64-bit value for digits beyond that range (both refused).
int64_t treemapExportFieldSize(const QString& text);

// The picture's size in pixels as the dialog's fields asked for it, refused sizes included.
struct TreemapExportSize {
    int64_t width = 0;
    int64_t height = 0;
};

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

// Why a size cannot be rendered, as the window's export alert says it ("Couldn't render the
// treemap image." and the limits); none for a size that can. A picture narrower or lower than one
// pixel, wider or taller than 32,768 pixels or larger than 2^28 pixels is refused.
std::optional<QString> treemapImageSizeRefusal(int64_t width, int64_t height);

// Lays out, renders and writes the picture as a PNG file (replaced only once complete). None on
// success, else the text for the window's export alert. A refused size is refused before anything
// is allocated.
std::optional<QString> exportTreemapImage(const TreemapImageExportRequest& request, const QString& path);

// The same on the shared thread pool, so that a large picture never stalls the window; `done`
// gets the outcome on the GUI thread unless `receiver` is gone by then. The request keeps its
// trees alive until the work is over.
void exportTreemapImageInBackground(TreemapImageExportRequest request, QString path, QObject* receiver,
                                    std::function<void(std::optional<QString> failure)> done);

}  // namespace zelvane

#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <string>

namespace zelvane {

// What the preview window shows for one item: a picture, the start of a text file, or else the
// item's icon, type and size.
struct PreviewContent {
    enum class Kind { image, text, facts, missing };
    Kind kind = Kind::missing;
    QString displayName;
    QString typeDescription;  // "PNG image", "Folder", ...
    QString iconName;         // a theme icon name for the type
    int64_t size = -1;        // bytes of a file; -1 for folders and unreadable items
    bool isDir = false;
    QImage image;             // scaled to fit the bound it was loaded for
    QString text;             // the first lines of a text file
    bool textTruncated = false;
};

// Reads what the preview needs from the item at the exact path bytes, without following a final
// symbolic link for the facts. Reads at most `kTextBytes` of a text file and scales a picture
// while decoding it, so a huge file costs no more than its preview.
inline constexpr int64_t kPreviewTextBytes = 64 * 1024;
PreviewContent loadPreviewContent(const std::string& path, QSize imageBound);

}  // namespace zelvane

#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

class ContentViewState;

// What the Tree View tab shows, decided from the window's state without widgets: which panes
// are arranged, what stands in place of the outline, the roots' labels, the zoom target that
// still belongs to a shown tree, and the information strip's texts.
class TreeViewTabModel final {
public:
    explicit TreeViewTabModel(const ContentViewState& state) : state_(state) {}

    // The file-type table and the treemap each take a split of their own while shown.
    struct Arrangement {
        bool withTypes = false;
        bool withTreemap = false;
        bool operator==(const Arrangement&) const = default;
    };
    Arrangement arrangement() const;

    // The outline, or a placeholder with these texts (the program's icon when `iconName` is empty).
    struct Placeholder {
        bool showsOutline = false;
        QString title;
        QString description;
        QString iconName;
    };
    Placeholder placeholder() const;

    // The roots all three panes show.
    std::vector<FileNode*> effectiveRoots() const;
    // A root's name, with its volume's name after it when it is a volume's top (not for imports).
    QString rootDisplayLabel(const FileNode& node) const;
    // The zoomed node when it belongs to a tree now shown; an older tree's node is not read
    // beyond the walk to its top.
    FileNode* validatedZoomNode() const;
    // Where ".." leads: the zoomed node's folder, none above a root.
    FileNode* zoomOutTarget() const;
    // The strip's first row as its texts (1 or 3), sizes as the display settings write them.
    QStringList infoStripTexts(ByteUnitBase base, ByteSizeDisplayMode mode) const;

private:
    const ContentViewState& state_;
};

}  // namespace zelvane

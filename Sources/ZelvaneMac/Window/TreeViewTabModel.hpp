#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Models/ExtensionTableModel.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"
#include "ZelvaneMac/Window/TreeViewParts.hpp"

namespace zelvane {

class Preferences;
class TreeViewTabChanges;

// What the Tree View tab's panes read from the preferences, each pane's share apart, so that a
// change reaches only the panes that show it.
struct TreeViewTabSettings {
    struct Types {
        SizeTextFormat sizes;
        int decimalPlaces = 0;
        bool altRowColors = false;
        bool showHorizontalLines = false;
        QString paletteColorsJSON;
        bool operator==(const Types&) const = default;
    };
    struct Treemap {
        SizeTextFormat sizes;
        bool gradientEnabled = false;
        int fileGroupMinSize = 0;
        QString paletteColorsJSON;
        bool operator==(const Treemap&) const = default;
    };
    OutlineDisplaySettings outlineDisplay;
    FileTreeOutlineOptions outlineOptions;
    Types types;
    Treemap treemap;
    SizeTextFormat strip;

    static TreeViewTabSettings of(const Preferences& preferences);
    bool operator==(const TreeViewTabSettings&) const = default;
};

// What the Tree View tab shows, decided from the window's state without widgets: which panes
// are arranged, what stands in place of the outline, the roots' labels, the zoom that still
// belongs to a shown tree, the information strip's texts, and the inputs of the outline, the
// file-type table and the treemap (with the live batch `changes` keeps).
class TreeViewTabModel final {
public:
    TreeViewTabModel(const TreeViewParts& parts, const TreeViewTabChanges& changes) : parts_(parts), changes_(changes) {}

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
    // The zoomed node while it belongs to a tree now shown.
    FileNode* validatedZoomNode() const;
    // Where ".." leads: the zoomed node's folder, none above a root.
    FileNode* zoomOutTarget() const;
    // The strip's first row as its texts (1 or 3), sizes as the display settings write them.
    QStringList infoStripTexts() const;
    // Some shown root has a stored child, so the treemap has something to draw.
    bool treemapHasContent() const;

    FileTreeOutlineInputs outlineInputs() const;
    FileTreeOutlineOptions outlineOptions() const;
    ExtensionTableInputs typesInputs() const;
    TreemapCanvasInputs treemapInputs() const;

private:
    TreeViewParts parts_;
    const TreeViewTabChanges& changes_;
};

}  // namespace zelvane

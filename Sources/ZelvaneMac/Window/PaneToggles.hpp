#pragma once

#include <QObject>

namespace zelvane {

class Preferences;

// Which panes a window shows: the filter panel, the header, the file-type table, the treemap.
// Each window starts from the stored choices; a change is stored for the next window while the
// windows already open keep their own. The header is not stored: every window starts with it.
// Main thread only.
class PaneToggles final : public QObject {
    Q_OBJECT
public:
    PaneToggles(Preferences& preferences, QObject* parent);

    bool showFilterPanel() const { return showFilterPanel_; }
    void setShowFilterPanel(bool value);
    bool showHeader() const { return showHeader_; }
    void setShowHeader(bool value);
    bool showFileTypes() const { return showFileTypes_; }
    void setShowFileTypes(bool value);
    bool showTreemap() const { return showTreemap_; }
    void setShowTreemap(bool value);
    // True from the window's making until it has restored its frame; a split that keeps a pane
    // size waits for it, so it lays out the restored size and not the window's first one.
    bool awaitsWindowFrameRestore() const { return awaitsWindowFrameRestore_; }
    void setAwaitsWindowFrameRestore(bool value);

signals:
    void showFilterPanelChanged(bool value);
    void showHeaderChanged(bool value);
    void showFileTypesChanged(bool value);
    void showTreemapChanged(bool value);
    void awaitsWindowFrameRestoreChanged(bool value);

private:
    Preferences& preferences_;
    bool showFilterPanel_;
    bool showHeader_ = true;
    bool showFileTypes_;
    bool showTreemap_;
    bool awaitsWindowFrameRestore_ = false;
};

}  // namespace zelvane

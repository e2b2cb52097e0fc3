#pragma once

#include <QColor>
#include <QFuture>
#include <QString>
#include <QUrl>

#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Platform/FreedesktopTrash.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Actions/ActionTargets.hpp"

namespace zelvane {

// One colour of the Tags submenu. `name` (English) is what a file's tags receive.
struct TagColor {
    const char* name;
    QString title;
    QColor color;
};
const std::vector<TagColor>& tagColors();

// What the context menu shows before it opens.
struct FileActionMenuState {
    bool enabled = false;  // every top-level item, appended ones included
    QString moveToTrashTitle;
};

// The file actions behind every context menu and the menu bar's file commands. It knows nothing of
// the view that owns it: the owner's provider says, at the moment an action runs, which nodes it
// applies to, and deletions go back through `onNodesDeleted`. Every action resolves its targets
// through resolveActionTargets, so group rows and deleted nodes never reach the file system.
//
// GUI thread only; actions run to their end there, alerts included (Compress alone writes its
// archives on the thread pool).
class FileActionController final {
public:
    using NodesProvider = std::function<std::vector<FileNode*>()>;
    using NodesHandler = std::function<void(const std::vector<FileNode*>&)>;

    FileActionController(DesktopServices& desktop, ActionPrompter& prompter);

    NodesProvider targetNodesProvider = [] { return std::vector<FileNode*>{}; };
    std::function<void()> onExportToCSV = [] {};
    std::function<void()> onZoomTreemap = [] {};
    std::function<void()> onUnzoomTreemap = [] {};
    NodesHandler onNodesDeleted = [](const std::vector<FileNode*>&) {};
    // Runs after Quick Look has collected its items, to show the preview window.
    std::function<void()> onShowPreview = [] {};

    FileActionMenuState menuState() const;

    void open();
    void showInFileManager();
    void getInfo();
    void newTerminal();
    void copy();
    void copyPath();
    void moveToTrash();
    void deleteImmediately();
    void compress();
    void duplicate();
    void makeLink();
    void quickLook();
    void setTag(const QString& tagName);
    void launchNewInstance();
    void exportToCSV() { onExportToCSV(); }
    void zoomTreemap() { onZoomTreemap(); }
    void unzoomTreemap() { onUnzoomTreemap(); }

    // The in-place rename of the tree and the file list; true when the item was renamed (the
    // caller then redisplays the row). Refuses a root, a group row, a deleted node and names that
    // are empty, "." or "..", or hold "/" or NUL; never replaces an existing item.
    bool performRename(FileNode* node, const QString& newName);

    // The preview window's items: the paths Quick Look collected, in target order.
    int previewItemCount() const { return int(previewPaths_.size()); }
    const std::string& previewPathAt(int index) const { return previewPaths_.at(size_t(index)); }

    // Where items go to the trash; tests point it at a folder of their own.
    void setTrashEnvironment(TrashEnvironment env) { trashEnvironment_ = std::move(env); }
    // Waits for the archives Compress started (tests; the application lets them run).
    void waitForBackgroundWork();

    // Asks before opening `count` windows of the given kind; true below six without asking.
    bool confirmOpeningManyWindows(int count, const QString& windowKind);

private:
    std::vector<ActionTarget> targets(bool dropNestedItems = false) const;
    void offerImmediateDelete(const std::vector<ActionTarget>& items);
    void removeImmediately(const std::vector<ActionTarget>& items);
    void report(const std::vector<ActionTarget>& removed);

    DesktopServices& desktop_;
    ActionPrompter& prompter_;
    TrashEnvironment trashEnvironment_;
    std::vector<std::string> previewPaths_;
    std::vector<QFuture<void>> pendingArchives_;
};

// "%d" filled with a count (the look-up happens before).
QString fillCount(const QString& format, long long count);

}  // namespace zelvane

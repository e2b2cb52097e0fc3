#pragma once

// A real main window, shown and active, for tests that drive it as a user would: keys, menus, a
// scan of a real folder.

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <optional>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"

namespace zelvane {
class FileNode;
class TreemapCanvasModel;
class FileTreeOutlineView;
class TreeViewTab;
}  // namespace zelvane

namespace zelvane::fixtures {

inline QString qPath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A main window on preferences of its own, whose start-up lists no volume and asks for no access;
// `arguments` are its command line (folders it scans at once, as `ZelvaneMac a b` does). It can be
// closed and opened again on the same preferences.
class ShownWindow {
public:
    explicit ShownWindow(QStringList arguments = {}, QSize size = {1400, 900}) { open(std::move(arguments), size); }

    void open(QStringList arguments = {}, QSize size = {1400, 900});
    void close() { window_.reset(); }

    MainWindow& window() { return *window_; }
    Preferences& prefs() { return prefs_; }
    TreeViewTab& tree() const;
    FileTreeOutlineView& outline() const;

    // Shortcuts need the window active, and a modal panel that closed may leave none active.
    void activate();
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // The last scan or import completed with roots, their colour ranks are in, and the tree
    // outline shows those roots.
    bool finished() const;
    bool waitForResult();
    bool scan(const std::filesystem::path& folder);
    bool import(const std::filesystem::path& csv);
    // Monitoring starts with a result; its watches are in place a moment later.
    bool waitUntilWatching() const;
    // What the window was told has changed is shown: the live monitor holds no change back and
    // the Tree View has no update waiting for the next turn of the event loop.
    bool changesShown() const;
    bool waitUntilChangesShown() const;
    // The treemap shows a picture of the tree as it is, and no other picture is made or waits.
    bool treemapDrawn() const;

    // F2 on the node's selected row in the outline, the new name typed, Return.
    void renameInOutline(FileNode* node, const QString& name);

    FileNode* root(size_t i = 0) const;
    FileNode* node(const std::filesystem::path& path) const;

private:
    bool appReady_ = (qtWidgetApp(), true);
    QTemporaryDir prefsDir_;
    Preferences prefs_{prefsDir_.filePath("prefs.plist")};
    std::optional<MainWindow> window_;
};

// The boxes of the treemap's shown picture drawn again with the window's settings and the names
// and sizes the tree holds now: what the picture shows once it is up to date.
QImage treemapRedrawnNow(const TreemapCanvasModel& treemap, const Preferences& preferences);

}  // namespace zelvane::fixtures

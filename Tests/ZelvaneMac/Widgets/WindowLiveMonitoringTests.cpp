// What a real window shows while files go on disk behind its back: every item that is gone, or is
// another one now, is shown deleted and leaves the totals, whichever tree the window shows and
// however deep the item lies; what the window cannot follow it says; an import is never watched.
// The changes are made outside the program (renames, replacements, deletions), and the result
// is checked against the disk.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDialog>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "DeepChain.hpp"
#include "ScriptedUser.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListOutlineView.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/VolumeListWatcher.hpp"

namespace zelvane {
namespace {

using fixtures::DeepChain;
using fixtures::ShownWindow;
using fixtures::TempDir;
using fixtures::qPath;
using fixtures::writeFile;
using testing::TmpfsMount;
namespace fs = std::filesystem;

// The bytes of the regular files below a folder, each inode once, as `du -b` counts them.
int64_t bytesOnDisk(const fs::path& top) {
    int64_t total = 0;
    std::vector<std::pair<dev_t, ino_t>> seen;
    for (const auto& e : fs::recursive_directory_iterator(top)) {
        struct stat st{};
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (std::find(seen.begin(), seen.end(), std::make_pair(st.st_dev, st.st_ino)) != seen.end()) continue;
        seen.emplace_back(st.st_dev, st.st_ino);
        total += st.st_size;
    }
    return total;
}

void move(const fs::path& from, const fs::path& to) { ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0) << from; }

struct LiveWindow : ShownWindow {
    LiveWindow() = default;
    explicit LiveWindow(const fs::path& folder) : ShownWindow({qPath(folder)}) {
        EXPECT_TRUE(waitForResult());
        EXPECT_TRUE(waitUntilWatching());
    }
    LiveMonitorController& live() { return window().liveMonitor(); }
    bool stale() { return window().scanControl().liveUpdates().resultIsStale(); }
    bool staleNoteShown() { return window().contentView()->statusBar()->staleNote()->isVisible(); }
    // Live changes arrive after the monitor's latency and the controller's half-second flush.
    bool waitFor(const std::function<bool()>& done) { return pumpWidgetsUntil(done, 20000); }
    bool deleted(const fs::path& p) const {
        FileNode* n = node(p);
        return n && n->isDeleted();
    }
    void setMonitoring(bool on) { prefs().set(PreferenceKeys::monitorFileSystemForChanges, on); }
    // The multi-root sheet, from the menu; monitoring stops while it is up.
    QDialog* openSelectMultiple() {
        window().menus().action(ZelvaneMenuAction::selectMultiple)->trigger();
        SelectMultipleDialog* sheet = nullptr;
        pumpWidgetsUntil([&] {
            sheet = window().findChild<SelectMultipleDialog*>();
            return sheet && sheet->isVisible();
        });
        return sheet && sheet->isVisible() ? sheet : nullptr;
    }
    void cancelSheet(QDialog* sheet) {
        QTest::keyClick(sheet, Qt::Key_Escape);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !window().findChild<SelectMultipleDialog*>() || !sheet->isVisible(); }));
    }
};

// A folder moved away and a new one made in its place, and a folder replaced by a file: the
// window shows the scanned ones deleted with everything in them, and says that what replaced them
// is not shown. The same when the swap happens before the watches are in place.
TEST(WindowLiveMonitoring, AnItemReplacedUnderItsNameIsTheScannedOneDeleted) {
    TempDir dir;
    const fs::path swap = dir / "swap";
    for (int i = 1; i <= 3; ++i) {
        writeFile(swap / "D" / ("d" + std::to_string(i)), 100000);
        writeFile(swap / "E" / ("e" + std::to_string(i)), 100000);
        writeFile(swap / "F" / ("f" + std::to_string(i)), 100000);
    }
    writeFile(swap / "keep.txt", 1234);
    writeFile(dir / "other/F/new.bin", 777);
    fs::create_directories(dir / "away");
    LiveWindow w(swap);
    FileNode* root = w.root();
    ASSERT_EQ(root->subFolderTotSize(), 900000 + 1234);
    EXPECT_FALSE(w.staleNoteShown());

    move(swap / "D", dir / "away/D");
    fs::create_directory(swap / "D");
    move(swap / "E", dir / "away/E");
    writeFile(swap / "E", 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(swap / "D") && w.deleted(swap / "E"); }));
    for (const char* item : {"D/d1", "D/d2", "D/d3", "E/e1", "E/e2", "E/e3"}) EXPECT_TRUE(w.deleted(swap / item)) << item;
    EXPECT_FALSE(w.deleted(swap / "keep.txt"));
    EXPECT_EQ(root->subFolderTotSize(), bytesOnDisk(swap));
    EXPECT_EQ(root->subFolderFileCount(), 4);  // keep.txt and F's three
    EXPECT_TRUE(w.stale());
    EXPECT_TRUE(w.staleNoteShown()) << "what took their place is not shown: the window says so";

    // Swapped while nothing watched: the watches that follow find another folder under the name.
    ASSERT_TRUE(w.scan(swap));
    EXPECT_FALSE(w.stale());
    w.setMonitoring(false);
    EXPECT_FALSE(w.live().isWatching());
    move(swap / "F", dir / "away/F");
    move(dir / "other/F", swap / "F");
    w.setMonitoring(true);
    ASSERT_TRUE(w.waitUntilWatching());
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(swap / "F"); }));
    EXPECT_TRUE(w.deleted(swap / "F/f1"));
    EXPECT_EQ(w.root()->subFolderTotSize(), bytesOnDisk(swap) - 777) << "new.bin was never read";
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); }));
}

// Files and folders removed and made again at once, as a shell loop does: the file system may
// give the new item the number of the one removed. The removal is believed all the same: the
// scanned items are shown deleted, their sizes leave the totals, and the window says that what
// stands under their names now is not shown, just as when the two steps are a moment apart.
TEST(WindowLiveMonitoring, AnItemRemovedAndMadeAgainAtOnceIsTheScannedOneDeleted) {
    TempDir dir;
    const fs::path tree = dir / "tree";
    for (int i = 1; i <= 3; ++i) writeFile(tree / ("r" + std::to_string(i) + ".bin"), 1000000);
    writeFile(tree / "D/d.bin", 5000);
    fs::create_directories(tree / "E");
    writeFile(tree / "keep.txt", 1234);
    LiveWindow w(tree);
    FileNode* root = w.root();
    ASSERT_EQ(root->subFolderTotSize(), 3000000 + 5000 + 1234);

    int reused = 0;
    const auto inode = [](const fs::path& p) {
        struct stat st{};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    for (int i = 1; i <= 3; ++i) {
        const fs::path r = tree / ("r" + std::to_string(i) + ".bin");
        const ino_t before = inode(r);
        ASSERT_EQ(::unlink(r.c_str()), 0);
        writeFile(r, std::string_view("hi\n"));
        reused += inode(r) == before;
    }
    for (const char* folder : {"D", "E"}) {
        const ino_t before = inode(tree / folder);
        fs::remove_all(tree / folder);
        ASSERT_TRUE(fs::create_directory(tree / folder));
        reused += inode(tree / folder) == before;
    }
    std::cout << reused << " of 5 items made again took the number of the one removed\n";

    ASSERT_TRUE(w.waitFor([&] {
        return w.deleted(tree / "r1.bin") && w.deleted(tree / "r2.bin") && w.deleted(tree / "r3.bin") &&
               w.deleted(tree / "D") && w.deleted(tree / "E");
    }));
    EXPECT_TRUE(w.deleted(tree / "D/d.bin"));
    EXPECT_FALSE(w.deleted(tree / "keep.txt"));
    EXPECT_EQ(root->subFolderTotSize(), 1234) << "the new items are not read";
    EXPECT_EQ(root->subFolderFileCount(), 1);
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); })) << "what took their place is not shown: the window says so";
}

// Something back under the name of an item already shown deleted, a moment later: the folder
// moved away and back, a file removed and made again. The window does not read it, so it says
// that the result no longer matches the disk.
TEST(WindowLiveMonitoring, AnItemBackUnderAGoneNameIsSaidToBeMissed) {
    TempDir dir;
    writeFile(dir / "tree/D/d.bin", 900);
    writeFile(dir / "tree/E", 500);
    writeFile(dir / "tree/keep.txt", 100);
    fs::create_directories(dir / "away");
    LiveWindow w(dir / "tree");
    FileNode* root = w.root();

    move(dir / "tree/D", dir / "away/D");
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "tree/D"); }));
    EXPECT_FALSE(w.stale()) << "a folder moved out of the tree is only gone";
    move(dir / "away/D", dir / "tree/D");
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); })) << "D is on disk again but shown deleted";
    EXPECT_NE(root->subFolderTotSize(), bytesOnDisk(dir / "tree"));

    ASSERT_TRUE(w.scan(dir / "tree"));
    ASSERT_TRUE(w.waitUntilWatching());
    EXPECT_FALSE(w.staleNoteShown());
    move(dir / "tree/E", dir / "away/E");
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "tree/E"); }));
    EXPECT_FALSE(w.stale());
    writeFile(dir / "tree/E", 20);
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); })) << "a new E stands where the old one is shown deleted";

    // A file only removed stays removed: nothing is missed.
    ASSERT_TRUE(w.scan(dir / "tree"));
    ASSERT_TRUE(w.waitUntilWatching());
    ASSERT_EQ(::unlink((dir / "tree/keep.txt").c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "tree/keep.txt"); }));
    writeFile(dir / "tree/other.txt", 5);
    pumpWidgetsUntil([] { return false; }, 1000);
    EXPECT_FALSE(w.stale());
}

// A folder of the same file system mounted again elsewhere, as `mount --bind` does; undone when
// it goes, unless unmounted before.
class BindMount final {
public:
    BindMount(const fs::path& from, const fs::path& at) : at_(at) {
        mounted_ = ::mount(from.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount() { unmount(); }
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool mounted() const { return mounted_; }
    void unmount() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
        mounted_ = false;
    }

private:
    fs::path at_;
    bool mounted_ = false;
};

// Mounts and unmounts send no inotify event, yet they change what a scanned folder holds: one
// made or undone at or below the root leaves the window saying that changes were missed; one
// elsewhere changes nothing.
TEST(WindowLiveMonitoring, AMountMadeOrUndoneBelowTheRootIsSaidToBeMissed) {
    TempDir dir;
    for (int i = 0; i < 5; ++i) writeFile(dir / "c6" / ("f" + std::to_string(i)), 10000);
    writeFile(dir / "host/sub/s.bin", 3000);
    fs::create_directories(dir / "host/bind");
    fs::create_directories(dir / "elsewhere");
    BindMount bind(dir / "c6", dir / "host/bind");
    if (!bind.mounted()) GTEST_SKIP() << "cannot mount here (needs CAP_SYS_ADMIN)";
    LiveWindow w(dir / "host");
    ASSERT_NE(w.node(dir / "host/bind/f0"), nullptr) << "the bind mount is on the same device: it is read";
    auto* watcher = w.window().findChild<VolumeListWatcher*>();
    ASSERT_TRUE(watcher && watcher->isActive());
    QSignalSpy mountChanges(watcher, &VolumeListWatcher::volumesChanged);

    {
        TmpfsMount away(dir / "elsewhere");
        ASSERT_TRUE(away.mounted());
        ASSERT_TRUE(w.waitFor([&] { return mountChanges.count() > 0; }));
        EXPECT_FALSE(w.stale()) << "nothing was mounted in the scanned tree";
    }

    bind.unmount();
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); })) << "bind is an empty folder on disk now";
    EXPECT_FALSE(w.deleted(dir / "host/bind/f0")) << "nothing is struck: only the notice says it";

    // Something mounted over a scanned folder hides what the tree shows of it.
    ASSERT_TRUE(w.scan(dir / "host"));
    ASSERT_TRUE(w.waitUntilWatching());
    EXPECT_FALSE(w.staleNoteShown());
    {
        TmpfsMount over(dir / "host/sub");
        ASSERT_TRUE(over.mounted());
        EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); })) << "sub shows s.bin, which is hidden now";
    }
}

// Deletions seen while the filter panel shows its copy, and those made by the window's own file
// actions, reach the scanned tree: hiding the panel shows them deleted too, and the other way
// round.
TEST(WindowLiveMonitoring, DeletionsReachTheScannedTreeAndTheFilteredCopyAlike) {
    TempDir dir;
    writeFile(dir / "docs/a.txt", 1000);
    writeFile(dir / "docs/b.txt", 2000);
    writeFile(dir / "docs/c.txt", 3000);
    writeFile(dir / "docs/pic.png", 40000);
    writeFile(dir / "d.txt", 500);
    LiveWindow w(dir.path());
    const auto filterPanel = [&](bool shown) {
        if (w.window().panes().showFilterPanel() != shown) w.key(Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ(w.window().panes().showFilterPanel(), shown);
        ASSERT_TRUE(w.waitFor([&] { return w.finished(); }));
    };
    filterPanel(true);
    w.prefs().set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt"));
    w.key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return w.finished() && !w.node(dir / "docs/pic.png"); }));
    FileNode* copyRoot = w.root();
    ASSERT_NE(copyRoot, w.window().scanControl().scanRoots().at(0).get());
    ASSERT_TRUE(w.waitUntilWatching());

    // Deleted in a shell while the copy is shown.
    ASSERT_EQ(::unlink((dir / "docs/a.txt").c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "docs/a.txt"); }));
    // Deleted by the window, in the copy.
    w.window().treeSelection().set({w.node(dir / "d.txt")});
    testing::ScriptedUser user;
    user.answer({QStringLiteral("Delete Immediately")});
    w.key(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return !fs::exists(dir / "d.txt") && w.deleted(dir / "d.txt"); }));
    EXPECT_EQ(copyRoot->subFolderTotSize(), 2000 + 3000);

    filterPanel(false);
    FileNode* scanRoot = w.root();
    ASSERT_EQ(scanRoot, w.window().scanControl().scanRoots().at(0).get());
    EXPECT_TRUE(w.deleted(dir / "docs/a.txt"));
    EXPECT_TRUE(w.deleted(dir / "d.txt"));
    EXPECT_EQ(scanRoot->subFolderTotSize(), bytesOnDisk(dir.path()));
    EXPECT_EQ(scanRoot->subFolderFileCount(), 3);

    // Deleted while the full tree is shown: the copy, shown again, has it deleted as well.
    ASSERT_EQ(::unlink((dir / "docs/b.txt").c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "docs/b.txt"); }));
    filterPanel(true);
    FileNode* b = w.node(dir / "docs/b.txt");
    EXPECT_TRUE(!b || b->isDeleted());
    EXPECT_EQ(w.root()->subFolderTotSize(), 3000);
    EXPECT_FALSE(w.stale());
}

// A file renamed in the window while the filter panel shows its copy keeps its place in the
// scanned tree under the new name: hiding the panel neither shows the old name, which is gone,
// nor the renamed file as deleted. With monitoring on and off alike.
TEST(WindowLiveMonitoring, ARenameInTheFilteredCopyReachesTheScannedTree) {
    TempDir dir;
    writeFile(dir / "docs/a.txt", 1000);
    writeFile(dir / "docs/b.txt", 2000);
    writeFile(dir / "docs/pic.png", 40000);
    ASSERT_EQ(::link((dir / "docs/b.txt").c_str(), (dir / "docs/b-link.txt").c_str()), 0);
    LiveWindow w(dir.path());
    FileNode* scanRoot = w.root();
    const int64_t total = scanRoot->subFolderTotSize();
    w.window().panes().setShowFilterPanel(true);
    w.prefs().set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt"));
    w.key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return w.finished() && w.root() != scanRoot; }));
    ASSERT_TRUE(w.waitUntilWatching());
    w.window().commands().expandAll();

    w.renameInOutline(w.node(dir / "docs/a.txt"), QStringLiteral("renamed.txt"));
    ASSERT_TRUE(fs::exists(dir / "docs/renamed.txt"));
    // One of two hard links, monitoring off: the other link keeps its name.
    w.setMonitoring(false);
    w.renameInOutline(w.node(dir / "docs/b-link.txt"), QStringLiteral("link2.txt"));
    ASSERT_TRUE(fs::exists(dir / "docs/link2.txt"));
    w.setMonitoring(true);
    ASSERT_TRUE(w.waitUntilWatching());
    pumpWidgetsUntil([] { return false; }, 1000);  // the monitor's reports of the renames

    w.window().panes().setShowFilterPanel(false);
    ASSERT_TRUE(w.waitFor([&] { return w.root() == scanRoot; }));
    EXPECT_EQ(w.node(dir / "docs/a.txt"), nullptr);
    EXPECT_EQ(w.node(dir / "docs/b-link.txt"), nullptr);
    for (const char* name : {"docs/renamed.txt", "docs/b.txt", "docs/link2.txt"}) {
        FileNode* n = w.node(dir / name);
        EXPECT_TRUE(n && !n->isDeleted()) << name;
    }
    EXPECT_EQ(scanRoot->subFolderTotSize(), total);
    EXPECT_FALSE(w.stale());
}

// The pointer moved onto a row of a list, and the row clicked, as a user selects it.
void pointAtAndClick(ContextMenuOutlineView& view, const QModelIndex& row) {
    ASSERT_TRUE(row.isValid());
    view.scrollTo(row);
    const QPoint at = view.visualRect(row).center();
    QMouseEvent move(QEvent::MouseMove, at, view.viewport()->mapToGlobal(at), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(view.viewport(), &move);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
}

// A file renamed in the window to the name of one shown deleted, then deleted in a shell: the
// renamed file is the one that goes, and nothing is said to be missed. The status bar's path of
// the row under the pointer follows the renames of the row, in the Tree View and the File View,
// and of a folder above it, and is no longer shown once the item is gone.
TEST(WindowLiveMonitoring, AFileRenamedToAGoneNameIsFollowedUnderIt) {
    TempDir dir;
    writeFile(dir / "a.txt", 100);
    writeFile(dir / "b.txt", 2000);
    writeFile(dir / "c.txt", 30);
    writeFile(dir / "sub/d.txt", 40);
    LiveWindow w(dir.path());
    const QLabel* hover = w.window().contentView()->statusBar()->hoverLabel();
    ASSERT_EQ(::unlink((dir / "a.txt").c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "a.txt"); }));
    FileNode* b = w.node(dir / "b.txt");
    pointAtAndClick(w.outline().outline(), w.outline().model().indexForNode(b));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return hover->toolTip() == qPath(dir / "b.txt"); }));
    w.renameInOutline(b, QStringLiteral("a.txt"));
    ASSERT_TRUE(fs::exists(dir / "a.txt"));
    EXPECT_TRUE(w.waitFor([&] { return hover->toolTip() == qPath(dir / "a.txt"); })) << hover->toolTip().toStdString();
    pumpWidgetsUntil([] { return false; }, 1000);
    EXPECT_FALSE(b->isDeleted());
    EXPECT_FALSE(w.stale()) << "the tree matches the disk";

    ASSERT_EQ(::unlink((dir / "a.txt").c_str()), 0);
    EXPECT_TRUE(w.waitFor([&] { return b->isDeleted(); })) << "the renamed file is gone";
    EXPECT_EQ(w.root()->subFolderTotSize(), bytesOnDisk(dir.path()));
    EXPECT_FALSE(w.stale());
    EXPECT_TRUE(w.waitFor([&] { return hover->toolTip().isEmpty(); })) << hover->toolTip().toStdString();

    // A folder renamed while the pointer is on a file in it.
    FileNode* sub = w.node(dir / "sub");
    FileNode* d = w.node(dir / "sub/d.txt");
    w.outline().outline().expand(w.outline().model().indexForNode(sub));
    pointAtAndClick(w.outline().outline(), w.outline().model().indexForNode(d));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return hover->toolTip() == qPath(dir / "sub/d.txt"); }));
    w.renameInOutline(sub, QStringLiteral("sub2"));
    ASSERT_TRUE(fs::exists(dir / "sub2/d.txt"));
    EXPECT_TRUE(w.waitFor([&] { return hover->toolTip() == qPath(dir / "sub2/d.txt"); })) << hover->toolTip().toStdString();

    // The File View: its row renamed with F2, then moved away in a shell.
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    FileNode* c = w.node(dir / "c.txt");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.model().indexOfTopNode(c).isValid(); }));
    pointAtAndClick(list.outline(), list.model().indexOfTopNode(c));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return hover->toolTip() == qPath(dir / "c.txt"); }));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.selectedNodes() == std::vector<FileNode*>{c}; }));
    w.key(Qt::Key_F2);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.outline().renameField() != nullptr; }));
    list.outline().renameField()->setText(QStringLiteral("c2.txt"));
    QTest::keyClick(list.outline().renameField(), Qt::Key_Return);
    ASSERT_TRUE(fs::exists(dir / "c2.txt"));
    EXPECT_TRUE(w.waitFor([&] { return hover->toolTip() == qPath(dir / "c2.txt"); })) << hover->toolTip().toStdString();
    move(dir / "c2.txt", dir / "c3.txt");
    EXPECT_TRUE(w.waitFor([&] { return c->isDeleted(); }));
    EXPECT_TRUE(w.waitFor([&] { return hover->toolTip().isEmpty(); })) << hover->toolTip().toStdString();
}

// A tree imported from a CSV file is not the disk: no way of resuming monitoring watches it.
TEST(WindowLiveMonitoring, AnImportIsNeverWatched) {
    TempDir dir;
    writeFile(dir / "data/x.bin", 10);
    const std::string data = (dir / "data").native();
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + data +
                                    "/x.bin\",10,4096,2026/01/02 03:04:05,0,0,0\n");
    LiveWindow w;
    ASSERT_TRUE(w.import(dir / "rows.csv"));
    ASSERT_TRUE(w.window().viewModel().lastScanWasCSVImport());
    EXPECT_FALSE(w.live().isWatching());

    QDialog* sheet = w.openSelectMultiple();
    ASSERT_NE(sheet, nullptr);
    w.cancelSheet(sheet);
    EXPECT_FALSE(w.live().isWatching()) << "cancelling the sheet";

    w.setMonitoring(false);
    w.setMonitoring(true);
    EXPECT_FALSE(w.live().isWatching()) << "switching monitoring on again";

    // A scan afterwards is watched again.
    ASSERT_TRUE(w.scan(dir / "data"));
    EXPECT_TRUE(w.live().isWatching());
}

// Folders whose path is longer than the system takes in one call are watched like any other.
TEST(WindowLiveMonitoring, FoldersDeeperThanTheLongestPathAreWatched) {
    TempDir dir;
    DeepChain chain(dir.path());
    ASSERT_GT(chain.path().size(), 4096u);
    chain.write("deep.bin", std::string(5000, 'x'));
    chain.write("kept.bin", std::string(300, 'k'));
    writeFile(dir / "top.bin", 20);
    LiveWindow w(dir.path());
    EXPECT_EQ(w.live().monitor()->watchCount(), size_t(DeepChain::kLevels + 1));
    EXPECT_FALSE(w.stale());
    FileNode* deep = w.node(chain.path() + "/deep.bin");
    ASSERT_NE(deep, nullptr);
    ASSERT_EQ(w.root()->subFolderTotSize(), 5000 + 300 + 20);

    ASSERT_EQ(::unlinkat(chain.bottom(), "deep.bin", 0), 0);
    ASSERT_TRUE(w.waitFor([&] { return deep->isDeleted(); }));
    EXPECT_EQ(w.root()->subFolderTotSize(), 300 + 20);
    EXPECT_FALSE(w.node(chain.path() + "/kept.bin")->isDeleted());
    EXPECT_FALSE(w.stale());
}

// Whatever goes while the window is not watching yet (monitoring paused for a sheet, or switched
// off and on in Tweaks) is shown deleted once the watches are in place: each folder changed since
// its scan is compared with the disk.
TEST(WindowLiveMonitoring, WhatGoesBeforeTheWatchesAreInPlaceIsShownDeleted) {
    TempDir dir;
    for (int i = 0; i < 20; ++i) writeFile(dir / "A" / ("a" + std::to_string(i)), 1000);
    for (int i = 0; i < 5; ++i) writeFile(dir / "B/Sub" / ("s" + std::to_string(i)), 2000);
    writeFile(dir / "B/Sub/Deeper/z", 50);
    writeFile(dir / "B/b", 3000);
    writeFile(dir / "C/c", 4000);
    LiveWindow w(dir.path());
    FileNode* root = w.root();

    QDialog* sheet = w.openSelectMultiple();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(w.live().isWatching());
    for (int i = 0; i < 10; ++i) fs::remove(dir / "A" / ("a" + std::to_string(i)));
    fs::remove_all(dir / "B/Sub");
    w.cancelSheet(sheet);
    ASSERT_TRUE(w.waitUntilWatching());
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "B/Sub") && w.deleted(dir / "A/a9"); }));
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(w.deleted(dir / "A" / ("a" + std::to_string(i)))) << i;
    EXPECT_FALSE(w.deleted(dir / "A/a10"));
    EXPECT_TRUE(w.deleted(dir / "B/Sub/Deeper/z"));
    EXPECT_EQ(root->subFolderTotSize(), bytesOnDisk(dir.path()));

    w.setMonitoring(false);
    for (int i = 10; i < 15; ++i) fs::remove(dir / "A" / ("a" + std::to_string(i)));
    fs::remove(dir / "C/c");
    w.setMonitoring(true);
    ASSERT_TRUE(w.waitUntilWatching());
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "C/c") && w.deleted(dir / "A/a14"); }));
    EXPECT_EQ(root->subFolderTotSize(), bytesOnDisk(dir.path()));
    EXPECT_EQ(root->subFolderFileCount(), 6);
    EXPECT_FALSE(w.stale()) << "nothing was missed";
}

// A folder the scan read that the user may no longer read when its watch is added: what it holds
// now goes unseen, and the window says so.
TEST(WindowLiveMonitoring, AFolderShutBeforeItsWatchIsSaidToGoUnseen) {
    TempDir dir;
    writeFile(dir / "open/a.txt", 10);
    writeFile(dir / "shut/b.txt", 20);
    LiveWindow w(dir.path());
    w.setMonitoring(false);
    ASSERT_EQ(::chmod((dir / "shut").c_str(), 0), 0);
    {
        testing::ActingAsAnotherUser asAUser;
        w.setMonitoring(true);
        ASSERT_TRUE(w.waitUntilWatching());
    }
    EXPECT_TRUE(w.waitFor([&] { return w.staleNoteShown(); }));
    EXPECT_FALSE(w.deleted(dir / "shut/b.txt")) << "it may still be there";
    ::chmod((dir / "shut").c_str(), 0755);
}

// Every node of the shown tree and every row of the outline against the disk: what is gone is
// shown deleted, nothing still there is, and each folder, and each row, has the size left on disk.
void expectShownAsOnDisk(LiveWindow& w, const fs::path& dir) {
    FileTreeOutlineModel& rows = w.outline().model();
    FileNode* root = w.root();
    EXPECT_EQ(root->subFolderTotSize(), bytesOnDisk(dir));
    std::vector<FileNode*> stack{root};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        const fs::path path = n->pathBytes();
        ASSERT_EQ(n->isDeleted(), !fs::exists(fs::symlink_status(path))) << path;
        if (n->isDir() && !n->isDeleted()) {
            EXPECT_EQ(n->subFolderTotSize(), bytesOnDisk(path)) << path;
        }
        for (FileNode* c : n->children()) stack.push_back(c);
    }
    // The outline's rows say the same.
    const SizeTextFormat sizeText = SizeTextFormat::fromPreferences(w.prefs().value(PreferenceKeys::byteUnitBase),
                                                                    w.prefs().value(PreferenceKeys::byteSizeDisplayMode));
    int checked = 0;
    std::vector<QModelIndex> open{QModelIndex()};
    while (!open.empty()) {
        const QModelIndex parent = open.back();
        open.pop_back();
        for (int r = 0; r < rows.rowCount(parent); ++r) {
            const QModelIndex row = rows.index(r, FileTreeOutlineModel::sizeColumn, parent);
            FileNode* n = rows.nodeAt(row);
            ASSERT_NE(n, nullptr);
            if (w.outline().outline().isExpanded(row.siblingAtColumn(0))) open.push_back(row.siblingAtColumn(0));
            if (n->isSyntheticGroup()) continue;
            const fs::path path = n->pathBytes();
            ASSERT_EQ(n->isDeleted(), !fs::exists(fs::symlink_status(path))) << path;
            if (!n->isDeleted()) {
                EXPECT_EQ(rows.data(row).toString(), sizeText(n->isDir() ? bytesOnDisk(path) : int64_t(fs::file_size(path))))
                    << path;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, root->subFolderFileCount());
}

// Two reports of changes in one turn of the event loop (two deletions told to the window back to
// back, as two file actions ending together tell them): the outline redraws the rows of both, the
// first report's as well as the second's, with the sizes left on disk.
TEST(WindowLiveMonitoring, TwoReportsInOneTurnRedrawTheRowsOfBoth) {
    TempDir dir;
    writeFile(dir / "A/sub/a1", 300000);
    writeFile(dir / "A/sub/a2", 1000);
    writeFile(dir / "A/other/x", 1000);
    writeFile(dir / "B/sub/b1", 200000);
    writeFile(dir / "B/sub/b2", 2000);
    writeFile(dir / "B/other/y", 1000);
    writeFile(dir / "C/c1", 5000);
    LiveWindow w(dir.path());
    w.setMonitoring(false);  // only the window's own reports
    FileTreeOutlineModel& rows = w.outline().model();
    FileNode* a = w.node(dir / "A/sub");
    FileNode* b = w.node(dir / "B/sub");
    w.outline().outline().expand(rows.indexForNode(w.node(dir / "A")));
    w.outline().outline().expand(rows.indexForNode(w.node(dir / "B")));
    ASSERT_TRUE(w.waitFor([&] { return rows.existingIndexForNode(a).isValid() && rows.existingIndexForNode(b).isValid(); }));
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));

    QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);
    QSignalSpy relaid(&rows, &QAbstractItemModel::layoutChanged);
    FileNode* a1 = w.node(dir / "A/sub/a1");
    FileNode* b1 = w.node(dir / "B/sub/b1");
    ASSERT_EQ(::unlink((dir / "A/sub/a1").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "B/sub/b1").c_str()), 0);
    w.live().markDeletedLocally(std::vector<FileNode*>{a1});
    w.live().markDeletedLocally(std::vector<FileNode*>{b1});
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));

    // A row is redrawn when a change of data covers it, or every row is laid out again.
    const auto redrawn = [&](FileNode* n) {
        if (!relaid.isEmpty()) return true;
        const QModelIndex row = rows.existingIndexForNode(n);
        return std::any_of(changed.begin(), changed.end(), [&](const QList<QVariant>& args) {
            const QModelIndex from = args[0].value<QModelIndex>(), to = args[1].value<QModelIndex>();
            return from.parent() == row.parent() && from.row() <= row.row() && row.row() <= to.row() &&
                   from.column() <= FileTreeOutlineModel::sizeColumn && FileTreeOutlineModel::sizeColumn <= to.column();
        });
    };
    EXPECT_TRUE(redrawn(a)) << "the first report's folder";
    EXPECT_TRUE(redrawn(b)) << "the second report's folder";
    EXPECT_TRUE(redrawn(w.node(dir / "A")));
    EXPECT_TRUE(redrawn(w.root()));
    expectShownAsOnDisk(w, dir.path());

    // A later report, in a turn of its own, is redrawn too.
    changed.clear();
    relaid.clear();
    FileNode* c1 = w.node(dir / "C/c1");
    ASSERT_EQ(::unlink((dir / "C/c1").c_str()), 0);
    w.live().markDeletedLocally(std::vector<FileNode*>{c1});
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));
    EXPECT_TRUE(redrawn(w.node(dir / "C")));
    expectShownAsOnDisk(w, dir.path());
}

// Thousands of files deleted and moved away in one go behind the window's back, with every
// folder open in the outline: the window takes them in over several batches and ends with each of
// them shown deleted, each folder and each of its rows with the size left on disk, and nothing
// still on disk shown deleted.
TEST(WindowLiveMonitoring, ALargeDeletionBehindTheWindowEndsWithTheTreeRight) {
    TempDir dir;
    TempDir away;
    const auto name = [](const char* stem, int i) { return stem + std::to_string(i); };
    for (int f = 0; f < 30; ++f)
        for (int i = 0; i < 200; ++i)
            writeFile(dir / name("d", f) / name("sub", i % 3) / name("f", i), 100 + f * 7 + i);
    LiveWindow w(dir.path());
    w.key(Qt::Key_F4, Qt::ShiftModifier);  // Expand All
    FileTreeOutlineModel& rows = w.outline().model();
    ASSERT_TRUE(w.waitFor([&] { return rows.cachedRowCount() > 3000; }));

    std::vector<FileNode*> gone;
    for (int f = 0; f < 30; ++f)
        for (int i = 0; i < 200; ++i)
            if (i % 3 != 0 && f != 5) {
                const fs::path file = dir / name("d", f) / name("sub", i % 3) / name("f", i);
                gone.push_back(w.node(file));
                ASSERT_EQ(::unlink(file.c_str()), 0);
            }
    gone.push_back(w.node(dir / "d5"));
    gone.push_back(w.node(dir / "d17/sub0"));
    move(dir / "d5", away / "d5");
    move(dir / "d17/sub0", away / "sub0");
    ASSERT_TRUE(w.waitFor([&] {
        return std::all_of(gone.begin(), gone.end(), [](FileNode* n) { return n->isDeleted(); }) &&
               !w.live().hasPendingRefresh();
    }));
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));

    EXPECT_EQ(w.root()->subFolderFileCount(), 28 * 67);  // sub0's files, but for d5 and d17
    expectShownAsOnDisk(w, dir.path());
    EXPECT_FALSE(w.stale());
}

// Thousands of files deleted by the window itself in one go, with monitoring off (from its keys and
// from the treemap's menu: only what the actions report shows them gone) and then on (when the
// monitor sees the same removals): every one is shown deleted once, and the folders and their rows
// keep the size left on disk.
TEST(WindowLiveMonitoring, ALargeDeletionByTheWindowEndsWithTheTreeRight) {
    TempDir dir;
    TempDir home;
    const auto name = [](const char* stem, int i) { return stem + std::to_string(i); };
    constexpr int kFiles = 800;
    for (int f = 0; f < 12; ++f)
        for (int i = 0; i < kFiles; ++i) writeFile(dir / name("d", f) / name("f", i), 50 + f * 3 + i);
    LiveWindow w(dir.path());
    w.key(Qt::Key_F4, Qt::ShiftModifier);  // Expand All
    const auto byKeys = [&](const std::vector<FileNode*>&) { w.key(Qt::Key_Delete, Qt::ShiftModifier); };
    // The treemap's own file actions, as its context menu shows them for these nodes.
    FileActionMenu& treemapActions = w.window().contentView()->treeViewTab()->treemapCanvas()->fileActionMenu();
    TrashEnvironment trash;
    trash.homeTrash = (home / "Trash").native();
    trash.uid = ::geteuid();
    treemapActions.actions().setTrashEnvironment(trash);
    const auto fromTreemap = [&](const std::vector<FileNode*>& nodes) {
        std::unique_ptr<QMenu> menu(treemapActions.makeContextMenu([nodes] { return nodes; }));
        QAction* moveToTrash = menu->findChild<QAction*>(QStringLiteral("moveToTrash"));
        ASSERT_TRUE(moveToTrash);
        moveToTrash->trigger();
    };
    using Erase = std::function<void(const std::vector<FileNode*>&)>;
    const auto deleteInWindow = [&](int keepEvery, const Erase& erase, const QString& answer) {
        NodeSet chosen;
        for (int f = 0; f < 12; ++f)
            for (int i = 0; i < kFiles; ++i)
                if (i % keepEvery != 0)
                    if (FileNode* n = w.node(dir / name("d", f) / name("f", i)); n && !n->isDeleted()) chosen.insert(n);
        ASSERT_GT(chosen.size(), 1000);
        const std::vector<FileNode*> nodes(chosen.begin(), chosen.end());
        w.window().treeSelection().set(chosen);
        testing::ScriptedUser user;
        user.answer({answer});
        erase(nodes);
        ASSERT_TRUE(w.waitFor([&] {
            return std::all_of(nodes.begin(), nodes.end(), [](FileNode* n) { return n->isDeleted(); }) &&
                   !QGuiApplication::overrideCursor() && !w.live().hasPendingRefresh();
        }));
        ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));
    };

    w.setMonitoring(false);
    deleteInWindow(2, byKeys, QStringLiteral("Delete Immediately"));
    EXPECT_EQ(w.root()->subFolderFileCount(), 12 * kFiles / 2);
    expectShownAsOnDisk(w, dir.path());
    deleteInWindow(4, fromTreemap, QStringLiteral("Move to Trash"));
    EXPECT_EQ(w.root()->subFolderFileCount(), 12 * kFiles / 4);
    expectShownAsOnDisk(w, dir.path());

    w.setMonitoring(true);
    ASSERT_TRUE(w.waitUntilWatching());
    deleteInWindow(8, byKeys, QStringLiteral("Delete Immediately"));
    pumpWidgetsUntil([] { return false; }, 1000);  // the monitor's own report of the same removals, if any
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));
    EXPECT_EQ(w.root()->subFolderFileCount(), 12 * kFiles / 8);
    expectShownAsOnDisk(w, dir.path());
    EXPECT_FALSE(w.stale());
}

// A folder erased while the monitor is on is seen going file by file before the window marks it.
// However its content went, a deleted folder's row shows what it held, as one marked at once
// does, its folders below too, while the folders above it lose all of it once.
TEST(WindowLiveMonitoring, AFolderDeletedAfterItsFilesWereSeenGoingShowsWhatItHeld) {
    TempDir dir;
    for (int s = 0; s < 3; ++s)
        for (int i = 0; i < 100; ++i) writeFile(dir / "big" / ("s" + std::to_string(s)) / ("f" + std::to_string(i)), 1000 + i);
    writeFile(dir / "other/keep.bin", 777);
    LiveWindow w(dir.path());
    FileNode* big = w.node(dir / "big");
    FileNode* s0 = w.node(dir / "big/s0");
    ASSERT_TRUE(big && s0);
    const AggregateTotals held{big->subFolderTotSize(), big->subFolderTotSizeAlloc(), big->subFolderFileCount(), big->subFolderDirCount()};
    const AggregateTotals s0Held{s0->subFolderTotSize(), s0->subFolderTotSizeAlloc(), s0->subFolderFileCount(), s0->subFolderDirCount()};
    ASSERT_EQ(held.files, 300);
    const auto totals = [](const FileNode* n) {
        return AggregateTotals{n->subFolderTotSize(), n->subFolderTotSizeAlloc(), n->subFolderFileCount(), n->subFolderDirCount()};
    };
    w.outline().outline().expand(w.outline().model().indexForNode(w.root()));
    const auto itemsShown = [&](FileNode* n) {
        return w.outline().model().index(w.outline().model().indexForNode(n).row(), FileTreeOutlineModel::itemsColumn,
                                         w.outline().model().indexForNode(n).parent()).data().toString();
    };
    const QString itemsHeld = itemsShown(big);
    ASSERT_TRUE(itemsHeld.contains(QStringLiteral("303"))) << itemsHeld.toStdString();

    // Another program erases a subfolder, its files first: the folder above shows what is left.
    fs::remove_all(dir / "big/s0");
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "big/s0") && !w.live().hasPendingRefresh(); }));
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));
    EXPECT_EQ(totals(s0), s0Held);
    EXPECT_EQ(big->subFolderFileCount(), 200);
    EXPECT_FALSE(big->isDeleted());

    // Delete Immediately of the folder in the Tree View: its row shows all it held, and so do its
    // folders; the root has lost it once.
    for (int i = 0; i < 40; ++i) ASSERT_EQ(::unlink((dir / "big/s1" / ("f" + std::to_string(i))).c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.deleted(dir / "big/s1/f39") && !w.live().hasPendingRefresh(); }));
    EXPECT_EQ(big->subFolderFileCount(), 160);
    w.window().treeSelection().set({big});
    testing::ScriptedUser user;
    user.answer({QStringLiteral("Delete Immediately")});
    w.key(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return big->isDeleted() && !QGuiApplication::overrideCursor() && !w.live().hasPendingRefresh(); }));
    pumpWidgetsUntil([] { return false; }, 500);  // the monitor's own report of the same removal, if any
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "big"));
    EXPECT_EQ(totals(big), held);
    EXPECT_EQ(totals(s0), s0Held);
    EXPECT_EQ(w.node(dir / "big/s1")->subFolderFileCount(), 100);
    EXPECT_EQ(itemsShown(big), itemsHeld);
    EXPECT_EQ(w.root()->subFolderFileCount(), 1);
    EXPECT_EQ(w.root()->subFolderDirCount(), 1);
    expectShownAsOnDisk(w, dir.path());
}

// Files deleted behind the window's back keep their boxes in the treemap, outlined in red just
// inside their edges (a band two points wide), while the files left show no outline; the outlines
// stay on repaints.
TEST(WindowLiveMonitoring, FilesDeletedBehindTheWindowAreOutlinedInRedInTheTreemap) {
    TempDir dir;
    writeFile(dir / "kept/big.bin", 3000000);
    writeFile(dir / "gone/middle.bin", 2000000);
    writeFile(dir / "kept/small.bin", 1000000);
    for (int i = 0; i < 40; ++i) writeFile(dir / "gone/many" / ("f" + std::to_string(i)), 15000 + 2000 * i);
    LiveWindow w(dir.path());
    TreemapCanvas& canvas = *w.window().contentView()->treeViewTab()->treemapCanvas();
    const TreemapCanvasModel& model = canvas.model();
    ASSERT_TRUE(w.waitFor([&] { return w.treemapDrawn(); }));
    FileNode* gone = w.node(dir / "gone/middle.bin");
    FileNode* kept = w.node(dir / "kept/big.bin");
    ASSERT_TRUE(gone && kept);
    const TreemapRect* goneBox = model.layout().nodeRects.find(gone);
    const TreemapRect* keptBox = model.layout().nodeRects.find(kept);
    ASSERT_TRUE(goneBox && keptBox);
    const TreemapRect goneRect = *goneBox, keptRect = *keptBox;
    ASSERT_GT(goneRect.width, 20);
    ASSERT_GT(goneRect.height, 20);

    ASSERT_EQ(::unlink((dir / "gone/middle.bin").c_str()), 0);
    for (int i = 0; i < 40; i += 2) ASSERT_EQ(::unlink((dir / "gone/many" / ("f" + std::to_string(i))).c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return gone->isDeleted() && !w.live().hasPendingRefresh(); }));
    ASSERT_TRUE(w.waitFor([&] { return model.overlays().deleted.size() >= 10; }));
    ASSERT_TRUE(w.waitFor([&] { return w.changesShown(); }));

    const QColor red(255, 59, 48);
    for (int repaint = 0; repaint < 2; ++repaint) {
        const QImage shot = canvas.grab().toImage();
        // Inside the edge on each side, and the middle of the box.
        const int midX = int(goneRect.x + goneRect.width / 2), midY = int(goneRect.y + goneRect.height / 2);
        EXPECT_EQ(shot.pixelColor(midX, int(goneRect.y + 1)), red) << "top";
        EXPECT_EQ(shot.pixelColor(midX, int(goneRect.y + goneRect.height - 1)), red) << "bottom";
        EXPECT_EQ(shot.pixelColor(int(goneRect.x + 1), midY), red) << "left";
        EXPECT_EQ(shot.pixelColor(int(goneRect.x + goneRect.width - 1), midY), red) << "right";
        EXPECT_NE(shot.pixelColor(midX, midY), red) << "only the edge is outlined";
        EXPECT_NE(shot.pixelColor(midX, int(goneRect.y + 4)), red) << "the band is two points wide";
        EXPECT_NE(shot.pixelColor(int(keptRect.x + keptRect.width / 2), int(keptRect.y + 1)), red)
            << "a file still there is not outlined";
        if (repaint == 0) {
            const QString path = QDir::current().absoluteFilePath(QStringLiteral("treemap-deleted.png"));
            EXPECT_TRUE(shot.save(path)) << path.toStdString();
        }
        canvas.repaint();
    }

    // The pointer moving over the boxes repaints only the boxes the hover outline leaves and
    // enters: what the window shows is still what a whole repaint draws, outlines and all.
    const auto shown = [&] {
        const QPoint at = canvas.mapTo(canvas.window(), QPoint(0, 0));
        return canvas.screen()->grabWindow(canvas.window()->winId()).toImage().copy(QRect(at, canvas.size()));
    };
    const auto centre = [](const TreemapRect& r) { return QPoint(int(r.x + r.width / 2), int(r.y + r.height / 2)); };
    for (const QPoint point : {centre(keptRect), centre(goneRect), centre(keptRect)}) {
        QTest::mouseMove(&canvas, point);
        ASSERT_TRUE(model.overlays().hovered);
        // The window repaints what changed on a later turn of the event loop.
        const auto whole = [&] { return canvas.grab().toImage().convertToFormat(QImage::Format_RGB32); };
        const auto screen = [&] { return shown().convertToFormat(QImage::Format_RGB32); };
        EXPECT_TRUE(w.waitFor([&] { return screen() == whole(); })) << "after the pointer moved to " << point.x() << "," << point.y();
    }
}

// Files that go behind the window's back keep their boxes, in their colours, outlined in red, as
// much when a folder is moved away or emptied file by file as when some of its files go: the
// file-type table counts without them, the treemap keeps its colours. A picture made again later
// paints every deleted file grey whatever its type, a header whose type other headers keep
// coloured like the file moved with it whose type went with it.
TEST(WindowLiveMonitoring, FilesGoneBehindTheWindowKeepTheirBoxesAndArePaintedAlike) {
    TempDir dir;
    const fs::path root = dir / "root";
    writeFile(root / "kept/a.h", 3000000);
    writeFile(root / "kept/notes.txt", 1000000);
    writeFile(root / "moved/b.h", 2000000);
    writeFile(root / "moved/c.xyz", 2000000);
    writeFile(root / "emptied/d.h", 1500000);
    writeFile(root / "emptied/e.txt", 1500000);
    fs::create_directories(dir / "outside");
    LiveWindow w(root);
    TreemapCanvas& canvas = *w.window().contentView()->treeViewTab()->treemapCanvas();
    const TreemapCanvasModel& model = canvas.model();
    const auto drawn = [&] { return w.treemapDrawn(); };
    ASSERT_TRUE(w.waitFor(drawn));
    FileNode* keptHeader = w.node(root / "kept/a.h");
    FileNode* movedHeader = w.node(root / "moved/b.h");
    FileNode* movedOther = w.node(root / "moved/c.xyz");
    FileNode* emptiedHeader = w.node(root / "emptied/d.h");
    FileNode* emptiedOther = w.node(root / "emptied/e.txt");
    ASSERT_TRUE(keptHeader && movedHeader && movedOther && emptiedHeader && emptiedOther);
    const auto leafOf = [&](const FileNode* node) -> const TreemapLeaf* {
        for (const TreemapLeaf& leaf : model.layout().leaves)
            if (leaf.node == node) return &leaf;
        return nullptr;
    };
    const TreemapLeaf* beforeHeader = leafOf(movedHeader);
    ASSERT_TRUE(beforeHeader);
    const uint8_t headerColor = beforeHeader->colorIndex;
    ASSERT_NE(headerColor, kGraySlot);
    const size_t typesBefore = w.window().fileTypes().extensionStats().size();

    fs::rename(root / "moved", dir / "outside/moved");
    ASSERT_EQ(::unlink((root / "emptied/d.h").c_str()), 0);
    ASSERT_EQ(::unlink((root / "emptied/e.txt").c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] {
        return movedOther->isDeleted() && emptiedHeader->isDeleted() && emptiedOther->isDeleted() &&
               !w.live().hasPendingRefresh() && w.window().fileTypes().extensionStats().size() < typesBefore;
    }));
    ASSERT_TRUE(w.waitFor(drawn));
    // The boxes stay where they were, in their colours, each outlined.
    for (const FileNode* gone : {movedHeader, movedOther, emptiedHeader, emptiedOther}) {
        const TreemapLeaf* leaf = leafOf(gone);
        ASSERT_TRUE(leaf) << gone->name();
        const TreemapRect box = leaf->rect;
        const auto outlined = model.overlays().deleted;
        EXPECT_NE(std::find(outlined.begin(), outlined.end(), box), outlined.end()) << gone->name();
    }
    EXPECT_EQ(leafOf(movedHeader)->colorIndex, headerColor);

    // A picture made again, at another size.
    const TreemapLayout* before = &model.layout();
    const QSizeF shownSize = model.viewSize();
    w.window().resize(w.window().width() + 80, w.window().height() + 40);
    ASSERT_TRUE(w.waitFor([&] { return model.viewSize() != shownSize; }));
    ASSERT_TRUE(w.waitFor([&] { return drawn() && &model.layout() != before && model.renderedSize() == model.viewSize(); }));
    const TreemapLeaf* kept = leafOf(keptHeader);
    const TreemapLeaf* header = leafOf(movedHeader);
    const TreemapLeaf* other = leafOf(movedOther);
    ASSERT_TRUE(kept && header && other);
    EXPECT_NE(kept->colorIndex, kGraySlot) << "headers still there keep their colour";
    EXPECT_EQ(header->colorIndex, kGraySlot);
    EXPECT_EQ(other->colorIndex, kGraySlot);

    const QImage shot = canvas.grab().toImage();
    EXPECT_TRUE(shot.save(QDir::current().absoluteFilePath(QStringLiteral("treemap-moved-away.png"))));
    const auto centre = [&](const TreemapLeaf& leaf) {
        return shot.pixelColor(int(leaf.rect.x + leaf.rect.width / 2), int(leaf.rect.y + leaf.rect.height / 2));
    };
    const auto grey = [](const QColor& c) { return std::abs(c.red() - c.green()) <= 6 && std::abs(c.green() - c.blue()) <= 6; };
    EXPECT_FALSE(grey(centre(*kept))) << centre(*kept).name().toStdString();
    EXPECT_TRUE(grey(centre(*header))) << centre(*header).name().toStdString();
    EXPECT_TRUE(grey(centre(*other))) << centre(*other).name().toStdString();
}

}  // namespace
}  // namespace zelvane

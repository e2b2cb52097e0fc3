// The file actions as a user meets them: a real window over a real scanned (or imported) folder,
// driven by its keys and its context menu, with the alerts answered by keys. Each case is one
// that lost data or hid a failure: mounted file systems, imported folders, failures told wrongly,
// paths longer than the system takes at once, names that are not UTF-8, large sparse files, the
// first-start offer to move the program.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zip.h>

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "DeepChain.hpp"
#include "OnScopeExit.hpp"
#include "Platform/FileDescriptor.hpp"
#include "QtWidgetTestApp.hpp"
#include "ScriptedUser.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::DeepChain;
using fixtures::TempDir;
namespace fs = std::filesystem;

using testsupport::existsNoFollow;
using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

bool existsAt(int folder, const std::string& name) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// A main window on a folder of its own, its home trash under `dataHome`, scanned or imported,
// shown and active, as the user has it in front of them.
class WindowAtHand final {
public:
    explicit WindowAtHand(const fs::path& dataHome) {
        qtWidgetApp();
        fs::create_directories(dataHome);
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        window_ = std::make_unique<MainWindow>(prefs_, CLIAutomation::Options{});
        window_->setStartupHooks({});
        window_->resize(1200, 800);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    MainWindow& window() { return *window_; }
    Preferences& prefs() { return prefs_; }
    void close() { window_.reset(); }

    FileNode* scan(const fs::path& folder) {
        const QString path = QString::fromStdString(folder.native());
        window().scanControl().scanChosenFolder(path);
        return waitForRoot();
    }

    FileNode* import(const fs::path& csv) {
        window().volumeChoice().setSelectedVolumeID(PickerTag::selectCSV);
        window().viewModel().startCSVImport(QString::fromStdString(csv.native()), false);
        return waitForRoot();
    }

    // The node at an absolute path below the shown root.
    FileNode* node(const fs::path& path) {
        FileNode* root = window().scanControl().effectiveRoots().at(0).get();
        const std::string rootPath = root->pathBytes();
        std::string rest = path.native().substr(rootPath == "/" ? 1 : rootPath.size() + 1);
        FileNode* at = root;
        while (at && !rest.empty()) {
            const size_t slash = rest.find('/');
            const std::string name = rest.substr(0, slash);
            rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
            FileNode* next = nullptr;
            for (FileNode* c : at->children())
                if (c->nameBytes() == name) next = c;
            at = next;
        }
        return at;
    }

    // Selects the node's row (its folders opened).
    void select(FileNode* n) {
        window().treeSelection().set({n});
        showRow(n);
    }

    // A key pressed in the outline, the window active, as after a click on the row; returns as
    // the key's action does, whatever it left running in the background.
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        window_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        outline().setFocus();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return outline().hasFocus(); }));
        QTest::keyClick(&outline(), key, modifiers);
        QCoreApplication::processEvents();
    }

    // The same, and then the user waits until the busy pointer is gone.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        pressKey(key, modifiers);
        EXPECT_TRUE(pumpWidgetsUntil([] { return !QGuiApplication::overrideCursor(); }, 60000));
    }

    // The rename field of the node's row, opened with F2 on the selected row; null when none opened.
    QLineEdit* beginRename(FileNode* n) {
        select(n);
        press(Qt::Key_F2);
        return outline().renameField();
    }

    // The row's context menu, opened by a right click; the user script picks the item.
    void rightClickRow(FileNode* n) {
        const QModelIndex index = showRow(n);
        rightClick(outline().viewport(), outline().visualRect(index).center());
        QCoreApplication::processEvents();
    }

    // The exclude filter typed into the shown filter panel and applied with Return.
    void excludeInPanel(const QString& text) {
        window().panes().setShowFilterPanel(true);
        FilterSyntaxTextField& field = window_->contentView()->filterPanel()->excludeField();
        window_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        EXPECT_TRUE(pumpWidgetsUntil([&] { return field.isVisible(); }));
        field.setFocus();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return field.hasFocus(); }));
        QTest::keyClicks(&field, text);
        QTest::keyClick(&field, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    ContextMenuOutlineView& outline() { return window_->contentView()->treeViewTab()->outline()->outline(); }

private:
    FileNode* waitForRoot() {
        EXPECT_TRUE(pumpWidgetsUntil([&] {
            return !window().viewModel().scanState().isScanning() && !window().scanControl().effectiveRoots().empty();
        }));
        const auto& roots = window().scanControl().effectiveRoots();
        return roots.empty() ? nullptr : roots[0].get();
    }

    QModelIndex showRow(FileNode* n) {
        FileTreeOutlineView& view = *window_->contentView()->treeViewTab()->outline();
        std::vector<FileNode*> chain;
        for (FileNode* p = n->parent(); p; p = p->parent()) chain.push_back(p);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) outline().expand(view.model().indexForNode(*it));
        const QModelIndex index = view.model().indexForNode(n);
        // The name column widened by the user until a deep row's name shows.
        const int wanted = outline().indentation() * int(chain.size() + 1) + 300;
        if (outline().header()->sectionSize(0) < wanted) outline().header()->resizeSection(0, wanted);
        outline().scrollTo(index);
        QCoreApplication::processEvents();
        return index;
    }

    QTemporaryDir prefsDir_;
    Preferences prefs_{prefsDir_.filePath("p.plist")};
    std::unique_ptr<MainWindow> window_;
};

TEST(WindowFileActions, AFolderWithAnotherFileSystemAtOrBelowItIsNeitherErasedNorTrashed) {
    TempDir dir;
    writeFile(dir / "holder/own.txt", "own");
    TmpfsMount mounted(dir / "holder/mp");
    TmpfsMount deeper(dir / "holder/outer/inner/mp2");
    if (!mounted.mounted() || !deeper.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "holder/mp/a.txt", "on the mounted volume");
    writeFile(dir / "holder/mp/sub/b.txt", "also");
    writeFile(dir / "holder/outer/o.txt", "outer's own");
    writeFile(dir / "holder/outer/inner/mp2/c.txt", "deeper volume");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir / "holder"));
    FileNode* mp = w.node(dir / "holder/mp");
    FileNode* outer = w.node(dir / "holder/outer");
    ASSERT_TRUE(mp && outer);
    EXPECT_TRUE(mp->children().empty()) << "the scan entered the mounted file system";

    // Shift+Delete, then Return on whatever comes up: the mount point is refused, and says why.
    w.select(mp);
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"mp\" can't be deleted."));
    EXPECT_TRUE(user.alerts[0].informativeText.contains("mounted")) << user.alerts[0].informativeText.toStdString();
    EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
    // Delete (to the Trash), Return, Return: refused as well, and no trash folder appears anywhere.
    user.clear();
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"mp\" can't be moved to the Trash."));
    EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});

    // A folder with a file system mounted two levels below it: refused whole, naming the place.
    for (bool trash : {false, true}) {
        user.clear();
        w.select(outer);
        user.answer({Qt::Key_Return, Qt::Key_Return});
        w.press(Qt::Key_Delete, trash ? Qt::NoModifier : Qt::ShiftModifier);
        ASSERT_EQ(user.alerts.size(), 1u);
        EXPECT_TRUE(user.alerts[0].informativeText.contains("outer/inner/mp2")) << user.alerts[0].informativeText.toStdString();
        EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
    }

    EXPECT_EQ(readFile(dir / "holder/mp/a.txt"), "on the mounted volume");
    EXPECT_EQ(readFile(dir / "holder/mp/sub/b.txt"), "also");
    EXPECT_EQ(readFile(dir / "holder/outer/o.txt"), "outer's own");
    EXPECT_EQ(readFile(dir / "holder/outer/inner/mp2/c.txt"), "deeper volume");
    EXPECT_EQ(namesIn(dir / "holder"), (std::vector<std::string>{"mp", "outer", "own.txt"}));
    EXPECT_EQ(namesIn(dir / "holder/mp"), (std::vector<std::string>{"a.txt", "sub"}));
    EXPECT_FALSE(mp->isDeleted());
    EXPECT_FALSE(existsNoFollow(dir / "data/Trash/files"));

    // A folder bound in another place of the same file system is a mount as well: erasing it would
    // erase the folder it shows.
    writeFile(dir / "bound/kept.txt", "bound elsewhere");
    fs::create_directories(dir / "holder/own");
    ASSERT_EQ(::mount((dir / "bound").c_str(), (dir / "holder/own").c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_TRUE(w.scan(dir / "holder"));
    FileNode* own = w.node(dir / "holder/own");
    ASSERT_TRUE(own);
    user.clear();
    w.select(own);
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ::umount2((dir / "holder/own").c_str(), MNT_DETACH);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
    EXPECT_EQ(readFile(dir / "bound/kept.txt"), "bound elsewhere");
    ASSERT_TRUE(w.scan(dir / "holder"));

    // Scanned on its own, the mounted volume's items go to the trash at its own top, and nothing
    // is made on the file system around it.
    ASSERT_TRUE(w.scan(dir / "holder/mp"));
    FileNode* b = w.node(dir / "holder/mp/sub/b.txt");
    ASSERT_TRUE(b);
    user.clear();
    w.select(b);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Move \"b.txt\" to the Trash?"));
    const std::string trash = ".Trash-" + std::to_string(::geteuid());
    EXPECT_EQ(readFile(dir / "holder/mp" / trash / "files/b.txt"), "also");
    EXPECT_TRUE(readFile(dir / "holder/mp" / trash / "info/b.txt.trashinfo").find("\nPath=sub/b.txt\n") != std::string::npos);
    EXPECT_EQ(namesIn(dir / "holder"), (std::vector<std::string>{"mp", "outer", "own", "own.txt"}));
    EXPECT_TRUE(b->isDeleted());
}

TEST(WindowFileActions, FoldersOfAnImportAreErasedOnlyAfterSayingWhatTheDiskHoldsNow) {
    TempDir dir;
    writeFile(dir / "x/victim/sub/x.txt", "seen in the import");
    writeFile(dir / "x/victim/other/unseen.bin", std::string(3000, 'u'));
    const std::string victim = (dir / "x/victim").native();
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + victim +
                                     "/sub/x.txt\",18,4096,2026/01/02 03:04:05,0,0,0\n");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.import(dir / "rows.csv"));
    w.window().commands().expandAll();
    FileNode* made = w.node(dir / "x/victim");
    FileNode* madeAbove = w.node(dir / "x");
    ASSERT_TRUE(made && madeAbove);

    // Folders the import made up for the path of its one row: no action changes them on disk.
    for (FileNode* folder : {made, madeAbove}) {
        for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers()}) {
            user.clear();
            w.select(folder);
            user.answer({Qt::Key_Return, Qt::Key_Return});
            w.press(Qt::Key_Delete, modifiers);
            ASSERT_EQ(user.alerts.size(), 1u);
            EXPECT_TRUE(user.alerts[0].informativeText.contains("no row of its own")) << user.alerts[0].informativeText.toStdString();
            EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
        }
    }
    user.clear();
    w.select(made);
    user.choose({"Duplicate"});
    user.answer({Qt::Key_Return});
    w.rightClickRow(made);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't duplicate \"victim\""));
    user.clear();
    user.answer({Qt::Key_Return});
    QLineEdit* field = w.beginRename(made);
    if (field) {
        field->setText(QStringLiteral("renamed"));
        QTest::keyClick(field, Qt::Key_Return);
    }
    EXPECT_EQ(namesIn(dir / "x"), std::vector<std::string>{"victim"});
    EXPECT_EQ(namesIn(dir / "x/victim"), (std::vector<std::string>{"other", "sub"}));
    EXPECT_EQ(readFile(dir / "x/victim/other/unseen.bin"), std::string(3000, 'u'));

    // With a row of its own, the folder's question says what is on disk below it now; Escape
    // keeps it.
    writeFile(dir / "folders.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + victim +
                                        "/\",18,4096,2026/01/02 03:04:05,0,1,1\n\"" + victim +
                                        "/sub/x.txt\",18,4096,2026/01/02 03:04:05,0,0,0\n");
    ASSERT_TRUE(w.import(dir / "folders.csv"));
    FileNode* row = w.node(dir / "x/victim");
    ASSERT_TRUE(row);
    user.clear();
    w.select(row);
    user.answer({Qt::Key_Escape});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Permanently erase \"victim\"?"));
    EXPECT_TRUE(user.alerts[0].informativeText.endsWith("On disk now: 4 items, 3.0 kB") ||
                user.alerts[0].informativeText.endsWith("On disk now: 4 items, 3.0 KB"))
        << user.alerts[0].informativeText.toStdString();
    EXPECT_TRUE(existsNoFollow(dir / "x/victim/other/unseen.bin"));

    // A row that says "file" for what is a folder on disk now asks the same way.
    writeFile(dir / "filerow.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + victim +
                                        "\",18,4096,2026/01/02 03:04:05,0,0,0\n");
    ASSERT_TRUE(w.import(dir / "filerow.csv"));
    FileNode* fileRow = w.node(dir / "x/victim");
    ASSERT_TRUE(fileRow && !fileRow->isDir());
    user.clear();
    w.select(fileRow);
    user.answer({Qt::Key_Escape});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Move \"victim\" to the Trash?"));
    EXPECT_TRUE(user.alerts[0].informativeText.contains("On disk now: 4 items")) << user.alerts[0].informativeText.toStdString();
    ASSERT_TRUE(w.import(dir / "folders.csv"));
    row = w.node(dir / "x/victim");
    ASSERT_TRUE(row);
    w.select(row);

    // What cannot be read below it now is not erased unseen.
    ASSERT_EQ(::chmod((dir / "x/victim/other").c_str(), 0), 0);
    {
        ActingAsAnotherUser asAUser;
        user.clear();
        user.answer({Qt::Key_Return, Qt::Key_Return});
        w.press(Qt::Key_Delete, Qt::ShiftModifier);
    }
    ::chmod((dir / "x/victim/other").c_str(), 0755);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"victim\" can't be deleted."));
    EXPECT_TRUE(user.alerts[0].informativeText.contains("victim/other")) << user.alerts[0].informativeText.toStdString();
    EXPECT_TRUE(existsNoFollow(dir / "x/victim/other/unseen.bin"));

    // Confirmed, it goes, all of it.
    user.clear();
    user.answer({QStringLiteral("Delete Immediately")});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_FALSE(existsNoFollow(dir / "x/victim"));
    EXPECT_TRUE(row->isDeleted());
}

TEST(WindowFileActions, FailuresSayTheirCauseAndTheOfferToEraseIsMadeOnlyWhereItCouldWork) {
    TempDir dir;
    writeFile(dir / "box/keep.txt", "k");
    writeFile(dir / "box/ro/f1", "1");
    writeFile(dir / "box/ro/f2", "2");
    writeFile(dir / "box/solid.txt", "s");
    writeFile(dir / "locked/t.txt", "t");
    ASSERT_EQ(::chmod((dir / "box/ro").c_str(), 0555), 0);
    ASSERT_EQ(::chmod((dir / "locked").c_str(), 0555), 0);
    // The erase runs on the thread pool: an ordinary user there may empty "box", but not "ro".
    ASSERT_EQ(::chmod((dir / "box").c_str(), 0777), 0);
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* box = w.node(dir / "box");
    FileNode* keep = w.node(dir / "box/keep.txt");
    FileNode* ro = w.node(dir / "box/ro");
    FileNode* locked = w.node(dir / "locked/t.txt");
    ASSERT_TRUE(box && keep && ro && locked);

    // An erase that a read-only folder stops part-way goes on with the rest, says what stayed,
    // and the rows follow what really went.
    w.select(box);
    user.answer({QStringLiteral("Delete Immediately"), Qt::Key_Return});
    {
        ActingAsAnotherUser asAUser;
        w.press(Qt::Key_Delete, Qt::ShiftModifier);
    }
    ASSERT_EQ(user.alerts.size(), 2u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Permanently erase \"box\"?"));
    EXPECT_EQ(user.alerts[1].text, QStringLiteral("\"box\" can't be deleted."));
    const QString remained = user.alerts[1].informativeText;
    EXPECT_TRUE(remained.startsWith("4 items remain, among them \"box/ro/f") && remained.endsWith("\": Permission denied."))
        << remained.toStdString();
    EXPECT_FALSE(existsNoFollow(dir / "box/keep.txt"));
    EXPECT_FALSE(existsNoFollow(dir / "box/solid.txt"));
    EXPECT_EQ(readFile(dir / "box/ro/f1"), "1");
    EXPECT_TRUE(keep->isDeleted());
    EXPECT_TRUE(w.node(dir / "box/solid.txt")->isDeleted());
    EXPECT_FALSE(box->isDeleted());
    EXPECT_FALSE(ro->isDeleted());

    // A move to the trash that the item's folder refuses names the cause, and offers no erase
    // that would be refused just the same.
    user.clear();
    w.select(locked);
    user.answer({Qt::Key_Return, Qt::Key_Return, Qt::Key_Return});
    // The move runs on the thread pool as well; that user may write to the home trash.
    for (const char* part : {"data", "data/Trash", "data/Trash/files", "data/Trash/info"}) {
        fs::create_directories(dir / part);
        ASSERT_EQ(::chmod((dir / part).c_str(), 0777), 0);
    }
    {
        ActingAsAnotherUser asAUser;
        w.press(Qt::Key_Delete);
    }
    ASSERT_EQ(user.alerts.size(), 2u);
    EXPECT_EQ(user.alerts[1].text, QStringLiteral("\"t.txt\" can't be moved to the Trash."));
    EXPECT_EQ(user.alerts[1].informativeText, QStringLiteral("Permission denied"));
    EXPECT_EQ(user.alerts[1].buttons, QStringList{"OK"});
    EXPECT_EQ(readFile(dir / "locked/t.txt"), "t");

    // A volume with no usable trash: the erase is offered, and Return cancels it.
    TmpfsMount volume(dir / "volume");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "volume" / (".Trash-" + std::to_string(::geteuid())), "a file where the trash would go");
    writeFile(dir / "volume/v.txt", "v");
    ASSERT_TRUE(w.scan(dir / "volume"));
    FileNode* v = w.node(dir / "volume/v.txt");
    ASSERT_TRUE(v);
    user.clear();
    w.select(v);
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"v.txt\" can't be moved to the Trash."));
    EXPECT_TRUE(user.alerts[0].informativeText.contains("Not a directory")) << user.alerts[0].informativeText.toStdString();
    EXPECT_EQ(user.alerts[0].buttons, (QStringList{"Delete Immediately", "Cancel"}));
    EXPECT_EQ(user.alerts[0].returnButton, QStringLiteral("Cancel"));
    EXPECT_EQ(readFile(dir / "volume/v.txt"), "v");
    EXPECT_FALSE(v->isDeleted());
    // Chosen on purpose, the erase happens.
    user.clear();
    user.answer({QStringLiteral("Delete Immediately")});
    w.press(Qt::Key_Delete);
    EXPECT_FALSE(existsNoFollow(dir / "volume/v.txt"));
    EXPECT_TRUE(v->isDeleted());
}

TEST(WindowFileActions, EveryFileActionWorksOnPathsLongerThanTheSystemTakesAtOnce) {
    TempDir dir;
    DeepChain chain(dir.path());
    ASSERT_GT(chain.path().size(), 4096u);
    chain.write("doc.txt", "deep document");
    ASSERT_EQ(::mkdirat(chain.bottom(), "folder", 0755), 0);
    chain.write("folder/inner.txt", "inner");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* doc = w.node(chain.path() + "/doc.txt");
    FileNode* folder = w.node(chain.path() + "/folder");
    ASSERT_TRUE(doc && folder);
    ASSERT_EQ(doc->pathBytes(), chain.path() + "/doc.txt");

    auto menuAction = [&](FileNode* n, std::initializer_list<QString> items) {
        w.select(n);
        user.choose(items);
        w.rightClickRow(n);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 30000));
    };
    menuAction(doc, {"Duplicate"});
    EXPECT_EQ(chain.read("doc copy.txt"), "deep document");
    menuAction(folder, {"Duplicate"});
    EXPECT_EQ(chain.read("folder copy/inner.txt"), "inner");
    menuAction(doc, {"Compress"});
    EXPECT_TRUE(existsAt(chain.bottom(), "doc.zip"));
    menuAction(doc, {"Make Link"});
    char target[64] = {};
    EXPECT_GT(::readlinkat(chain.bottom(), "doc alias.txt", target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "doc.txt");
    menuAction(doc, {"Tags\u2026", "Red"});
    char tags[64] = {};
    const std::string viaFolder = "/proc/self/fd/" + std::to_string(chain.bottom()) + "/doc.txt";
    EXPECT_EQ(::lgetxattr(viaFolder.c_str(), "user.xdg.tags", tags, sizeof tags), 3);
    EXPECT_STREQ(tags, "Red");
    EXPECT_TRUE(user.alerts.empty()) << user.alerts[0].text.toStdString() << ": " << user.alerts[0].informativeText.toStdString();

    // Rename (F2), then trash the renamed file; erase a folder.
    QLineEdit* field = w.beginRename(doc);
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClicks(field, "renamed.txt");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(chain.read("renamed.txt"), "deep document");
    w.select(doc);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    EXPECT_FALSE(existsAt(chain.bottom(), "renamed.txt"));
    EXPECT_EQ(readFile(dir / "data/Trash/files/renamed.txt"), "deep document");
    EXPECT_TRUE(doc->isDeleted());
    w.select(folder);
    user.answer({QStringLiteral("Delete Immediately")});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_FALSE(existsAt(chain.bottom(), "folder"));
    EXPECT_TRUE(folder->isDeleted());
    ASSERT_EQ(user.alerts.size(), 2u);
    EXPECT_EQ(user.alerts[1].text, QStringLiteral("Permanently erase \"folder\"?"));
}

TEST(WindowFileActions, NamesThatAreNotUtf8KeepTheirBytesWhereverANewNameIsMade) {
    TempDir dir;
    writeFile(dir / "bad\xfe.txt", "not UTF-8");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* bad = w.node(dir / "bad\xfe.txt");
    ASSERT_TRUE(bad);

    // F2, End, BackSpace three times, "doc", Return.
    QLineEdit* field = w.beginRename(bad);
    ASSERT_TRUE(field);
    EXPECT_EQ(field->text(), QStringLiteral("bad\uFFFD.txt"));
    QTest::keyClick(field, Qt::Key_End);
    for (int i = 0; i < 3; ++i) QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, "doc");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(readFile(dir / "bad\xfe.doc"), "not UTF-8");
    EXPECT_FALSE(existsNoFollow(dir / "bad\xef\xbf\xbd.doc"));
    EXPECT_EQ(bad->nameBytes(), "bad\xfe.doc");

    // The names Duplicate, Compress and Make Link give keep the bytes as well.
    for (const char* item : {"Duplicate", "Compress", "Make Link"}) {
        w.select(bad);
        user.choose({item});
        w.rightClickRow(bad);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 30000));
    }
    EXPECT_EQ(readFile(dir / "bad\xfe copy.doc"), "not UTF-8");
    EXPECT_EQ(fs::read_symlink(dir / "bad\xfe alias.doc").native(), "bad\xfe.doc");
    int err = 0;
    zip_t* zip = zip_open((dir / "bad\xfe.zip").c_str(), ZIP_RDONLY, &err);
    ASSERT_TRUE(zip);
    EXPECT_STREQ(zip_get_name(zip, 0, ZIP_FL_ENC_RAW), "bad\xfe.doc");
    zip_close(zip);
    EXPECT_TRUE(user.alerts.empty());
    // Renaming back to what it was, unedited, is no rename.
    ASSERT_TRUE((field = w.beginRename(bad)));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(user.alerts.empty());
    EXPECT_TRUE(existsNoFollow(dir / "bad\xfe.doc"));
}

// A name in an alert reads as it was typed or as the disk holds it, even when it looks like
// markup: a rename onto a taken name says which, not a heading without its tags.
TEST(WindowFileActions, AlertsShowNamesThatLookLikeMarkupAsWritten) {
    TempDir dir;
    writeFile(dir / "a.txt", "a");
    writeFile(dir / "<h1>Taken", "t");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* a = w.node(dir / "a.txt");
    ASSERT_TRUE(a);

    QLineEdit* field = w.beginRename(a);
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClicks(field, "<h1>Taken");
    user.answer({Qt::Key_Return});
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't rename \"a.txt\""));
    EXPECT_EQ(user.alerts[0].shownInformativeText,
              QStringLiteral("An item named \"<h1>Taken\" already exists in this location."));
    EXPECT_EQ(readFile(dir / "<h1>Taken"), "t");
    EXPECT_EQ(readFile(dir / "a.txt"), "a");
}

// The window scans again while the question is up (the user started it before): the answer still
// reaches the file the question named, and the tree it was asked about stays whole until then.
TEST(WindowFileActions, AnAnswerGivenAfterTheWindowScannedAgainReachesTheItemItNamed) {
    TempDir dir;
    writeFile(dir / "old.txt", "asked about");
    writeFile(dir / "keep.txt", "kept");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* old = w.node(dir / "old.txt");
    ASSERT_TRUE(old);
    const FileNode* before = w.window().scanControl().effectiveRoots().at(0).get();
    w.select(old);
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        user.clear();
        user.whileNextAlertIsUp([&] {
            w.window().scanControl().startScan();
            pumpWidgetsUntil([&] {
                return !w.window().viewModel().scanState().isScanning() &&
                       w.window().scanControl().effectiveRoots().at(0).get() != before;
            });
        });
        user.answer({modifiers == Qt::NoModifier ? ScriptedUser::Answer(Qt::Key_Return) : QStringLiteral("Delete Immediately")});
        w.press(Qt::Key_Delete, modifiers);
        ASSERT_EQ(user.alerts.size(), 1u);
        EXPECT_NE(w.window().scanControl().effectiveRoots().at(0).get(), before) << "the scan did not end meanwhile";
        if (modifiers == Qt::NoModifier) {
            EXPECT_EQ(readFile(dir / "data/Trash/files/old.txt"), "asked about");
            writeFile(dir / "old.txt", "asked about");
            ASSERT_TRUE(w.scan(dir.path()));
            before = w.window().scanControl().effectiveRoots().at(0).get();
            old = w.node(dir / "old.txt");
            w.select(old);
        }
    }
    EXPECT_FALSE(existsNoFollow(dir / "old.txt"));
    EXPECT_EQ(readFile(dir / "keep.txt"), "kept");
}

// The context menus' zoom items of the outline and of the treemap zoom the window's treemap as
// its menu commands do, on the row or box the user opened the menu on.
TEST(WindowFileActions, TheContextMenusZoomTheTreemapInAndOut) {
    TempDir dir;
    writeFile(dir / "outer/inner/deep.bin", std::string(40000, 'd'));
    writeFile(dir / "outer/side.bin", std::string(20000, 's'));
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* outer = w.node(dir / "outer");
    FileNode* inner = w.node(dir / "outer/inner");
    ASSERT_TRUE(outer && inner);

    w.select(inner);
    user.choose({"Zoom in Treemap"});
    w.rightClickRow(inner);
    EXPECT_EQ(user.menusSeen, QStringList{"Zoom in Treemap"});
    EXPECT_EQ(w.window().treemapZoom().root(), inner);
    user.clear();
    user.choose({"Zoom out Treemap"});
    w.rightClickRow(inner);
    EXPECT_EQ(w.window().treemapZoom().root(), outer);

    TreemapCanvas* canvas = w.window().contentView()->treeViewTab()->treemapCanvas();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return canvas->model().hasPicture() && !canvas->model().isStale(); }));
    const QPoint middle(canvas->width() / 2, canvas->height() / 2);
    rightClick(canvas, middle);
    QMenu* menu = canvas->openMenu();
    ASSERT_TRUE(menu);
    QAction* zoomOut = nullptr;
    for (QAction* item : menu->actions())
        if (item->text() == "Zoom out Treemap") zoomOut = item;
    ASSERT_TRUE(zoomOut);
    zoomOut->trigger();
    menu->close();
    EXPECT_EQ(w.window().treemapZoom().root(), nullptr);
}

TEST(WindowFileActions, AfterMoveToTrashTheTreemapLabelsShowTheSizesTheOutlineShows) {
    TempDir dir;
    writeFile(dir / "alpha/kept.bin", std::string(700000, 'k'));
    writeFile(dir / "alpha/gone.bin", std::string(300000, 'g'));
    writeFile(dir / "beta/rest.bin", std::string(400000, 'r'));
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    const TreemapCanvasModel& treemap = w.window().contentView()->treeViewTab()->treemapCanvas()->model();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return treemap.hasPicture() && !treemap.isStale() && treemap.busyRegenerationCount() == 0; }));
    // The shown picture's own boxes, drawn with the sizes the tree holds now.
    const auto drawnNow = [&] { return fixtures::treemapRedrawnNow(treemap, w.window().preferences()); };
    ASSERT_EQ(treemap.image(), drawnNow());
    const QImage before = treemap.image();

    FileNode* gone = w.node(dir / "alpha/gone.bin");
    ASSERT_TRUE(gone);
    w.select(gone);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_TRUE(gone->isDeleted());
    EXPECT_EQ(w.node(dir / "alpha")->effectiveSize(), 700000);

    EXPECT_TRUE(pumpWidgetsUntil([&] { return treemap.busyRegenerationCount() == 0 && treemap.image() == drawnNow(); }))
        << "the folder labels still show the sizes from before the deletion";
    EXPECT_NE(treemap.image(), before);
    // The boxes stay where they were: the deleted file keeps its red outline.
    EXPECT_EQ(treemap.overlays().deleted.size(), 1u);
}

std::vector<std::string> partialCopiesIn(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& name : namesIn(folder))
        if (name.find(".partial-") != std::string::npos) out.push_back(name);
    return out;
}

TEST(WindowFileActions, DuplicateWorksInTheBackgroundKeepsHolesAndNeverLeavesAHalfCopy) {
    TempDir dir;
    constexpr off_t kGiB = off_t(1) << 30;
    {
        FileDescriptor fd(::open((dir / "disk.img").c_str(), O_WRONLY | O_CREAT, 0644));
        ASSERT_EQ(::ftruncate(fd.get(), kGiB), 0);
        ASSERT_EQ(::pwrite(fd.get(), "middle", 6, kGiB / 2), 6);
    }
    for (int i = 0; i < 64; ++i) writeFile(dir / "many" / ("part" + std::to_string(i)), std::string(1 << 20, char('a' + i % 26)));
    auto w = std::make_unique<WindowAtHand>(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w->scan(dir.path()));
    FileNode* image = w->node(dir / "disk.img");
    ASSERT_TRUE(image);

    // The window is free while the copy is made: the action returns at once, the busy cursor
    // showing until the copy is done.
    w->select(image);
    user.choose({"Duplicate"});
    bool busyWhenReturned = false;
    bool copyDoneWhenReturned = true;
    user.rightAfterNextChoice([&] {
        busyWhenReturned = QGuiApplication::overrideCursor() != nullptr;
        copyDoneWhenReturned = existsNoFollow(dir / "disk copy.img");
    });
    w->rightClickRow(image);
    EXPECT_TRUE(busyWhenReturned) << "no busy indication while the copy is made";
    EXPECT_FALSE(copyDoneWhenReturned && !busyWhenReturned) << "the copy was made on the window's thread";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 60000));
    struct stat copied {};
    ASSERT_EQ(::stat((dir / "disk copy.img").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_size, kGiB);
    EXPECT_LT(copied.st_blocks * 512, 16 << 20) << "the holes were written out";
    {
        FileDescriptor fd(::open((dir / "disk copy.img").c_str(), O_RDONLY));
        char middle[7] = {};
        EXPECT_EQ(::pread(fd.get(), middle, 6, kGiB / 2), 6);
        EXPECT_STREQ(middle, "middle");
    }

    // A copy cut short by closing the window is never left under a real name.
    FileNode* many = w->node(dir / "many");
    w->select(many);
    user.choose({"Duplicate"});
    w->rightClickRow(many);
    w->close();
    // Closing does not wait for the copy: the cancelled job removes its hidden file as it stops.
    EXPECT_TRUE(pumpWidgetsUntil([&] { return partialCopiesIn(dir.path()).empty(); }, 30000));
    if (existsNoFollow(dir / "many copy")) {
        EXPECT_EQ(namesIn(dir / "many copy").size(), 64u);
    }

    // A copy the volume has no room for: said, and nothing left behind.
    TmpfsMount small(dir / "small", "size=8m,mode=0755");
    if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "small/six.bin", std::string(6 << 20, 'x'));
    w = std::make_unique<WindowAtHand>(dir / "data");
    ASSERT_TRUE(w->scan(dir / "small"));
    FileNode* six = w->node(dir / "small/six.bin");
    ASSERT_TRUE(six);
    user.clear();
    w->select(six);
    user.choose({"Duplicate"});
    user.answer({Qt::Key_Return});
    w->rightClickRow(six);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 60000));
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't duplicate \"six.bin\""));
    EXPECT_EQ(user.alerts[0].informativeText, QStringLiteral("No space left on device"));
    EXPECT_EQ(namesIn(dir / "small"), std::vector<std::string>{"six.bin"});
}

// The names of an archive's entries, in order.
std::vector<std::string> entriesOf(const fs::path& archive) {
    std::vector<std::string> out;
    int err = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &err);
    if (!zip) return out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) out.push_back(zip_get_name(zip, zip_uint64_t(i), ZIP_FL_ENC_RAW));
    zip_close(zip);
    return out;
}

// A scan shows a mounted folder empty; a copy of it is what the window showed, not the volume
// (which may be larger than the disk it would be copied onto). A rename the mount prevents says so.
TEST(WindowFileActions, AMountedFolderIsCopiedAsTheWindowShowsItAndItsRenameSaysWhyNot) {
    TempDir dir;
    writeFile(dir / "holder/own.txt", "own");
    TmpfsMount mounted(dir / "holder/mp");
    if (!mounted.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "holder/mp/volume.bin", std::string(4096, 'v'));
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    auto menuAction = [&](FileNode* n, const QString& item) {
        w.select(n);
        user.choose({item});
        w.rightClickRow(n);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 30000));
    };
    ASSERT_TRUE(w.scan(dir / "holder"));
    FileNode* mp = w.node(dir / "holder/mp");
    ASSERT_TRUE(mp && mp->children().empty());
    menuAction(mp, "Duplicate");
    menuAction(mp, "Compress");
    EXPECT_TRUE(user.alerts.empty());
    ASSERT_TRUE(existsNoFollow(dir / "holder/mp copy"));
    EXPECT_TRUE(namesIn(dir / "holder/mp copy").empty()) << "the mounted volume was copied";
    EXPECT_EQ(entriesOf(dir / "holder/mp.zip"), std::vector<std::string>{"mp/"});

    // Renaming it is refused by the system, and the alert says why in the user's words.
    user.answer({Qt::Key_Return});
    QLineEdit* field = w.beginRename(mp);
    ASSERT_TRUE(field);
    QTest::keyClick(field, Qt::Key_End);
    QTest::keyClicks(field, "2");
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].informativeText.contains("mounted at this folder")) << user.alerts[0].informativeText.toStdString();
    EXPECT_EQ(namesIn(dir / "holder"), (std::vector<std::string>{"mp", "mp copy", "mp.zip", "own.txt"}));

    // Scanned itself, the volume shows what it holds, and that is what its copy holds.
    FileNode* root = w.scan(dir / "holder/mp");
    ASSERT_TRUE(root);
    menuAction(root, "Duplicate");
    EXPECT_EQ(readFile(dir / "holder/mp copy 2/volume.bin"), std::string(4096, 'v'));
    EXPECT_EQ(readFile(dir / "holder/mp/volume.bin"), std::string(4096, 'v'));
}

// Return on a question whose answer cannot be undone keeps the disk as it is; Escape does on every
// question. What a shell removed meanwhile is shown as gone rather than ignored, and the system's
// top folder is never acted on.
TEST(WindowFileActions, ReturnNeverErasesGoneItemsShowGoneAndTheTopFolderIsLeftAlone) {
    TempDir dir;
    writeFile(dir / "keep/a.txt", "a");
    writeFile(dir / "keep/b.txt", "b");
    writeFile(dir / "gone.txt", "soon removed by a shell");
    writeFile(dir / "gone2.txt", "soon removed by a shell");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* a = w.node(dir / "keep/a.txt");
    FileNode* keep = w.node(dir / "keep");
    ASSERT_TRUE(a && keep);

    for (FileNode* n : {a, keep}) {
        user.clear();
        w.select(n);
        user.answer({Qt::Key_Return});
        w.press(Qt::Key_Delete, Qt::ShiftModifier);
        ASSERT_EQ(user.alerts.size(), 1u);
        EXPECT_EQ(user.alerts[0].returnButton, QStringLiteral("Cancel"));
        EXPECT_TRUE(existsNoFollow(dir / "keep/a.txt"));
        EXPECT_FALSE(n->isDeleted());
    }
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        user.clear();
        w.select(keep);
        user.answer({Qt::Key_Escape});
        w.press(Qt::Key_Delete, modifiers);
        ASSERT_EQ(user.alerts.size(), 1u);
        EXPECT_EQ(readFile(dir / "keep/b.txt"), "b");
    }

    // Rows of an import whose items a shell removed since: nothing is left to ask about, and the
    // rows say so. The system's top folder as a row of its own is refused whatever is asked.
    const std::string row = ",1,4096,2026/01/02 03:04:05,0,0,0\n";
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"/\",2,8192,2026/01/02 03:04:05,0,2,1\n\"" +
                                     (dir / "gone.txt").native() + "\"" + row + "\"" + (dir / "gone2.txt").native() + "\"" + row);
    FileNode* top = w.import(dir / "rows.csv");
    ASSERT_TRUE(top);
    ASSERT_EQ(top->pathBytes(), "/");
    for (const char* item : {"Move to Trash", "Duplicate", "Compress", "Make Link"}) {
        user.clear();
        w.select(top);
        user.choose({item});
        user.answer({Qt::Key_Return, Qt::Key_Return});
        w.rightClickRow(top);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 30000));
        ASSERT_EQ(user.alerts.size(), 1u) << item;
        EXPECT_TRUE(user.alerts[0].informativeText.contains("top folder")) << user.alerts[0].informativeText.toStdString();
        EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
    }
    user.clear();
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"/\" can't be deleted."));
    EXPECT_FALSE(top->isDeleted());

    FileNode* gone = w.node(dir / "gone.txt");
    FileNode* gone2 = w.node(dir / "gone2.txt");
    ASSERT_TRUE(gone && gone2);
    ASSERT_EQ(::unlink((dir / "gone.txt").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "gone2.txt").c_str()), 0);
    user.clear();
    w.select(gone);
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    w.select(gone2);
    w.press(Qt::Key_Delete);
    EXPECT_TRUE(user.alerts.empty());
    EXPECT_TRUE(gone->isDeleted());
    EXPECT_TRUE(gone2->isDeleted());
}

// A filter hides some of what a folder holds, and a folder's row may stand for what is a file now:
// erasing the row would take what the window never showed, so the question says what the disk holds.
TEST(WindowFileActions, ErasingAFolderAFilterThinnedOrThatIsAFileNowSaysWhatTheDiskHolds) {
    TempDir dir;
    writeFile(dir / "keep/seen.txt", "seen");
    writeFile(dir / "keep/hidden.bin", std::string(3000, 'h'));
    writeFile(dir / "other/x.txt", "x");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    // The question for a folder the window shows whole, and what the disk keeps after Escape.
    auto askToErase = [&](Qt::KeyboardModifiers modifiers) {
        FileNode* keep = w.node(dir / "keep");
        EXPECT_TRUE(keep);
        if (!keep) return QString();
        user.clear();
        w.select(keep);
        user.answer({Qt::Key_Escape});
        w.press(Qt::Key_Delete, modifiers);
        EXPECT_EQ(user.alerts.size(), 1u);
        EXPECT_EQ(readFile(dir / "keep/hidden.bin"), std::string(3000, 'h'));
        return user.alerts.empty() ? QString() : user.alerts[0].informativeText;
    };

    // Unfiltered, the row shows all the folder holds: the question stays as it was.
    ASSERT_TRUE(w.scan(dir.path()));
    EXPECT_EQ(askToErase(Qt::ShiftModifier), QStringLiteral("You can't undo this action."));

    // The filtered copy of the scan leaves the .bin file out; both erasing actions say it is there.
    w.excludeInPanel(QStringLiteral("*.bin"));
    ASSERT_TRUE(w.node(dir / "keep/seen.txt"));
    ASSERT_FALSE(w.node(dir / "keep/hidden.bin"));
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers()}) {
        const QString text = askToErase(modifiers);
        EXPECT_TRUE(text.contains("On disk now: 2 items, 3.0 kB") || text.contains("On disk now: 2 items, 3.0 KB"))
            << text.toStdString();
    }

    // A scan with the exclude filter never read the file; with the panel hidden its tree shows.
    w.scan(dir.path());
    w.window().panes().setShowFilterPanel(false);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.node(dir / "keep/seen.txt") && !w.node(dir / "keep/hidden.bin"); }));
    EXPECT_TRUE(askToErase(Qt::ShiftModifier).contains("On disk now: 2 items")) << "after a scan with an exclude filter";

    // A folder's row whose path is a file now: the question names the file; confirmed, it goes.
    FileNode* other = w.node(dir / "other");
    ASSERT_TRUE(other && other->isDir());
    fs::remove_all(dir / "other");
    writeFile(dir / "other", "12345");
    user.clear();
    w.select(other);
    user.answer({QStringLiteral("Delete Immediately")});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].informativeText.contains("On disk now: 1 item, 5")) << user.alerts[0].informativeText.toStdString();
    EXPECT_FALSE(existsNoFollow(dir / "other"));
    EXPECT_TRUE(other->isDeleted());

    // The same for a folder's row of an import.
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + (dir / "imported").native() +
                                     "/\",1,4096,2026/01/02 03:04:05,0,1,0\n\"" + (dir / "imported/a.txt").native() +
                                     "\",1,4096,2026/01/02 03:04:05,0,0,0\n");
    writeFile(dir / "imported", "1234567");
    ASSERT_TRUE(w.import(dir / "rows.csv"));
    FileNode* imported = w.node(dir / "imported");
    ASSERT_TRUE(imported && imported->isDir());
    user.clear();
    w.select(imported);
    user.answer({Qt::Key_Escape});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].informativeText.contains("On disk now: 1 item, 7")) << user.alerts[0].informativeText.toStdString();
    EXPECT_EQ(readFile(dir / "imported"), "1234567");
}

// A folder on the way to a row that a link has replaced since the scan leads somewhere the window
// never showed: no action follows the link there.
TEST(WindowFileActions, NoActionFollowsALinkThatReplacedAFolderAboveItsItem) {
    TempDir dir;
    writeFile(dir / "root/a/b/c.txt", "scanned");
    writeFile(dir / "elsewhere/b/c.txt", "never shown");
    WindowAtHand w(dir / "data");
    // The live monitor would see the swap and strike the rows first on a slow machine; the actions'
    // own check is what is tried here.
    w.prefs().set(PreferenceKeys::monitorFileSystemForChanges, false);
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir / "root"));
    FileNode* c = w.node(dir / "root/a/b/c.txt");
    FileNode* b = w.node(dir / "root/a/b");
    ASSERT_TRUE(c && b);
    // Swapped in one step, so the path is never missing for the live monitor to notice.
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "root/swap").c_str()), 0);
    ASSERT_EQ(::renameat2(AT_FDCWD, (dir / "root/a").c_str(), AT_FDCWD, (dir / "root/swap").c_str(), RENAME_EXCHANGE), 0);

    for (FileNode* n : {c, b}) {
        for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            user.clear();
            w.select(n);
            user.answer({Qt::Key_Return, Qt::Key_Return});
            w.press(Qt::Key_Delete, modifiers);
            ASSERT_EQ(user.alerts.size(), 1u);
            EXPECT_TRUE(user.alerts[0].informativeText.contains("replaced by a link")) << user.alerts[0].informativeText.toStdString();
            EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
        }
    }
    for (const char* item : {"Duplicate", "Make Link", "Compress"}) {
        user.clear();
        w.select(c);
        user.choose({item});
        w.rightClickRow(c);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !QGuiApplication::overrideCursor(); }, 30000));
        EXPECT_EQ(user.alerts.size(), 1u) << item;
    }
    EXPECT_EQ(namesIn(dir / "elsewhere/b"), std::vector<std::string>{"c.txt"});
    EXPECT_EQ(readFile(dir / "elsewhere/b/c.txt"), "never shown");
    EXPECT_EQ(readFile(dir / "root/swap/b/c.txt"), "scanned");
    EXPECT_FALSE(c->isDeleted());
}

// The offer to erase what cannot go to the trash erases as well: for a folder of an import it says
// what the disk holds there now, as the other questions do.
TEST(WindowFileActions, TheOfferToEraseAnImportedFolderSaysWhatTheDiskHoldsNow) {
    TempDir dir;
    TmpfsMount volume(dir / "volume");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "volume" / (".Trash-" + std::to_string(::geteuid())), "a file where the trash would go");
    writeFile(dir / "volume/victim/sub/x.txt", "seen");
    writeFile(dir / "volume/victim/other/unseen.bin", std::string(3000, 'u'));
    const std::string victim = (dir / "volume/victim").native();
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"" + victim +
                                     "/\",4,4096,2026/01/02 03:04:05,0,1,1\n\"" + victim +
                                     "/sub/x.txt\",4,4096,2026/01/02 03:04:05,0,0,0\n");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.import(dir / "rows.csv"));
    FileNode* row = w.node(dir / "volume/victim");
    ASSERT_TRUE(row);
    w.select(row);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"victim\" can't be moved to the Trash."));
    EXPECT_EQ(user.alerts[0].buttons, (QStringList{"Delete Immediately", "Cancel"}));
    EXPECT_TRUE(user.alerts[0].informativeText.contains("On disk now: 4 items")) << user.alerts[0].informativeText.toStdString();
    EXPECT_EQ(readFile(dir / "volume/victim/other/unseen.bin"), std::string(3000, 'u'));
}

// The folder that holds the trash cannot go into it; the alert says so rather than quoting the
// system's "Invalid argument".
TEST(WindowFileActions, TrashingTheFolderThatHoldsTheTrashSaysWhyItCannot) {
    TempDir dir;
    writeFile(dir / "data/notes.txt", "kept");
    writeFile(dir / "first.txt", "trashed first, so that the trash exists");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* first = w.node(dir / "first.txt");
    FileNode* data = w.node(dir / "data");
    ASSERT_TRUE(first && data);
    w.select(first);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_TRUE(existsNoFollow(dir / "data/Trash/files/first.txt"));
    user.clear();
    w.select(data);
    user.answer({Qt::Key_Return, Qt::Key_Return});
    w.press(Qt::Key_Delete);
    ASSERT_EQ(user.alerts.size(), 2u);
    EXPECT_EQ(user.alerts[1].text, QStringLiteral("\"data\" can't be moved to the Trash."));
    EXPECT_EQ(user.alerts[1].informativeText, QStringLiteral("The Trash is inside it, and a folder can't be moved into itself."));
    EXPECT_EQ(user.alerts[1].buttons, QStringList{"OK"});
    EXPECT_EQ(readFile(dir / "data/notes.txt"), "kept");
    EXPECT_FALSE(data->isDeleted());
}

// `folders` folders "f0", "f1", ... below `at`, each with `files` empty files.
void makeFolders(const fs::path& at, int folders, int files) {
    for (int f = 0; f < folders; ++f) {
        const fs::path folder = at / ("f" + std::to_string(f));
        fs::create_directories(folder);
        FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
        for (int i = 0; i < files; ++i) FileDescriptor(::openat(fd.get(), ("file" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644));
    }
}

// The files below the folders that are still on disk, and the rows that disagree with the disk:
// shown deleted while the file is there, or shown while it is gone.
struct RowsAndDisk {
    int64_t onDisk = 0;
    int64_t disagreeing = 0;
};
RowsAndDisk compareWithDisk(const std::vector<FileNode*>& folders) {
    RowsAndDisk out;
    for (FileNode* folder : folders)
        for (FileNode* file : folder->children()) {
            const bool there = existsNoFollow(file->pathBytes());
            out.onDisk += there;
            out.disagreeing += there == file->isDeleted();
        }
    return out;
}

// Holds every erase and move to the Trash of the window's menus before its second item until
// `letGo` is set, so that what a test checks does not depend on how fast the disk goes; armed
// again for each step, and let go on every way out of the test.
struct ErasesHeldAtTheSecondItem {
    explicit ErasesHeldAtTheSecondItem(const QList<FileActionMenu*>& menus) : menus_(menus) {}
    ~ErasesHeldAtTheSecondItem() { letGo->store(true); }
    ErasesHeldAtTheSecondItem(const ErasesHeldAtTheSecondItem&) = delete;
    ErasesHeldAtTheSecondItem& operator=(const ErasesHeldAtTheSecondItem&) = delete;

    void arm() {
        letGo->store(false);
        reached->store(0);
        for (FileActionMenu* menu : menus_)
            menu->actions().setEraseWatch([go = letGo, count = reached](const std::string&) {
                if (count->fetch_add(1) != 1) return;
                for (int i = 0; i < 6000 && !go->load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            });
    }

    std::shared_ptr<std::atomic<bool>> letGo = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<int>> reached = std::make_shared<std::atomic<int>>(0);

private:
    QList<FileActionMenu*> menus_;
};

QProgressDialog* shownPanel(QWidget& window) {
    for (QProgressDialog* panel : window.findChildren<QProgressDialog*>())
        if (panel->isVisible()) return panel;
    return nullptr;
}

// Erasing folders of many files: the window goes on answering while the files go, a panel with
// Cancel appears once it lasts, and Cancel, or closing the window, stops it before the next file.
// The rows show gone what went and keep what stayed.
TEST(WindowFileActions, ErasingManyFilesRunsBehindAPanelThatCancelsAndStopsWithTheWindow) {
    TempDir dir;
    constexpr int kFolders = 10;
    constexpr int kFiles = 10000;
    makeFolders(dir / "set", kFolders, kFiles);
    auto w = std::make_unique<WindowAtHand>(dir / "data");
    // Without the live monitor, the rows follow only what the action itself reports.
    w->window().preferences().set(PreferenceKeys::monitorFileSystemForChanges, false);
    ScriptedUser user;
    ASSERT_TRUE(w->scan(dir / "set"));
    std::vector<FileNode*> firstHalf;
    std::vector<FileNode*> secondHalf;
    for (int f = 0; f < kFolders; ++f) (f < kFolders / 2 ? firstHalf : secondHalf).push_back(w->node(dir / "set" / ("f" + std::to_string(f))));
    for (FileNode* n : firstHalf) ASSERT_TRUE(n);
    for (FileNode* n : secondHalf) ASSERT_TRUE(n);
    // The erase is held before its second folder until the test has acted, so that what it checks
    // does not depend on how fast the disk erases; every way out of the test lets it go.
    const QList<FileActionMenu*> menus = w->window().findChildren<FileActionMenu*>();
    ASSERT_FALSE(menus.isEmpty());
    ErasesHeldAtTheSecondItem held(menus);
    const auto holdAtTheSecond = [&] { held.arm(); };
    const auto& letGo = held.letGo;

    // Shift+Delete on five folders, "Delete Immediately", and Cancel in the panel once it shows.
    holdAtTheSecond();
    w->window().treeSelection().set(NodeSet(firstHalf.begin(), firstHalf.end()));
    user.answer({QStringLiteral("Delete Immediately")});
    w->pressKey(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000));
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Permanently erase 5 items?"));
    QProgressDialog* panel = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (panel = shownPanel(w->window())) != nullptr; }, 30000))
        << "no panel while the files went";
    EXPECT_EQ(panel->labelText(), QStringLiteral("Deleting\u2026"));
    EXPECT_TRUE(QGuiApplication::overrideCursor()) << "no busy pointer while the files went";
    QPushButton* cancel = panel->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    letGo->store(true);
    // The thousands of files that went are marked on the thread pool after the erase has ended.
    const auto settled = [&] { return !QGuiApplication::overrideCursor() && !w->window().liveMonitor().hasPendingRefresh(); };
    ASSERT_TRUE(pumpWidgetsUntil(settled, 60000));
    EXPECT_FALSE(shownPanel(w->window()));
    EXPECT_EQ(user.alerts.size(), 1u) << "what Cancel kept was told as a failure";
    const RowsAndDisk cancelled = compareWithDisk(firstHalf);
    EXPECT_GT(cancelled.onDisk, 0) << "Cancel did not stop the deletion";
    EXPECT_LT(cancelled.onDisk, kFolders / 2 * kFiles) << "nothing went before Cancel";
    EXPECT_EQ(cancelled.disagreeing, 0);
    for (FileNode* folder : firstHalf) EXPECT_EQ(folder->isDeleted(), !existsNoFollow(folder->pathBytes()));

    // The other five, and the window closed while they go: the deletion stops with it.
    const RootRef tree = w->window().scanControl().effectiveRoots().at(0);
    user.clear();
    holdAtTheSecond();
    w->window().treeSelection().set(NodeSet(secondHalf.begin(), secondHalf.end()));
    user.answer({QStringLiteral("Delete Immediately")});
    w->pressKey(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownPanel(w->window()) != nullptr; }, 30000));
    w->close();
    letGo->store(true);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_GT(compareWithDisk(secondHalf).onDisk, 0) << "closing the window did not stop the deletion";
}

// Moving many files to the Trash: the window checks and moves them behind a panel with Cancel, as
// it erases; Cancel stops before the next file, closing the window stops it as well, and the rows
// show gone exactly what went. While one erasing action of the window runs (its question up, or its
// files going before the panel shows), the window asks nothing about another, from any of its menus.
TEST(WindowFileActions, TrashingManyFilesRunsBehindAPanelAndTheWindowRefusesASecondEraseMeanwhile) {
    TempDir dir;
    constexpr int kFiles = 20000;
    makeFolders(dir / "set", 1, kFiles);
    auto w = std::make_unique<WindowAtHand>(dir / "data");
    w->prefs().set(PreferenceKeys::monitorFileSystemForChanges, false);
    ScriptedUser user;
    ASSERT_TRUE(w->scan(dir / "set"));
    FileNode* folder = w->node(dir / "set/f0");
    ASSERT_TRUE(folder);
    std::vector<FileNode*> files;
    for (FileNode* file : folder->children()) files.push_back(file);
    ASSERT_EQ(files.size(), size_t(kFiles));
    const size_t half = files.size() / 2;
    const std::vector<FileNode*> firstHalf(files.begin(), files.begin() + std::ptrdiff_t(half));
    const std::vector<FileNode*> secondHalf(files.begin() + std::ptrdiff_t(half), files.end());
    const auto onDiskAndDisagreeing = [](const std::vector<FileNode*>& nodes) {
        RowsAndDisk out;
        for (FileNode* file : nodes) {
            const bool there = existsNoFollow(file->pathBytes());
            out.onDisk += there;
            out.disagreeing += there == file->isDeleted();
        }
        return out;
    };
    const auto inTrash = [&] { return int64_t(namesIn(dir / "data/Trash/files").size()); };

    // The move is held before its second file until the test has acted (see the erase above).
    const QList<FileActionMenu*> menus = w->window().findChildren<FileActionMenu*>();
    ASSERT_GE(menus.size(), 2);
    ErasesHeldAtTheSecondItem held(menus);
    const auto holdAtTheSecond = [&] { held.arm(); };
    const auto& letGo = held.letGo;
    const auto& reached = held.reached;
    // Every way the window has to erase the same files again: its keys' menu items, and the
    // file actions of each of its views.
    const auto eraseAgain = [&](const std::vector<FileNode*>& nodes) {
        w->window().menus().action(ZelvaneMenuAction::moveToTrash)->trigger();
        w->window().menus().action(ZelvaneMenuAction::deleteImmediately)->trigger();
        for (FileActionMenu* menu : menus) {
            menu->actions().moveToTrash(nodes);
            menu->actions().deleteImmediately(nodes);
        }
    };

    // Delete on the first half; while the question is up, every other way is tried.
    holdAtTheSecond();
    w->window().treeSelection().set(NodeSet(firstHalf.begin(), firstHalf.end()));
    user.whileNextAlertIsUp([&] { eraseAgain(firstHalf); });
    user.answer({QStringLiteral("Move to Trash")});
    w->pressKey(Qt::Key_Delete);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000));
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Move 10000 items to the Trash?"));
    // Held at its second file: the window answers, and refuses again before the panel shows.
    ASSERT_TRUE(pumpWidgetsUntil([&] { return reached->load() >= 2; }, 30000));
    eraseAgain(firstHalf);
    QProgressDialog* panel = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (panel = shownPanel(w->window())) != nullptr; }, 30000))
        << "no panel while the files went";
    EXPECT_EQ(panel->labelText(), QStringLiteral("Moving to the Trash\u2026"));
    EXPECT_TRUE(QGuiApplication::overrideCursor()) << "no busy pointer while the files went";
    eraseAgain(firstHalf);
    QPushButton* cancel = panel->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    letGo->store(true);
    const auto settled = [&] { return !QGuiApplication::overrideCursor() && !w->window().liveMonitor().hasPendingRefresh(); };
    ASSERT_TRUE(pumpWidgetsUntil(settled, 60000));
    EXPECT_FALSE(shownPanel(w->window()));
    EXPECT_EQ(user.alerts.size(), 1u) << "asked again, or what Cancel kept was told as a failure";
    const RowsAndDisk cancelled = onDiskAndDisagreeing(firstHalf);
    // Held before its second file, Cancel let exactly the first go.
    EXPECT_EQ(cancelled.onDisk, int64_t(half) - 1) << "Cancel did not stop the move before the next file";
    EXPECT_EQ(cancelled.disagreeing, 0);
    EXPECT_EQ(inTrash(), int64_t(half) - cancelled.onDisk) << "a file went twice, or not into the Trash";

    // Once it has ended, the window erases again: the second half, and the window closed while
    // its files go stops the move with it.
    user.clear();
    holdAtTheSecond();
    w->window().treeSelection().set(NodeSet(secondHalf.begin(), secondHalf.end()));
    user.answer({QStringLiteral("Move to Trash")});
    w->pressKey(Qt::Key_Delete);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownPanel(w->window()) != nullptr; }, 30000));
    w->close();
    letGo->store(true);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(onDiskAndDisagreeing(secondHalf).onDisk, int64_t(files.size() - half) - 1)
        << "closing the window did not stop the move before the next file";
}

// Two windows on one folder erase it at the same moment, each going through the same files: an
// item that the other window removed first is gone, as it was to be, and no failure. Both windows
// show the whole folder deleted and say nothing more than their questions; the same for two moves
// to the Trash, and for a move to the Trash while the other window erases.
TEST(WindowFileActions, TwoWindowsErasingOneFolderAtOnceShowItGoneAndTellNoFailure) {
    TempDir dir;
    std::array<std::unique_ptr<WindowAtHand>, 2> windows{std::make_unique<WindowAtHand>(dir / "data"),
                                                         std::make_unique<WindowAtHand>(dir / "data")};
    // Without the live monitors, the rows follow only what each action itself reports.
    for (auto& w : windows) w->prefs().set(PreferenceKeys::monitorFileSystemForChanges, false);
    ScriptedUser user;
    // Each erase waits before its folder until the other one is there too, then both go at once.
    auto arrived = std::make_shared<std::atomic<int>>(0);
    for (auto& w : windows)
        for (FileActionMenu* menu : w->window().findChildren<FileActionMenu*>())
            menu->actions().setEraseWatch([arrived](const std::string&) {
                arrived->fetch_add(1);
                for (int i = 0; i < 3000 && arrived->load() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            });
    const auto bothAtOnce = [&](const char* first, const char* second) {
        makeFolders(dir / "set/shared", 8, 2500);
        user.clear();
        arrived->store(0);
        std::array<FileNode*, 2> shared{};
        for (size_t i = 0; i < 2; ++i) {
            ASSERT_TRUE(windows[i]->scan(dir / "set"));
            shared[i] = windows[i]->node(dir / "set/shared");
            ASSERT_TRUE(shared[i]);
        }
        for (size_t i = 0; i < 2; ++i) {
            const bool trash = std::string_view(i == 0 ? first : second) == "Move to Trash";
            windows[i]->select(shared[i]);
            user.answer({QString::fromUtf8(i == 0 ? first : second)});
            windows[i]->pressKey(Qt::Key_Delete, trash ? Qt::NoModifier : Qt::ShiftModifier);
            ASSERT_TRUE(pumpWidgetsUntil([&] { return user.alerts.size() > i; }, 30000));
        }
        ASSERT_TRUE(pumpWidgetsUntil([&] { return arrived->load() >= 2 && !QGuiApplication::overrideCursor(); }, 60000));
        QCoreApplication::processEvents();
        EXPECT_FALSE(fs::exists(dir / "set/shared"));
        for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(shared[i]->isDeleted()) << "window " << i << ", " << first << " and " << second;
        std::vector<QString> seen;
        for (const SeenAlert& alert : user.alerts) seen.push_back(alert.text + " " + alert.informativeText);
        EXPECT_EQ(user.alerts.size(), 2u) << "window told a failure: " << seen.back().toStdString();
    };
    bothAtOnce("Delete Immediately", "Delete Immediately");
    bothAtOnce("Move to Trash", "Move to Trash");
    bothAtOnce("Delete Immediately", "Move to Trash");
}

// On a desktop with nothing to show a folder or start a terminal (no file manager on the session
// bus, neither xdg-open nor a terminal program on the PATH, TERMINAL unset), Show in File Manager,
// Get Info, New Terminal at Folder and Open say so in the window instead of doing nothing; so does
// Open when the opener cannot be started or ends with a failure.
TEST(WindowFileActions, FileActionsThatStartProgramsSayWhenNothingCanBeStarted) {
    TempDir dir;
    writeFile(dir / "set/notes.txt", 10);
    fs::create_directories(dir / "empty-bin");
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const char* terminal = std::getenv("TERMINAL");
    const std::string savedTerminal = terminal ? terminal : "";
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string savedBus = bus ? bus : "";
    const testsupport::OnScopeExit restore([&] {
        ::setenv("PATH", path.c_str(), 1);
        if (terminal) ::setenv("TERMINAL", savedTerminal.c_str(), 1);
        if (bus) ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
        else ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    });
    ::setenv("PATH", (dir / "empty-bin").c_str(), 1);
    ::unsetenv("TERMINAL");
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (dir / "no-bus").native()).c_str(), 1);
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir / "set"));
    FileNode* notes = w.node(dir / "set/notes.txt");
    ASSERT_TRUE(notes);

    const auto choose = [&](const char* item) {
        user.clear();
        w.select(notes);
        user.choose({item});
        w.rightClickRow(notes);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000)) << item << " said nothing";
    };
    choose("Show in File Manager");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("No file manager could be started."));
    EXPECT_EQ(user.alerts[0].informativeText,
              QStringLiteral("None answers on the session bus, and no program that opens folders (xdg-open) was found."));
    choose("Get Info");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("No file manager could be started."));
    choose("New Terminal at Folder");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("No terminal program could be started."));
    EXPECT_EQ(user.alerts[0].informativeText,
              QStringLiteral("Neither x-terminal-emulator nor the program that TERMINAL names was found."));

    // TERMINAL names a program that is there but cannot be started: the alert says why.
    writeFile(dir / "empty-bin/myterm", std::string_view("not a program"));
    ASSERT_EQ(::chmod((dir / "empty-bin/myterm").c_str(), 0755), 0);
    ::setenv("TERMINAL", "myterm", 1);
    choose("New Terminal at Folder");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("No terminal program could be started."));
    EXPECT_EQ(user.alerts[0].informativeText,
              "\"" + QString::fromStdString((dir / "empty-bin/myterm").native()) + "\": " + QString::fromLocal8Bit(std::strerror(ENOEXEC)));

    // Open, and the Open button of the Quick Look window, without a program that opens files.
    choose("Open");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"notes.txt\" could not be opened."));
    EXPECT_EQ(user.alerts[0].informativeText, QStringLiteral("No program that opens files (xdg-open) was found."));
    user.clear();
    w.select(notes);
    user.choose({"Quick Look"});
    w.rightClickRow(notes);
    PreviewWindow* preview = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (preview = w.window().findChild<PreviewWindow*>()) && preview->isVisible(); }));
    QPushButton* openButton = nullptr;
    for (QPushButton* b : preview->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Open")) openButton = b;
    ASSERT_TRUE(openButton);
    openButton->click();
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !user.alerts.empty(); }, 30000)) << "the preview's Open said nothing";
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"notes.txt\" could not be opened."));
    preview->close();

    // The opener is there but cannot be started, or it starts and ends with a failure status.
    const fs::path opener = dir / "empty-bin/xdg-open";
    const QString shownOpener = "\"" + QString::fromStdString(opener.native()) + "\"";
    writeFile(opener, std::string_view("not a program"));
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    choose("Open");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"notes.txt\" could not be opened."));
    EXPECT_EQ(user.alerts[0].informativeText, shownOpener + ": " + QString::fromLocal8Bit(std::strerror(ENOEXEC)));
    fs::remove(opener);
    writeFile(opener, std::string_view("#!/bin/sh\nexit 4\n"));
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    choose("Open");
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("\"notes.txt\" could not be opened."));
    EXPECT_EQ(user.alerts[0].informativeText, shownOpener + QStringLiteral(" ended with exit status 4."));
}

// A file of `size` bytes with data in a few places and holes between them, so that it is read
// piece by piece.
void makeChangingSource(const fs::path& path, off_t size) {
    fs::create_directories(path.parent_path());
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    EXPECT_EQ(::ftruncate(fd.get(), size), 0);
    const std::string piece(1 << 20, 's');
    for (off_t at : {off_t(0), size / 3, 2 * size / 3, size - off_t(piece.size())})
        EXPECT_EQ(::pwrite(fd.get(), piece.data(), piece.size(), at), ssize_t(piece.size()));
}

// Runs the context menu's `item` on the node while its source undergoes `change` once the first
// piece of it has been read, on the working thread; returns once the action has reported.
void actWhileTheSourceChanges(WindowAtHand& w, ScriptedUser& user, FileNode* n, const char* item, const fs::path& source,
                              std::function<void(int)> change) {
    FileActionMenu* actions = w.window().contentView()->treeViewTab()->outline()->findChild<FileActionMenu*>();
    ASSERT_TRUE(actions);
    auto changed = std::make_shared<std::atomic<bool>>(false);
    actions->actions().setCopyWatch([changed, source, change](const std::string&, int64_t) {
        if (changed->exchange(true)) return;
        FileDescriptor fd(::open(source.c_str(), O_WRONLY));
        change(fd.get());
    });
    user.clear();
    user.answer({Qt::Key_Return});
    w.select(n);
    user.choose({item});
    w.rightClickRow(n);
    // The alert comes up as the action's report arrives, with the busy pointer gone.
    EXPECT_TRUE(pumpWidgetsUntil([] { return !QGuiApplication::overrideCursor(); }, 60000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(changed->load()) << "the source was watched";
}

// A file that changes while Duplicate copies it (cut short, or grown) fails the copy: the alert
// says why, and no copy stays, neither under a name of its own nor hidden. An unchanged file
// copies as before.
TEST(WindowFileActions, DuplicateOfAFileThatChangesWhileItIsCopiedFailsAndLeavesNoCopy) {
    TempDir dir;
    constexpr off_t kSize = 600'000'000;
    makeChangingSource(dir / "grow.bin", kSize);
    makeChangingSource(dir / "box/log.bin", kSize);
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* grow = w.node(dir / "grow.bin");
    FileNode* box = w.node(dir / "box");
    ASSERT_TRUE(grow && box);
    const auto duplicateWhile = [&](FileNode* n, const fs::path& source, std::function<void(int)> change) {
        actWhileTheSourceChanges(w, user, n, "Duplicate", source, std::move(change));
    };
    const QString why = QStringLiteral("It changed while it was being copied, so the unfinished copy was removed.");

    duplicateWhile(grow, dir / "grow.bin", [](int fd) { EXPECT_EQ(::ftruncate(fd, 1'000'000), 0); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't duplicate \"grow.bin\""));
    EXPECT_EQ(user.alerts[0].informativeText, why);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"box", "data", "grow.bin"}));

    makeChangingSource(dir / "grow.bin", kSize);
    duplicateWhile(grow, dir / "grow.bin", [](int fd) { EXPECT_EQ(::pwrite(fd, "more", 4, kSize), 4); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].informativeText, why);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"box", "data", "grow.bin"}));

    // A file inside a folder: the alert names it.
    duplicateWhile(box, dir / "box/log.bin", [](int fd) { EXPECT_EQ(::ftruncate(fd, 0), 0); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't duplicate \"box\""));
    EXPECT_EQ(user.alerts[0].informativeText, "\"box/log.bin\": " + why);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"box", "data", "grow.bin"}));

    // Left alone, the copy is made and holds what the source holds.
    makeChangingSource(dir / "grow.bin", kSize);
    duplicateWhile(grow, dir / "grow.bin", [](int) {});
    EXPECT_TRUE(user.alerts.empty());
    struct stat copied {};
    ASSERT_EQ(::stat((dir / "grow copy.bin").c_str(), &copied), 0);
    EXPECT_EQ(copied.st_size, kSize);
    FileDescriptor fd(::open((dir / "grow copy.bin").c_str(), O_RDONLY));
    char last = 0;
    EXPECT_EQ(::pread(fd.get(), &last, 1, kSize - 1), 1);
    EXPECT_EQ(last, 's');
}

// A file that changes while Compress reads it (cut short, grown, or written over in place) fails
// the archive as it fails a duplicate: the alert says why, and no archive stays, neither under a
// name nor hidden. An unchanged file is archived whole.
TEST(WindowFileActions, CompressOfAFileThatChangesWhileItIsReadFailsAndLeavesNoArchive) {
    TempDir dir;
    constexpr off_t kSize = 40'000'000;
    makeChangingSource(dir / "big.bin", kSize);
    makeChangingSource(dir / "box/log.bin", kSize);
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* big = w.node(dir / "big.bin");
    FileNode* box = w.node(dir / "box");
    ASSERT_TRUE(big && box);
    const auto compressWhile = [&](FileNode* n, const fs::path& source, std::function<void(int)> change) {
        actWhileTheSourceChanges(w, user, n, "Compress", source, std::move(change));
    };
    const QString why = QStringLiteral("It changed while it was being compressed, so the unfinished archive was removed.");
    const std::vector<std::string> before{"big.bin", "box", "data"};

    compressWhile(big, dir / "big.bin", [](int fd) { EXPECT_EQ(::ftruncate(fd, 1'000'000), 0); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't compress \"big.bin\""));
    EXPECT_EQ(user.alerts[0].informativeText, why);
    EXPECT_EQ(namesIn(dir.path()), before);

    makeChangingSource(dir / "big.bin", kSize);
    compressWhile(big, dir / "big.bin", [](int fd) { EXPECT_EQ(::pwrite(fd, "more", 4, kSize), 4); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].informativeText, why);
    EXPECT_EQ(namesIn(dir.path()), before);

    // Written over in place, its length kept: its date tells.
    makeChangingSource(dir / "big.bin", kSize);
    compressWhile(big, dir / "big.bin", [](int fd) {
        const struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 100, 0}};
        EXPECT_EQ(::pwrite(fd, "x", 1, kSize - 1), 1);
        EXPECT_EQ(::futimens(fd, later), 0);
    });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].informativeText, why);
    EXPECT_EQ(namesIn(dir.path()), before);

    // A file inside a folder: the alert names it.
    compressWhile(box, dir / "box/log.bin", [](int fd) { EXPECT_EQ(::ftruncate(fd, 0), 0); });
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Couldn't compress \"box\""));
    EXPECT_EQ(user.alerts[0].informativeText, "\"box/log.bin\": " + why);
    EXPECT_EQ(namesIn(dir.path()), before);

    // Left alone, the archive is made and holds the whole file.
    makeChangingSource(dir / "big.bin", kSize);
    ASSERT_TRUE(w.scan(dir.path()));
    compressWhile(w.node(dir / "big.bin"), dir / "big.bin", [](int) {});
    EXPECT_TRUE(user.alerts.empty());
    int err = 0;
    zip_t* zip = zip_open((dir / "big.zip").c_str(), ZIP_RDONLY, &err);
    ASSERT_TRUE(zip) << err;
    zip_stat_t st;
    ASSERT_EQ(zip_stat(zip, "big.bin", 0, &st), 0);
    EXPECT_EQ(st.size, zip_uint64_t(kSize));
    zip_discard(zip);
}

// An import that names its items by relative paths gives no place on disk to act on: every
// action says so instead of doing nothing without a word, and nothing on disk changes.
TEST(WindowFileActions, ActionsOnAnImportWithRelativePathsSayWhyTheyCannotAct) {
    TempDir dir;
    writeFile(dir / "rows.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n"
                                "\"docs/\",2,8192,2026/01/02 03:04:05,0,2,0\n"
                                "\"docs/a.txt\",1,4096,2026/01/02 03:04:05,0,0,0\n"
                                "\"docs/b.txt\",1,4096,2026/01/02 03:04:05,0,0,0\n");
    WindowAtHand w(dir / "data");
    ScriptedUser user;
    FileNode* docs = w.import(dir / "rows.csv");
    ASSERT_TRUE(docs);
    FileNode* a = nullptr;
    for (FileNode* c : docs->children())
        if (c->nameBytes() == "a.txt") a = c;
    ASSERT_TRUE(a);
    const QString why = QStringLiteral("The imported file gives only a relative path for it, so where it is on disk is unknown.");

    const auto expectRefusal = [&](const QString& text) {
        ASSERT_EQ(user.alerts.size(), 1u) << text.toStdString();
        EXPECT_EQ(user.alerts[0].text, text);
        EXPECT_EQ(user.alerts[0].informativeText, why);
        EXPECT_EQ(user.alerts[0].buttons, QStringList{"OK"});
    };
    w.select(a);
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    expectRefusal(QStringLiteral("\"a.txt\" can't be deleted."));
    user.clear();
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete);
    expectRefusal(QStringLiteral("\"a.txt\" can't be moved to the Trash."));
    const std::pair<const char*, QString> items[] = {
        {"Duplicate", QStringLiteral("Couldn't duplicate \"a.txt\"")},
        {"Make Link", QStringLiteral("Couldn't make a link to \"a.txt\"")},
        {"Open", QStringLiteral("\"a.txt\" can't be found on disk.")},
        {"Copy Path", QStringLiteral("\"a.txt\" can't be found on disk.")},
    };
    for (const auto& [item, text] : items) {
        user.clear();
        w.select(a);
        user.choose({item});
        user.answer({Qt::Key_Return});
        w.rightClickRow(a);
        ASSERT_TRUE(pumpWidgetsUntil([] { return !QGuiApplication::overrideCursor(); }, 30000));
        EXPECT_EQ(user.menusSeen, QStringList{item}) << item;
        expectRefusal(text);
    }
    // Both files at once are counted.
    user.clear();
    w.window().treeSelection().set(NodeSet(docs->children().begin(), docs->children().end()));
    user.answer({Qt::Key_Return});
    w.press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("2 items can't be deleted."));
    EXPECT_EQ(user.alerts[0].informativeText, "\"a.txt\": " + why + "\n\"b.txt\": " + why);
    user.clear();
    user.answer({Qt::Key_Return});
    QLineEdit* field = w.beginRename(a);
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClicks(field, "renamed.txt");
    QTest::keyClick(field, Qt::Key_Return);
    expectRefusal(QStringLiteral("Couldn't rename \"a.txt\""));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"data", "rows.csv"}));
    EXPECT_FALSE(a->isDeleted());
}

TEST(WindowFileActions, ReturnOnTheFirstStartOfferKeepsTheProgramWhereItIs) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("p.plist"));
    MainWindow window(prefs, CLIAutomation::Options{});
    WindowStartupHooks hooks;
    hooks.shouldOfferMoveToApplications = [] { return true; };
    window.setStartupHooks(hooks);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QMessageBox* offer = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        for (QMessageBox* box : window.findChildren<QMessageBox*>())
            if (box->isVisible() && box->text() == QStringLiteral("Move to Applications Folder?")) offer = box;
        return offer != nullptr;
    }, 10000));
    ScriptedUser user;
    // Only when Return would keep it is Return pressed: pressed on the move, it would move this
    // test program's own folder.
    QPushButton* returnTakes = offer->defaultButton();
    for (QPushButton* b : offer->findChildren<QPushButton*>())
        if (b->hasFocus() && b->autoDefault()) returnTakes = b;
    ASSERT_TRUE(returnTakes);
    ASSERT_EQ(returnTakes->text(), QStringLiteral("Not Now"));
    QTest::keyClick(returnTakes, Qt::Key_Return);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !offer->isVisible(); }));
    EXPECT_FALSE(prefs.value(PreferenceKeys::suppressMoveToApplicationsPrompt));
    EXPECT_TRUE(QFileInfo::exists(QCoreApplication::applicationFilePath()));
}

}  // namespace
}  // namespace zelvane

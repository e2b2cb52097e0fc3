#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "QtWidgetTestApp.hpp"
#include "ScriptedUser.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Common/DeterminateProgressBar.hpp"
#include "ZelvaneMac/Widgets/Common/FilterIcon.hpp"
#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Common/FolderIconCache.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/SelectionsBox.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/VolumeDropdown.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
namespace fs = std::filesystem;

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

// A window whose start-up lists two made-up volumes and names what `arguments` says.
struct TestWindow {
    bool appReady = (qtWidgetApp(), true);
    QTemporaryDir prefsDir;
    Preferences prefs{prefsDir.filePath("prefs.plist")};
    std::vector<VolumeInfo> volumes{{"/", "System", true, true, 1'000'000'000, 250'000'000},
                                    {"/mnt/data", "data", false, true, {}, {}}};
    MainWindow window{prefs, {}};
    TopBar* top = window.contentView()->topBar();

    explicit TestWindow(QStringList arguments = {}) {
        qtWidgetApp();
        WindowStartupHooks hooks;
        hooks.enumerateVolumes = [this] { return volumes; };
        hooks.hasFullDiskAccess = [] { return true; };
        std::vector<std::string> bytes;
        for (const QString& argument : arguments) bytes.push_back(pathBytesFromQString(argument));
        hooks.commandLine = commandLineTargets(bytes, std::filesystem::current_path().string());
        window.setStartupHooks(std::move(hooks));
        window.resize(1436, 758);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(pumpWidgetsUntil([this] { return window.startup().hasRun(); }));
    }
    bool finished() const {
        const auto tag = window.viewModel().scanState().tag();
        return tag != ScanState::Tag::scanning && tag != ScanState::Tag::idle;
    }
};

TEST(TopBar, PickerRowsChoicesAndTheScanButton) {
    TestWindow w;
    VolumeDropdown* picker = w.top->picker();
    // Appearance selected the first volume, without scanning.
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), QStringLiteral("/"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("System"));
    EXPECT_EQ(w.top->statusLabel()->text(), QStringLiteral("Ready..."));
    EXPECT_EQ(picker->count(), 6) << "two volumes, a separator, three commands";
    const int rebuilds = picker->rebuildCount();
    w.window.volumeChoice().setSelectedVolumeID(QStringLiteral("/mnt/data"));
    EXPECT_EQ(picker->rebuildCount(), rebuilds) << "same rows: the menu is kept";
    EXPECT_EQ(picker->currentText(), QStringLiteral("data"));
    w.window.volumeChoice().setSelectedVolumeID(QStringLiteral("/nowhere"));
    EXPECT_EQ(picker->currentIndex(), -1) << "a selection without a row shows none";

    // Custom folders appear after a separator and scan when picked, whatever the setting.
    TempDir dir;
    writeFile(dir / "x/a.txt", 10);
    w.prefs.set(PreferenceKeys::autoScanAfterSelection, false);
    w.prefs.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {q(dir / "x")});
    EXPECT_EQ(picker->count(), 8);
    EXPECT_EQ(picker->rebuildCount(), rebuilds + 1);
    picker->pick(q(dir / "x"));
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), q(dir / "x"));
    EXPECT_TRUE(w.window.viewModel().scanState().isScanning());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    EXPECT_TRUE(w.top->statusLabel()->text().startsWith(QStringLiteral("Scan complete in ")));

    // A volume with scanning after selection off only selects it.
    picker->pick(QStringLiteral("/mnt/data"));
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), QStringLiteral("/mnt/data"));
    EXPECT_EQ(w.window.viewModel().scanState().tag(), ScanState::Tag::idle);

    // A cancelled folder panel leaves the previous choice on display.
    int asked = 0;
    w.top->setFolderChooser([&](QWidget*) { ++asked; return QString(); });
    picker->pick(PickerTag::selectFolder);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), QStringLiteral("/mnt/data"));
    EXPECT_EQ(picker->currentText(), QStringLiteral("data"));

    // A folder chosen in the panel is scanned at once; Scan then opens the panel again.
    w.top->setFolderChooser([&](QWidget*) { ++asked; return q(dir.path()); });
    picker->pick(PickerTag::selectFolder);
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), PickerTag::selectFolder);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    QTest::mouseClick(w.top->scanButton(), Qt::LeftButton);
    EXPECT_EQ(asked, 3);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));

    // "<Select Multiple...>" stops monitoring and raises the sheet.
    EXPECT_TRUE(w.window.liveMonitor().isWatching());
    picker->pick(PickerTag::selectMultiple);
    EXPECT_FALSE(w.window.liveMonitor().isWatching());
    EXPECT_TRUE(w.window.prompts().showSelectMultipleSheet());
    ASSERT_NE(w.window.sheets().sheet(&WindowPrompts::showSelectMultipleSheet), nullptr);
    w.window.sheets().sheet(&WindowPrompts::showSelectMultipleSheet)->reject();
    EXPECT_FALSE(w.window.prompts().showSelectMultipleSheet());
    EXPECT_TRUE(w.window.liveMonitor().isWatching()) << "cancelled: monitoring resumes";
}

TEST(TopBar, ReturnCancelsARunningScanExceptWhileRenaming) {
    TempDir dir;
    for (int d = 0; d < 200; ++d) writeFile(dir / ("d" + std::to_string(d)) / "f", 1);
    TestWindow w;
    w.window.viewModel().selectRoot(q(dir.path()), q(dir.path()));
    QPushButton* button = w.top->scanButton();
    const int width = button->width();
    EXPECT_GE(width, 85);

    w.window.commands().setIsRenamingInline(true);
    EXPECT_FALSE(button->isEnabled());
    QTest::keyClick(&w.window, Qt::Key_Return);
    EXPECT_EQ(w.window.viewModel().scanState().tag(), ScanState::Tag::idle) << "Return does nothing while renaming";
    w.window.commands().setIsRenamingInline(false);

    w.window.activateWindow();
    w.window.scanControl().startScan();
    ASSERT_TRUE(w.window.viewModel().scanState().isScanning());
    EXPECT_EQ(button->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(button->width(), width) << "one width for both labels";
    EXPECT_FALSE(w.top->adminChevron()->isEnabled());
    QTest::keyClick(&w.window, Qt::Key_Return);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    // Either it was cancelled, or the scan was faster than the key: both end the scan.
    const auto tag = w.window.viewModel().scanState().tag();
    EXPECT_TRUE(tag == ScanState::Tag::cancelled || tag == ScanState::Tag::completed);
    EXPECT_EQ(button->text(), QStringLiteral("Scan"));
    EXPECT_TRUE(w.top->adminChevron()->isEnabled());
    EXPECT_EQ(w.top->progressBar()->fraction(), 1.0) << "full after a scan";
}

// The Return that picks a row in a combo box's popup reaches the window with the focus back on the
// box; it belongs to the box and must not also press Scan (here: open the folder panel again).
TEST(TopBar, ReturnInAComboBoxIsTheBoxsOwn) {
    TestWindow w;
    int asked = 0;
    w.top->setFolderChooser([&](QWidget*) {
        ++asked;
        return QString();
    });
    w.window.volumeChoice().setSelectedVolumeID(PickerTag::selectFolder);
    w.window.activateWindow();
    w.top->picker()->setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QApplication::focusWidget() == w.top->picker(); }));
    QTest::keyClick(w.top->picker(), Qt::Key_Return);
    EXPECT_EQ(asked, 0) << "Return in the picker opened the folder panel";

    w.top->scanButton()->setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QApplication::focusWidget() == w.top->scanButton(); }));
    QTest::keyClick(&w.window, Qt::Key_Return);
    EXPECT_EQ(asked, 1) << "elsewhere Return still presses Scan";
}

// The note and the sheet after a scan that met a folder it cannot open. Root opens every folder,
// so when running as root the whole check runs in a forked child that has become "nobody".
std::string deniedFolderCheck(const fs::path& root) {
    TestWindow w;
    w.window.scanControl().scanChosenFolder(q(root));
    if (!pumpWidgetsUntil([&] { return w.finished(); })) return "the scan did not finish";
    if (w.window.viewModel().lastScanAccessDeniedPaths() != QStringList{q(root / "closed")})
        return "denied paths: " + w.window.viewModel().lastScanAccessDeniedPaths().join(',').toStdString();
    if (!w.top->accessDeniedNote()->isVisible()) return "the note is hidden";
    if (!w.top->accessDeniedNote()->font().underline()) return "the note is not underlined";
    QTest::mouseClick(w.top->accessDeniedNote(), Qt::LeftButton);
    auto* sheet = qobject_cast<AccessDeniedFoldersDialog*>(w.window.sheets().sheet(AskedSheet::accessDeniedFolders));
    if (!sheet || !sheet->isVisible()) return "no sheet";
    if (sheet->list()->count() != 1 || sheet->list()->item(0)->text() != q(root / "closed")) return "wrong rows";
    if (!sheet->explanationLabel()->text().contains("the following folder during")) return "not the singular wording";
    w.window.grab().save(grabPath("denied-note.png"));
    sheet->accept();
    if (w.window.sheets().sheet(AskedSheet::accessDeniedFolders)) return "the closed sheet is still taken as up";
    QTest::mouseClick(w.top->accessDeniedNote(), Qt::LeftButton);
    if (!w.window.sheets().sheet(AskedSheet::accessDeniedFolders)) return "the note does not open the sheet again";
    w.window.sheets().sheet(AskedSheet::accessDeniedFolders)->reject();
    // The next scan hides the note while it runs.
    w.window.scanControl().startScan();
    if (w.top->accessDeniedNote()->isVisible()) return "the note shows while scanning";
    pumpWidgetsUntil([&] { return w.finished(); });
    return {};
}

// Run by the test below in a child process that became "nobody" (a fresh process: Qt does not
// survive a fork once its application exists).
TEST(TopBar, DeniedFolderChild) {
    const char* tree = std::getenv("ZELVANE_DENIED_TREE");
    if (!tree) GTEST_SKIP() << "only run as the child of DeniedFoldersShowTheNoteAndTheSheet";
    EXPECT_EQ(deniedFolderCheck(tree), "");
}

TEST(TopBar, DeniedFoldersShowTheNoteAndTheSheet) {
    TempDir dir;
    writeFile(dir / "open/a.txt", 5);
    writeFile(dir / "closed/secret.txt", 5);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod((dir / "closed").c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(deniedFolderCheck(dir.path()), "");
        ::chmod((dir / "closed").c_str(), 0755);
        return;
    }
    ::chmod(QFileInfo(grabPath("x")).path().toLocal8Bit().constData(), 01777);  // the child's picture
    // A checkout under /root is closed to the child: it runs a copy of this program with the
    // libraries beside it, and reads a copy of the sanitizers' suppressions. The copy is run
    // wherever the checkout lies.
    testsupport::shareSanitizerSuppressionsWith(65534);
    std::string why;
    const std::string program = testsupport::runnableCopyOf(65534, fs::read_symlink("/proc/self/exe").string(), &why);
    ASSERT_FALSE(program.empty()) << why;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        ::setenv("ZELVANE_DENIED_TREE", dir.path().c_str(), 1);
        ::setenv("HOME", "/tmp", 1);
        const char* args[] = {"ScanWidgetsTests", "--gtest_filter=TopBar.DeniedFolderChild", nullptr};
        ::execv(program.c_str(), const_cast<char* const*>(args));
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod((dir / "closed").c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the unprivileged child failed, status " << status;
}

// A folder that may be listed but not entered (its names can be read, nothing about them) is a
// folder the scan could not read: marked, named in the note and the sheet, and empty, its files
// never passed off as files of 0 bytes dated 1970 and its subfolders never as empty folders.
TEST(TopBar, AFolderThatCanBeListedButNotEnteredIsNamedAsUnreadable) {
    TempDir dir;
    writeFile(dir / "open/a.txt", 5);
    writeFile(dir / "listed/secret.txt", 5000);
    writeFile(dir / "listed/inner/deeper.txt", 7000);
    // Read without execute: to another user through the bits for others, to the owner through its own.
    const bool asAnotherUser = ::geteuid() == 0;
    ::chmod(dir.path().c_str(), 0755);
    ::chmod((dir / "listed").c_str(), asAnotherUser ? 0744 : 0644);
    TestWindow w;
    {
        std::optional<testing::ActingAsAnotherUser> user;
        if (asAnotherUser) user.emplace();
        w.window.scanControl().scanChosenFolder(q(dir.path()));
        ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    }
    ::chmod((dir / "listed").c_str(), 0755);
    EXPECT_EQ(w.window.viewModel().scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(w.window.viewModel().lastScanAccessDeniedPaths(), QStringList{q(dir / "listed")});
    EXPECT_TRUE(w.top->accessDeniedNote()->isVisible());
    QTest::mouseClick(w.top->accessDeniedNote(), Qt::LeftButton);
    auto* sheet = qobject_cast<AccessDeniedFoldersDialog*>(w.window.sheets().sheet(AskedSheet::accessDeniedFolders));
    ASSERT_TRUE(sheet && sheet->isVisible());
    ASSERT_EQ(sheet->list()->count(), 1);
    EXPECT_EQ(sheet->list()->item(0)->text(), q(dir / "listed"));
    sheet->accept();

    const std::vector<RootRef>& roots = w.window.scanControl().effectiveRoots();
    ASSERT_EQ(roots.size(), 1u);
    const FileNode* listed = w.window.scanControl().node(q(dir / "listed"));
    ASSERT_NE(listed, nullptr);
    EXPECT_TRUE(listed->accessDenied());
    EXPECT_TRUE(listed->children().empty());
    EXPECT_EQ(roots[0]->subFolderTotSize(), 5);
    EXPECT_EQ(roots[0]->subFolderFileCount(), 1);
    EXPECT_EQ(roots[0]->subFolderDirCount(), 2);
}

// The exclude filter typed into the panel and applied with Return; true once the window shows
// the filtered copy of its tree.
bool excludeTypedIntoTheFilterPanel(TestWindow& w, const QString& filter) {
    w.window.panes().setShowFilterPanel(true);
    FilterSyntaxTextField& field = w.window.contentView()->filterPanel()->excludeField();
    w.window.show();
    if (!pumpWidgetsUntil([&] { return field.isVisible(); })) return false;
    field.setFocus();
    QTest::keyClicks(&field, filter);
    QTest::keyClick(&field, Qt::Key_Return);
    return pumpWidgetsUntil([&] { return w.window.scanControl().effectiveRoots() != w.window.scanControl().scanRoots(); });
}

// A folder the scan could not open keeps its mark in the tree a filter shows: the outline draws
// it with the icon of a folder that could not be read, filtered or not, and not as an ordinary
// empty folder.
TEST(TopBar, AFilteredTreeKeepsTheMarkOfAFolderThatCouldNotBeRead) {
    TempDir dir;
    writeFile(dir / "open/a.txt", 5);
    writeFile(dir / "open/b.tmp", 5);
    writeFile(dir / "closed/secret.txt", 5000);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod((dir / "closed").c_str(), 0);
    TestWindow w;
    {
        std::optional<testing::ActingAsAnotherUser> user;
        if (::geteuid() == 0) user.emplace();
        w.window.scanControl().scanChosenFolder(q(dir.path()));
        ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    }
    ::chmod((dir / "closed").c_str(), 0755);
    FileTreeOutlineView& view = *w.window.contentView()->treeViewTab()->outline();
    auto* delegate = qobject_cast<ResultTableDelegate*>(view.outline().itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const auto shownAsUnreadable = [&](FileNode* node) {
        const QModelIndex row = view.model().indexForNode(node).siblingAtColumn(FileTreeOutlineModel::nameColumn);
        return row.isValid() &&
               delegate->providedIcon(row).cacheKey() == FolderIconCache::shared().accessDeniedIcon().cacheKey();
    };
    FileNode* closed = w.window.scanControl().node(q(dir / "closed"));
    ASSERT_NE(closed, nullptr);
    ASSERT_TRUE(closed->accessDenied());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownAsUnreadable(closed); }));

    ASSERT_TRUE(excludeTypedIntoTheFilterPanel(w, QStringLiteral("*.tmp")));
    EXPECT_EQ(w.window.scanControl().node(q(dir / "open/b.tmp")), nullptr) << "the filter applies";
    FileNode* filtered = w.window.scanControl().node(q(dir / "closed"));
    ASSERT_NE(filtered, nullptr);
    ASSERT_NE(filtered, closed) << "the node of the filtered copy";
    EXPECT_TRUE(filtered->accessDenied());
    EXPECT_TRUE(pumpWidgetsUntil([&] { return shownAsUnreadable(filtered); }));
}

// A folder with another file system mounted on it is left unread and marked as the edge of the
// scan; the tree a filter shows keeps that mark with every other the scanned folder has.
TEST(TopBar, AFilteredTreeKeepsTheMarkOfAFolderOnAnotherFileSystem) {
    TempDir dir;
    writeFile(dir / "open/a.txt", 5);
    writeFile(dir / "open/b.tmp", 5);
    testing::TmpfsMount volume(dir / "volume");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeFile(dir / "volume/inside.txt", 5000);
    TestWindow w;
    w.window.scanControl().scanChosenFolder(q(dir.path()));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    FileNode* mounted = w.window.scanControl().node(q(dir / "volume"));
    ASSERT_NE(mounted, nullptr);
    ASSERT_TRUE(mounted->isVolumeBoundary());
    ASSERT_TRUE(mounted->children().empty());

    ASSERT_TRUE(excludeTypedIntoTheFilterPanel(w, QStringLiteral("*.tmp")));
    EXPECT_EQ(w.window.scanControl().node(q(dir / "open/b.tmp")), nullptr) << "the filter applies";
    FileNode* filtered = w.window.scanControl().node(q(dir / "volume"));
    ASSERT_NE(filtered, nullptr);
    ASSERT_NE(filtered, mounted) << "the node of the filtered copy";
    EXPECT_TRUE(filtered->isVolumeBoundary());
    EXPECT_TRUE(filtered->children().empty());
    FileNode* open = w.window.scanControl().node(q(dir / "open"));
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(open->isVolumeBoundary()) << "an ordinary folder stays unmarked";
}

TEST(StatusBarAndSelections, TextsFollowTheStateAndTheWindowIsGrabbed) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TempDir dir;
    writeFile(dir / "docs/a.txt", 1000);
    writeFile(dir / "docs/b.txt", 2000);
    writeFile(dir / "docs/deeper/c.txt", 3000);
    writeFile(dir / "pictures/p.png", 50000);
    writeFile(dir / "readme.md", 700);
    TestWindow w({q(dir.path())});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    StatusBar* status = w.window.contentView()->statusBar();
    EXPECT_EQ(w.window.volumeChoice().selectedVolumeID(), PickerTag::selectFolder) << "one folder on the command line";
    EXPECT_EQ(status->summaryLabel()->toolTip(), q(dir.path())) << "nothing selected: the root label";
    EXPECT_TRUE(w.window.windowTitle().contains(QStringLiteral("<Folder>")));
    const QStringList box = w.top->selectionsBox()->lines();
    EXPECT_TRUE(box[0].startsWith(QStringLiteral("Selection: <Folder>  "))) << box[0].toStdString();

    FileNode* docs = w.window.scanControl().node(q(dir / "docs"));
    ASSERT_NE(docs, nullptr);
    w.window.treeSelection().set({docs});
    EXPECT_TRUE(status->summaryLabel()->toolTip().startsWith(QStringLiteral("Selected Files: 3  Total Size: 6.0 KB")))
        << status->summaryLabel()->toolTip().toStdString();
    w.window.controller().setSelectedTab(ContentTab::fileView);
    EXPECT_TRUE(status->totalsLabel()->isVisible());
    EXPECT_TRUE(status->totalsLabel()->toolTip().startsWith(QStringLiteral("(0 files  ")));
    w.window.fileSelection().set({docs});
    EXPECT_TRUE(status->summaryLabel()->toolTip().startsWith(QStringLiteral("Selected Files: 1  ")));
    w.window.controller().setSelectedTab(ContentTab::treeView);
    EXPECT_FALSE(status->totalsLabel()->isVisible());
    w.window.hoverPathState().setPath(q(dir / "docs/a.txt"));
    EXPECT_EQ(status->hoverLabel()->toolTip(), q(dir / "docs/a.txt"));
    // A path too long for the row keeps its start and its name; the middle gives way.
    const QString deep = QStringLiteral("/start") + QString("/folder").repeated(200) + QStringLiteral("/name.txt");
    w.window.hoverPathState().setPath(deep);
    const QString shown = status->hoverLabel()->text();
    EXPECT_TRUE(shown.startsWith("/st") && shown.endsWith(".txt") && shown.contains(QChar(0x2026)))
        << shown.toStdString();
    w.window.hoverPathState().setPath(std::nullopt);
    EXPECT_TRUE(status->hoverLabel()->text().isEmpty());
    EXPECT_FALSE(status->staleNote()->isVisible());

    // A root on a volume with known capacities fills the box's three rows.
    w.window.viewModel().selectRoot(q(dir.path()), q(dir.path()));
    w.window.volumeChoice().setSelectedVolumeID(q(dir.path()));
    w.window.scanControl().startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    const QStringList rows = w.top->selectionsBox()->lines();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[2].startsWith(QStringLiteral("Space Used: "))) << rows[2].toStdString();
    EXPECT_TRUE(rows[2].endsWith(QStringLiteral("%)")));
    w.window.treeSelection().set({w.window.scanControl().node(q(dir / "docs"))});
    QTest::qWait(50);
    const QImage picture = w.window.grab().toImage();
    EXPECT_TRUE(picture.save(grabPath("main-window-after-scan.png")));

    // Missed changes turn the stale note on until the next scan.
    w.window.liveMonitor().handle({FileChangeEvent{dir.path().string(), EventStreamFlag::kMustScanSubDirs}});
    EXPECT_TRUE(status->staleNote()->isVisible());
    EXPECT_TRUE(w.window.grab().toImage().save(grabPath("main-window-stale.png")));
    w.window.scanControl().startScan();
    EXPECT_FALSE(status->staleNote()->isVisible());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
}

// Each bar, the picker, the filter panel and the menus show a setting written while the window is
// open, and a write of a key they do not show leaves them as they are.
TEST(StatusBarAndSelections, WrittenSettingsReachEveryPartThatShowsThem) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TempDir dir;
    writeFile(dir / "docs/a.txt", 1000);
    writeFile(dir / "docs/b.txt", 2000);
    TestWindow w({q(dir.path())});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    Preferences& prefs = w.prefs;
    StatusBar* status = w.window.contentView()->statusBar();
    FilterPanel* filters = w.window.contentView()->filterPanel();
    const auto summary = [&] { return status->summaryLabel()->toolTip(); };
    const auto menuItem = [&](const QString& title) -> QAction* {
        for (QAction* a : w.window.menus().optionsMenu()->actions())
            if (a->text() == title) return a;
        return nullptr;
    };

    // The size display: the selection's summary and the selections box.
    w.window.treeSelection().set({w.window.scanControl().node(q(dir / "docs"))});
    EXPECT_TRUE(summary().contains(QStringLiteral("Total Size: 3.0 KB"))) << summary().toStdString();
    prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(1));
    EXPECT_FALSE(summary().contains(QStringLiteral("3.0 KB"))) << summary().toStdString();
    EXPECT_TRUE(summary().contains(SizeTextFormat::of(prefs)(3000))) << summary().toStdString();
    w.window.volumeChoice().setSelectedVolumeID(q(dir.path()));
    w.window.scanControl().startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    ASSERT_TRUE(w.window.viewModel().totalCapacity().has_value());
    const int64_t total = *w.window.viewModel().totalCapacity();
    const auto totalRow = [&] { return w.top->selectionsBox()->lines().value(1); };
    EXPECT_TRUE(totalRow().contains(SizeTextFormat::of(prefs)(total))) << totalRow().toStdString();
    prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(4));
    EXPECT_TRUE(totalRow().contains(SizeTextFormat::of(prefs)(total))) << totalRow().toStdString();
    EXPECT_TRUE(totalRow().contains(QStringLiteral(" GB"))) << totalRow().toStdString();

    // Counting folders in the File View's totals names its rows items.
    w.window.controller().setSelectedTab(ContentTab::fileView);
    EXPECT_TRUE(status->totalsLabel()->toolTip().contains(QStringLiteral(" files  "))) << status->totalsLabel()->toolTip().toStdString();
    prefs.set(PreferenceKeys::fileIncludeFolders, true);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return status->totalsLabel()->toolTip().contains(QStringLiteral(" items  ")); }))
        << status->totalsLabel()->toolTip().toStdString();
    w.window.controller().setSelectedTab(ContentTab::treeView);

    // Custom folders: the picker lists them, and a selected one is marked a folder in the box.
    w.window.volumeChoice().setSelectedVolumeID(q(dir / "docs"));
    EXPECT_TRUE(w.top->selectionsBox()->lines().value(0).startsWith(QStringLiteral("Selection: ")));
    EXPECT_FALSE(w.top->selectionsBox()->lines().value(0).contains(QStringLiteral("<Folder>")));
    const int rows = w.top->picker()->count();
    prefs.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {q(dir / "docs")});
    EXPECT_TRUE(w.top->selectionsBox()->lines().value(0).startsWith(QStringLiteral("Selection: <Folder>")))
        << w.top->selectionsBox()->lines().value(0).toStdString();
    EXPECT_EQ(w.top->picker()->count(), rows + 2) << "a separator and the folder";

    // The filter panel shows the stored texts, match mode and histories; a draft in its field
    // outlives a write of a key it does not show.
    prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt"));
    EXPECT_EQ(filters->includeField().text(), QStringLiteral("*.txt"));
    prefs.set(PreferenceKeys::excludeFilterHistoryJSON, QStringLiteral("[\"*.tmp\"]"));
    EXPECT_EQ(filters->excludeHistory().history(), QStringList{QStringLiteral("*.tmp")});
    filters->includeField().setText(QStringLiteral("draft"));
    prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(2));
    prefs.set(PreferenceKeys::autoScanAfterSelection, !prefs.value(PreferenceKeys::autoScanAfterSelection));
    EXPECT_EQ(filters->includeField().text(), QStringLiteral("draft"));
    prefs.set(PreferenceKeys::excludeFilterText, QStringLiteral("*.bak"));
    EXPECT_EQ(filters->includeField().text(), QStringLiteral("*.txt"));
    EXPECT_EQ(filters->excludeField().text(), QStringLiteral("*.bak"));

    // The menus: a mark set by hand stays through a write of a key they do not show, and follows
    // one they show; the panes the window shows mark their items without the menu opening.
    QAction* autoScan = menuItem(QStringLiteral("Auto scan after making selection"));
    ASSERT_NE(autoScan, nullptr);
    EXPECT_EQ(autoScan->isChecked(), prefs.value(PreferenceKeys::autoScanAfterSelection));
    autoScan->setChecked(!autoScan->isChecked());
    prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("*.md"));
    EXPECT_NE(autoScan->isChecked(), prefs.value(PreferenceKeys::autoScanAfterSelection));
    prefs.set(PreferenceKeys::appLanguageOverride, QStringLiteral("de"));
    EXPECT_EQ(autoScan->isChecked(), prefs.value(PreferenceKeys::autoScanAfterSelection));
    for (const char* title : {"Show Header", "Show Treemap"}) {
        QAction* pane = menuItem(QString::fromLatin1(title));
        ASSERT_NE(pane, nullptr) << title;
        const bool was = pane->isChecked();
        if (QLatin1String(title) == QLatin1String("Show Header")) w.window.panes().setShowHeader(!was);
        else w.window.panes().setShowTreemap(!was);
        EXPECT_NE(pane->isChecked(), was) << title;
    }
}

TEST(ScanSheets, SelectMultipleRefusesNestedRootsAndTheOtherSheetsAnswer) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    const std::vector<VolumeInfo> volumes{{"/", "System", true, true, {}, {}}, {"/mnt/backup", "Backup", false, true, {}, {}}};
    prefs.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {"/srv/a"});
    SelectMultipleDialog sheet(volumes, {"/mnt/backup"}, prefs);
    sheet.setFolderChooser([](QWidget*) { return QStringLiteral("/srv/new/"); });
    sheet.show();
    ASSERT_EQ(sheet.list()->count(), 3);
    EXPECT_EQ(sheet.list()->item(1)->data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    sheet.addFolder();
    ASSERT_EQ(sheet.list()->count(), 4);
    EXPECT_EQ(sheet.list()->item(3)->text(), QStringLiteral("/srv/new")) << "trailing slash dropped";
    // A click on the row of "/" checks it: nested with /mnt/backup, refused with the alert.
    QTest::mouseClick(sheet.list()->viewport(), Qt::LeftButton, {}, sheet.list()->visualItemRect(sheet.list()->item(0)).center());
    EXPECT_EQ(sheet.selection().items()[0].isChecked, true);
    sheet.attemptOK();
    ASSERT_NE(sheet.overlapAlert(), nullptr);
    EXPECT_EQ(sheet.overlapAlert()->text(), QStringLiteral("\"/mnt/backup\"\nis included within\n\"/\"\n\nThey cannot both be selected."));
    EXPECT_TRUE(sheet.isVisible()) << "a refused choice keeps the sheet up";
    EXPECT_TRUE(sheet.confirmedPaths().isEmpty());
    EXPECT_TRUE(sheet.grab().save(grabPath("select-multiple.png")));
    sheet.overlapAlert()->close();
    sheet.clickRow(0);
    sheet.attemptOK();
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(sheet.confirmedPaths(), QStringList{"/mnt/backup"});
    EXPECT_EQ(prefs.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON), (QStringList{"/srv/a", "/srv/new"}));

    AccessDeniedFoldersDialog one({"/root/x"});
    EXPECT_TRUE(one.explanationLabel()->text().contains(QStringLiteral("the following folder during")));
    AccessDeniedFoldersDialog many({"/a", "/b"});
    EXPECT_TRUE(many.explanationLabel()->text().contains(QStringLiteral("folders themselves")));
    AccessDeniedFoldersDialog none({});
    EXPECT_TRUE(none.explanationLabel()->text().contains(QStringLiteral("folders themselves")));
    many.show();
    QTest::keyClick(&many, Qt::Key_Return);
    EXPECT_EQ(many.result(), QDialog::Accepted) << "Return presses Done";
    EXPECT_TRUE(many.grab().save(grabPath("access-denied.png")));

    // The prompt: Escape answers "Not Now"; the wording differs only in its second paragraph.
    const QStringList plain = FullDiskAccessPromptDialog::explanation(false).split(QStringLiteral("\n\n"));
    const QStringList portable = FullDiskAccessPromptDialog::explanation(true).split(QStringLiteral("\n\n"));
    ASSERT_EQ(plain.size(), 3);
    ASSERT_EQ(portable.size(), 3);
    EXPECT_EQ(plain[0], portable[0]);
    EXPECT_NE(plain[1], portable[1]);
    EXPECT_EQ(plain[2], portable[2]);
    FullDiskAccessPromptDialog prompt(false);
    prompt.show();
    EXPECT_TRUE(prompt.grab().save(grabPath("full-disk-access.png")));
    QTest::keyClick(&prompt, Qt::Key_Return);
    EXPECT_TRUE(prompt.isVisible()) << "no default button";
    QTest::keyClick(&prompt, Qt::Key_Escape);
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_EQ(prompt.result(), QDialog::Rejected);
    EXPECT_EQ(prompt.answer(), FullDiskAccessPromptDialog::Answer::notNow);

    // Through the window: "Don't Ask Again" stores the choice and lowers the flag.
    TestWindow w;
    w.window.prompts().setShowFullDiskAccessAlert(true);
    auto* promptSheet = qobject_cast<FullDiskAccessPromptDialog*>(w.window.sheets().sheet(&WindowPrompts::showFullDiskAccessAlert));
    ASSERT_NE(promptSheet, nullptr);
    promptSheet->button(FullDiskAccessPromptDialog::Answer::dontAskAgain)->click();
    EXPECT_FALSE(w.window.prompts().showFullDiskAccessAlert());
    EXPECT_TRUE(w.prefs.value(PreferenceKeys::suppressFullDiskAccessPrompt));
}

TEST(DrawingPieces, FunnelGeometryAndTheProgressBarClamp) {
    qtWidgetApp();
    const QRectF bounds = filterIconPath(QRectF(0, 0, 12, 12)).boundingRect();
    EXPECT_DOUBLE_EQ(bounds.top(), 0.75);
    EXPECT_DOUBLE_EQ(bounds.bottom(), 11.25) << "the tip";
    EXPECT_TRUE(filterIconPath(QRectF(0, 0, 12, 12)).elementAt(5).x == 6.0);
    DeterminateProgressBar bar;
    bar.setFraction(1.7);
    EXPECT_EQ(bar.fraction(), 1.0);
    bar.setFraction(-0.2);
    EXPECT_EQ(bar.fraction(), 0.0);
}

}  // namespace
}  // namespace zelvane

#include <gtest/gtest.h>

#include <QDir>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <QFile>

#include <filesystem>
#include <string>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Models/OutlineSorting.hpp"
#include "ZelvaneMac/Window/MultiRootSelection.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanControl.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"
#include "ZelvaneMac/Window/VolumeListWatcher.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "TreeBuilder.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
namespace fs = std::filesystem;

// a/b/deep.txt, a/one.TXT, a/noext, c/two.md, top.txt
RootRef sampleTree(const TempDir& dir) {
    writeFile(dir / "a/b/deep.txt", 100);
    writeFile(dir / "a/one.TXT", 10);
    writeFile(dir / "a/noext", 5);
    writeFile(dir / "c/two.md", 7);
    writeFile(dir / "top.txt", 1);
    return fixtures::loadTreeFromDisk(dir.path());
}

QString p(const TempDir& dir, const char* rel) { return QString::fromStdString((dir / rel).string()); }
QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

TEST(ScanControl, NodeAtPathFindsStoredChildrenExactlyAndHandlesASlashRoot) {
    TempDir dir;
    std::vector<RootRef> roots{sampleTree(dir)};
    EXPECT_EQ(nodeAtPath(q(dir.path()), roots), roots[0].get());
    FileNode* deep = nodeAtPath(p(dir, "a/b/deep.txt"), roots);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->name(), "deep.txt");
    EXPECT_EQ(nodeAtPath(q(dir.path()) + "/", roots), roots[0].get()) << "no pieces: the root";
    EXPECT_EQ(nodeAtPath(p(dir, "A/b/deep.txt"), roots), nullptr) << "names compare case included";
    EXPECT_EQ(nodeAtPath(p(dir, "a/missing"), roots), nullptr);
    EXPECT_EQ(nodeAtPath(q(dir.path()) + "x/a", roots), nullptr) << "a sibling sharing the prefix is not inside";

    // A root named "/" (the boot volume): children are found without a doubled slash, and a
    // second root is tried when the first fails.
    testsupport::TreeBuilder tree;
    FileNode* slash = tree.root("/");
    FileNode* hosts = tree.file(tree.folder(slash, "etc"), "hosts", 3, 4096);
    std::vector<RootRef> both{roots[0], tree.handle(slash)};
    EXPECT_EQ(nodeAtPath("/etc/hosts", both), hosts);
    EXPECT_EQ(nodeAtPath("/", both), slash);
    EXPECT_EQ(nodeAtPath(p(dir, "c/two.md"), both)->name(), "two.md");
}

TEST(ScanControl, CaptureWalksOnlyExpandedFoldersAndRestoreSkipsWhatIsGone) {
    TempDir dir;
    std::vector<RootRef> before{sampleTree(dir)};
    FileNode* a = nodeAtPath(p(dir, "a"), before);
    FileNode* b = nodeAtPath(p(dir, "a/b"), before);
    FileNode* c = nodeAtPath(p(dir, "c"), before);
    FileNode* deep = nodeAtPath(p(dir, "a/b/deep.txt"), before);
    // c is "expanded" but its parent chain is not walked past a collapsed folder: the root is
    // expanded, so c is reached; b is expanded inside a.
    const std::set<const FileNode*> expanded{before[0].get(), a, b, c};
    int asked = 0;
    TreeRestoreState state = captureTreeRestoreState(
        before, [&](const FileNode* n) { ++asked; return expanded.count(n) > 0; },
        [&](const FileNode* n) { return n == a; }, NodeSet{deep});
    EXPECT_EQ(state.expandedPaths, (QStringList{q(dir.path()), p(dir, "a"), p(dir, "a/b"), p(dir, "c")}));
    EXPECT_EQ(state.expandedGroupParentPaths, QStringList{p(dir, "a")});
    EXPECT_EQ(state.selectedPaths, QSet<QString>{p(dir, "a/b/deep.txt")});
    EXPECT_EQ(asked, 4) << "files are never asked, folders only when their parent is open";

    // Nothing expanded: the root is asked and nothing below it.
    asked = 0;
    TreeRestoreState none = captureTreeRestoreState(before, [&](const FileNode*) { ++asked; return false; }, {}, {});
    EXPECT_TRUE(none.expandedPaths.empty());
    EXPECT_EQ(asked, 1);

    // The subfolder and the selected file go away before the rescan.
    fs::remove_all(dir / "a/b");
    std::vector<RootRef> after{fixtures::loadTreeFromDisk(dir.path())};
    TreeRestoreMatch match = matchTreeRestoreState(state, after);
    ASSERT_EQ(match.nodesToExpand.size(), 3u);
    EXPECT_EQ(q(match.nodesToExpand[1]->fullPath()), p(dir, "a"));
    EXPECT_EQ(q(match.nodesToExpand[2]->fullPath()), p(dir, "c"));
    EXPECT_TRUE(match.selected.empty()) << "no selected path found: the caller keeps its selection";
}

TEST(ScanControl, FilteredCopiesAndTheScansExcludeFilter) {
    TempDir dir;
    std::vector<RootRef> roots{sampleTree(dir)};
    EXPECT_FALSE(buildFilteredRoots(roots, QStringLiteral("  \n"), QStringLiteral("\t"), false)) << "blank texts: no copy";
    EXPECT_FALSE(buildFilteredRoots({}, QStringLiteral("*.txt"), {}, false)) << "no roots: no copy";

    auto txt = buildFilteredRoots(roots, QStringLiteral(" *.txt "), {}, false);
    ASSERT_TRUE(txt);
    ASSERT_EQ(txt->size(), 1u);
    EXPECT_NE((*txt)[0].get(), roots[0].get()) << "a copy, never the scanned tree";
    EXPECT_EQ((*txt)[0]->subFolderFileCount(), 3) << "deep.txt, one.TXT, top.txt";
    EXPECT_EQ(roots[0]->subFolderFileCount(), 5) << "the source keeps every file";

    // An exclude term with "/" matches by whole path even with the setting off.
    auto noA = buildFilteredRoots(roots, {}, p(dir, "a"), false);
    ASSERT_TRUE(noA);
    EXPECT_EQ(nodeAtPath(p(dir, "a"), *noA), nullptr);
    EXPECT_NE(nodeAtPath(p(dir, "c/two.md"), *noA), nullptr);

    EXPECT_FALSE(scanExcludeFilter(false, QStringLiteral("*.md"), true).filters) << "panel hidden: the scan excludes nothing";
    EXPECT_FALSE(scanExcludeFilter(true, QStringLiteral("   "), true).filters) << "blank: no filter";
    ScanExclude byPath = scanExcludeFilter(true, QStringLiteral("/tmp/x"), false);
    EXPECT_TRUE(byPath.filters);
    EXPECT_TRUE(byPath.fullPath) << "a term with a slash turns the whole-path match on";
    ScanExclude byName = scanExcludeFilter(true, QStringLiteral("*.md"), false);
    EXPECT_TRUE(byName.filters);
    EXPECT_FALSE(byName.fullPath);
}

TEST(ScanControl, ExtensionSelectionRootIdentityAndCapacities) {
    TempDir dir;
    std::vector<RootRef> roots{sampleTree(dir)};
    NodeSet txt = filesWithExtension(roots, "txt");
    EXPECT_EQ(txt.size(), 3u) << "one.TXT counts as txt";
    NodeSet none = filesWithExtension(roots, "");
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ((*none.begin())->name(), "noext") << "folders are never selected";

    std::vector<RootRef> same = roots;
    EXPECT_TRUE(sameRootObjects(roots, same));
    EXPECT_TRUE(sameRootObjects({}, {}));
    std::vector<RootRef> other{fixtures::loadTreeFromDisk(dir.path())};
    EXPECT_FALSE(sameRootObjects(roots, other)) << "identity, not equality";

    std::vector<RootCapacity> known{{QString::fromStdString(dir.path().string()), 1000, 250}};
    auto caps = capacitiesFor(std::vector<RootRef>{roots[0], other[0]}, known);
    ASSERT_EQ(caps.size(), 2u);
    EXPECT_EQ(caps[0].total, 1000);
    EXPECT_EQ(caps[1].available, 250) << "looked up by path";
    EXPECT_FALSE(capacitiesFor(roots, {})[0].total);
}

// A --sortby code orders the window's rows as it orders the export's: the column the window first
// sorts by gives the order the export mode writes, for every code.
TEST(ResultTabSetup, TheCommandLineSortOrdersTheWindowLikeTheExport) {
    TempDir dir;
    const char* names[] = {"b-mid", "a-small", "c-big", "D-newest"};
    const int sizes[] = {300, 10, 9000, 50};
    for (int i = 0; i < 4; ++i) {
        writeFile(dir / names[i], sizes[i]);
        fs::last_write_time(dir / names[i], fs::file_time_type::clock::now() - std::chrono::hours(24 * (10 - i)));
    }
    for (const int64_t code : {0, 1, 2, 3, 4, -1}) {
        const std::string arg = "--sortby=" + std::to_string(code);
        const char* argv[] = {"ZelvaneMac", arg.c_str()};
        const auto sort = commandLineOutlineSort(CLIAutomation::parse(2, argv));
        ASSERT_TRUE(sort);
        RootRef exported = fixtures::loadTreeFromDisk(dir.path());
        CLIAutomation::sortTree(std::vector<RootRef>{exported}, code);
        RootRef shown = fixtures::loadTreeFromDisk(dir.path());
        std::vector<FileNode*> rows(shown->children().begin(), shown->children().end());
        sortOutlineRows(rows, sort->first, sort->second);
        std::vector<std::string> exportOrder, windowOrder;
        for (FileNode* n : exported->children()) exportOrder.push_back(n->name());
        for (FileNode* n : rows) windowOrder.push_back(n->name());
        EXPECT_EQ(windowOrder, exportOrder) << "code " << code;
    }
    const char* none[] = {"ZelvaneMac"};
    EXPECT_FALSE(commandLineOutlineSort(CLIAutomation::parse(1, none)));
    const char* types[] = {"ZelvaneMac", "--sortbyfiletypes=2"};
    EXPECT_EQ(commandLineFileTypesSort(CLIAutomation::parse(2, types)), std::pair(FileTypesSortKey::allocated, false));
}

TEST(VolumePicker, RowsChoicesOrphansAndMarkers) {
    qtWidgetApp();
    const std::vector<VolumeInfo> volumes{{"/", "root", true, true, {}, {}}, {"/mnt/data", "data", false, true, {}, {}}};
    auto rows = volumePickerRows({}, {});
    ASSERT_EQ(rows.size(), 4) << "no volumes, no folders: a separator and the three commands";
    EXPECT_FALSE(rows[0].tag);
    EXPECT_EQ(rows[1].title, QStringLiteral("<Select Folder...>"));
    EXPECT_EQ(rows[3].tag, PickerTag::selectCSV);
    rows = volumePickerRows(volumes, {QStringLiteral("/srv/x")});
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows[1], (PickerRow{"data", QStringLiteral("/mnt/data")}));
    EXPECT_FALSE(rows[2].tag);
    EXPECT_EQ(rows[3], (PickerRow{"/srv/x", QStringLiteral("/srv/x")}));
    EXPECT_FALSE(rows[4].tag);
    EXPECT_NE(volumePickerRows(volumes, {}), rows) << "a changed folder list rebuilds the menu";

    using A = PickerChoice::Action;
    const QStringList custom{QStringLiteral("/srv/x")};
    EXPECT_EQ(decidePickerChoice("/mnt/data", volumes, custom, false), (PickerChoice{A::selectRoot, "/mnt/data", "data", false}));
    EXPECT_EQ(decidePickerChoice("/mnt/data", volumes, custom, true).scan, true);
    EXPECT_EQ(decidePickerChoice("/srv/x", volumes, custom, false), (PickerChoice{A::selectRoot, "/srv/x", "/srv/x", true}))
        << "a custom folder scans whatever the setting says";
    EXPECT_EQ(decidePickerChoice("/gone", volumes, custom, true).action, A::none);
    EXPECT_EQ(decidePickerChoice(PickerTag::selectMultiple, volumes, custom, true).action, A::selectMultiple);
    EXPECT_EQ(scanButtonAction(PickerTag::selectFolder), A::selectFolder);
    EXPECT_EQ(scanButtonAction(PickerTag::selectCSV), A::selectCSV);
    EXPECT_EQ(scanButtonAction(std::nullopt), A::selectRoot);
    EXPECT_EQ(scanButtonAction(QStringLiteral("/")), A::selectRoot);

    EXPECT_TRUE(isSelectionOrphaned(std::nullopt, volumes, custom));
    EXPECT_FALSE(isSelectionOrphaned(QStringLiteral("/"), volumes, custom));
    EXPECT_FALSE(isSelectionOrphaned(QStringLiteral("/srv/x"), volumes, custom));
    EXPECT_FALSE(isSelectionOrphaned(PickerTag::selectCSV, volumes, custom));
    EXPECT_TRUE(isSelectionOrphaned(QStringLiteral("/media/usb"), volumes, custom)) << "unmounted";

    EXPECT_EQ(selectionKindMarker(PickerTag::selectFolder, {}), QStringLiteral("<Folder>"));
    EXPECT_EQ(selectionKindMarker(PickerTag::selectMultiple, {}), QStringLiteral("<Multiple>"));
    EXPECT_EQ(selectionKindMarker(PickerTag::selectCSV, {}), QStringLiteral("<CSV file>"));
    EXPECT_EQ(selectionKindMarker(QStringLiteral("/srv/x"), custom), QStringLiteral("<Folder>"));
    EXPECT_EQ(selectionKindMarker(QStringLiteral("/"), custom), QString());
    EXPECT_EQ(selectionKindMarker(std::nullopt, custom), QString());
}

TEST(ScanStatusTexts, EveryStateAndTheSizeTexts) {
    qtWidgetApp();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(scanStatusText(ScanState::scanning({12345, 1234, 0, 40}), std::nullopt),
              QStringLiteral("Scanning... (Folders: 1,234  Files: 12,345)"));
    EXPECT_EQ(scanStatusText(ScanState::completed({}), 1.234), QStringLiteral("Scan complete in 1.23 seconds"));
    EXPECT_EQ(scanStatusText(ScanState::completed({}), std::nullopt), QStringLiteral("Scan complete"));
    EXPECT_EQ(scanStatusText(ScanState::failed("x"), 3.0), QStringLiteral("Scan failed"));
    EXPECT_EQ(scanStatusText(ScanState::cancelled({}), 0.5), QStringLiteral("Scan canceled after 0.50 seconds"));
    EXPECT_EQ(scanStatusText(ScanState::cancelled({}), std::nullopt), QStringLiteral("Scan canceled"));
    EXPECT_EQ(scanStatusText(ScanState::idle(), 2.0), QStringLiteral("Ready..."));
    // A locale with a decimal comma leaves the seconds alone.
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(scanStatusText(ScanState::completed({}), 2.5), QStringLiteral("Scan complete in 2.50 seconds"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    EXPECT_TRUE(accessDeniedNoteVisible(ScanState::cancelled({}), 1));
    EXPECT_FALSE(accessDeniedNoteVisible(ScanState::completed({}), 0));
    EXPECT_FALSE(accessDeniedNoteVisible(ScanState::failed("x"), 2));
    EXPECT_FALSE(accessDeniedNoteVisible(ScanState::scanning({}), 2));
    EXPECT_EQ(scanProgressFraction(ScanState::idle()), 1.0);
    EXPECT_EQ(scanProgressFraction(ScanState::scanning({0, 0, 0, 40})), 0.4);
    EXPECT_EQ(scanProgressFraction(ScanState::scanning({0, 0, 0, 170})), 1.0);

    EXPECT_EQ(percentText(750, 1000), QStringLiteral("75.0%"));
    EXPECT_EQ(percentText(0, 0), QStringLiteral("0.0%"));
    const auto binary = SizeTextFormat::fromPreferences(1024, 0);
    EXPECT_EQ(binary(1536), QStringLiteral("1.5 KB"));
    EXPECT_EQ(SizeTextFormat::fromPreferences(1000, 99).mode, ByteSizeDisplayMode::dynamic) << "unknown mode: dynamic";

    TempDir dir;
    std::vector<RootRef> roots{sampleTree(dir)};
    FileNode* a = nodeAtPath(p(dir, "a"), roots);
    FileNode* one = nodeAtPath(p(dir, "a/one.TXT"), roots);
    const SizeTextFormat bytes = SizeTextFormat::fromPreferences(1000, 1);
    std::vector<FileNode*> sel{a, one};
    const QString tree = selectionSummaryText(sel, SelectionCountMode::filesBelowFolders, "label", bytes);
    EXPECT_TRUE(tree.startsWith(QStringLiteral("Selected Files: 3  Total Size: "))) << tree.toStdString()
        << "the file inside the selected folder is counted once";
    EXPECT_EQ(tree, selectionSummaryText(std::vector<FileNode*>{a}, SelectionCountMode::filesBelowFolders, "label", bytes));
    const QString flat = selectionSummaryText(sel, SelectionCountMode::nodes, "label", bytes);
    EXPECT_TRUE(flat.startsWith(QStringLiteral("Selected Files: 2  "))) << flat.toStdString();
    EXPECT_EQ(selectionSummaryText({}, SelectionCountMode::nodes, "[/a] [/b]", bytes), QStringLiteral("[/a] [/b]"));
    EXPECT_EQ(fileViewTotalsText(1234, true, 1, 2, bytes), QStringLiteral("(1,234 items  Total Size: 1  Allocated: 2)"));
    EXPECT_TRUE(fileViewTotalsText(3, false, 1, 2, bytes).startsWith(QStringLiteral("(3 files  ")));
}

TEST(MultiRootSelection, ListBuildingEditingAndTheOverlapRule) {
    qtWidgetApp();
    const std::vector<VolumeInfo> volumes{{"/", "root", true, true, {}, {}}, {"/mnt/backup", "Backup", false, true, {}, {}}};
    MultiRootSelection m;
    // A stored list that repeats a path and names a volume yields one row per path.
    m.load(volumes, {"/home/a", "/mnt/backup", "/home/a", "/home/ab"}, {"/home/ab", "/gone"});
    ASSERT_EQ(m.items().size(), 4);
    EXPECT_FALSE(m.items()[1].isUserFolder) << "a stored path equal to a volume stays a volume row";
    EXPECT_TRUE(m.items()[3].isChecked);

    EXPECT_FALSE(m.canRemoveListSelection());
    m.clickRow(1);
    EXPECT_TRUE(m.items()[1].isChecked);
    EXPECT_FALSE(m.canRemoveListSelection()) << "volume rows cannot be removed";
    EXPECT_FALSE(m.addFolder("/home/a")) << "a listed path changes nothing";
    // A decomposed spelling of a listed path is the same path.
    EXPECT_TRUE(m.addFolder(QString::fromUtf8("/home/caf\u00e9")));
    EXPECT_FALSE(m.addFolder(QString::fromUtf8("/home/cafe\u0301")));
    EXPECT_FALSE(m.items().last().isChecked);

    // /home/a and /home/ab do not overlap.
    m.clickRow(2);
    auto ok = m.attemptOK();
    EXPECT_FALSE(ok.overlapWarning);
    EXPECT_EQ(ok.checkedPaths, (QStringList{"/mnt/backup", "/home/a", "/home/ab"}));
    EXPECT_EQ(ok.userFolders, (QStringList{"/home/a", "/home/ab", QString::fromUtf8("/home/caf\u00e9")}));

    // "/" with anything else is refused; the inner path is named first.
    m.setAllChecked(false);
    m.clickRow(1);
    m.clickRow(0);
    auto refused = m.attemptOK();
    ASSERT_TRUE(refused.overlapWarning);
    EXPECT_EQ(*refused.overlapWarning, QStringLiteral("\"/mnt/backup\"\nis included within\n\"/\"\n\nThey cannot both be selected."));
    EXPECT_TRUE(refused.checkedPaths.isEmpty());

    m.clickRow(3);  // highlight /home/ab (user folder) and remove it
    EXPECT_TRUE(m.canRemoveListSelection());
    m.removeSelectedFolder();
    EXPECT_EQ(m.items().size(), 4);
    EXPECT_FALSE(m.listSelection());

    m.setAllChecked(false);
    auto empty = m.attemptOK();
    EXPECT_FALSE(empty.overlapWarning);
    EXPECT_TRUE(empty.checkedPaths.isEmpty()) << "OK with nothing checked still confirms";
}

TEST(VolumeListWatcher, AMountReachesTheEventLoop) {
    qtWidgetApp();
    TempDir dir;
    VolumeListWatcher watcher;
    ASSERT_TRUE(watcher.isActive());
    int changes = 0;
    QObject::connect(&watcher, &VolumeListWatcher::volumesChanged, [&] { ++changes; });
    QCoreApplication::processEvents();
    changes = 0;
    if (::mount("zelvane-test", dir.path().c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount here (needs root with CAP_SYS_ADMIN): " << std::strerror(errno);
    const bool seen = pumpWidgetsUntil([&] { return changes > 0; }, 5000);
    ::umount(dir.path().c_str());
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace zelvane

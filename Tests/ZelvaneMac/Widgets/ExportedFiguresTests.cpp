// What a real window writes out after a scan of a real folder: the CSV/TSV export of the tree and of
// the file list, the file-type CSV and the clipboard listing, saved through the real panels, read
// back from disk and imported again. A file must say what the window shows and add up to its own
// totals: items that went (in a shell or by a file action), names that hold the separators and line
// ends, and the drive columns of the volume.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ScriptedUser.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {
namespace {

using fixtures::qPath;
using fixtures::ShownWindow;
using fixtures::TempDir;
using fixtures::writeFile;
using testsupport::readFile;
namespace fs = std::filesystem;

// A window that scanned the folders its command line names and watches them.
struct ScannedWindow : ShownWindow {
    explicit ScannedWindow(const fs::path& folder) : ShownWindow({qPath(folder)}) {
        EXPECT_TRUE(waitForResult());
        EXPECT_TRUE(waitUntilWatching());
    }
    bool waitFor(const std::function<bool()>& done) { return pumpWidgetsUntil(done, 20000); }
};

// Answers the next file panel as a user would: `choose` ticks its options, then `path` is saved.
class PanelAnswer final {
public:
    explicit PanelAnswer(fs::path path, std::function<void(QFileDialog&)> choose = {})
        : path_(std::move(path)), choose_(std::move(choose)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!panel) return;
            timer_.stop();
            if (choose_) choose_(*panel);
            // Typed into the name field, as a user would type a whole path.
            auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (name) name->setText(qPath(path_));
            QMetaObject::invokeMethod(panel, "accept");
            answered_ = true;
        });
        timer_.start();
    }
    bool answered() const { return answered_; }

private:
    fs::path path_;
    std::function<void(QFileDialog&)> choose_;
    QTimer timer_;
    bool answered_ = false;
};

void chooseFileView(QFileDialog& panel) {
    auto* options = panel.findChild<ExportOptionsView*>();
    ASSERT_TRUE(options);
    options->fileViewChoice()->setChecked(true);
}

// Export to CSV File… (Ctrl+Alt+E) into `file`; the file's text.
std::string exportTable(ShownWindow& w, const fs::path& file, std::function<void(QFileDialog&)> choose = {}) {
    PanelAnswer answer(file, std::move(choose));
    w.key(Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(answer.answered());
    EXPECT_TRUE(fs::exists(file)) << w.window().prompts().csvExportErrorDetail().value_or("").toStdString();
    return fs::exists(file) ? readFile(file) : std::string();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    for (size_t start = 0; start < text.size();) {
        const size_t lf = text.find('\n', start);
        out.push_back(text.substr(start, lf - start));
        start = lf == std::string::npos ? text.size() : lf + 1;
    }
    return out;
}

// The comma-separated fields of a line that holds no quoted delimiter.
std::vector<std::string> fieldsOf(const std::string& line, char delimiter = ',') {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t at; (at = line.find(delimiter, start)) != std::string::npos; start = at + 1) out.push_back(line.substr(start, at - start));
    out.push_back(line.substr(start));
    return out;
}

// The folder at `path` below the root "/" of imported trees.
const FileNode* importedFolder(const std::vector<RootRef>& roots, const fs::path& path) {
    const FileNode* at = nullptr;
    for (const RootRef& r : roots)
        if (r->nameBytes() == "/") at = r.get();
    for (const auto& part : path.relative_path()) {
        if (!at) return nullptr;
        const FileNode* next = nullptr;
        for (const FileNode* c : at->children())
            if (c->nameBytes() == part.native()) next = c;
        at = next;
    }
    return at;
}

// Files removed in a shell and a folder moved to the Trash in the window stay drawn, struck out, and
// leave the folders' totals. Every export leaves them out as well: the tree (CSV, and TSV with split
// names), the file list, a selection holding a struck row, the file types and the clipboard.
// Imported again, a tree export gives the totals the window showed.
TEST(ExportedFigures, EveryExportLeavesOutWhatTheWindowShowsAsGone) {
    TempDir dir;
    writeFile(dir / "tree/a/one.bin", 1000);
    writeFile(dir / "tree/a/two.bin", 2000);
    writeFile(dir / "tree/b/three.txt", 3000);
    writeFile(dir / "tree/b/four.txt", 4000);
    writeFile(dir / "tree/c/five.dat", 5000);
    writeFile(dir / "tree/c/six.dat", 6000);
    fs::create_directories(dir / "data");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ScannedWindow w(dir / "tree");
    w.prefs().set(PreferenceKeys::csvExportFolderSizes, true);
    FileNode* root = w.root();

    ASSERT_EQ(::unlink((dir / "tree/a/two.bin").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "tree/b/four.txt").c_str()), 0);
    FileNode* two = w.node(dir / "tree/a/two.bin");
    FileNode* four = w.node(dir / "tree/b/four.txt");
    ASSERT_TRUE(w.waitFor([&] { return two->isDeleted() && four->isDeleted(); }));
    FileNode* c = w.node(dir / "tree/c");
    w.window().treeSelection().set({c});
    testing::ScriptedUser user;
    user.answer({Qt::Key_Return});
    w.key(Qt::Key_Delete);
    // The move runs in the background; the row goes when it has.
    ASSERT_TRUE(w.waitFor([&] { return c->isDeleted(); }));
    ASSERT_FALSE(fs::exists(dir / "tree/c"));
    ASSERT_EQ(root->effectiveSize(), 4000);
    w.window().treeSelection().set({});

    const std::vector<std::string> gone = {"two.bin", "four.txt", "five.dat", "six.dat", "/c/"};
    const auto expectNoneGone = [&](const std::string& text, const char* what) {
        for (const std::string& name : gone) EXPECT_EQ(text.find(name), std::string::npos) << what << " lists " << name << ":\n" << text;
    };

    TempDir out;
    for (const bool tsv : {false, true}) {
        SCOPED_TRACE(tsv ? "TSV with split names" : "CSV");
        w.prefs().set(PreferenceKeys::csvSplitFilename, tsv);
        const fs::path file = out / (tsv ? "tree.tsv" : "tree.csv");
        const std::string text = exportTable(w, file);
        expectNoneGone(text, "the tree export");
        EXPECT_NE(text.find("three.txt"), std::string::npos) << text;
        // The root's row leads and holds the totals the window shows; the rows below add up to them.
        const std::vector<std::string> rows = linesOf(text);
        ASSERT_EQ(rows.size(), 6u) << text;  // header, tree, a, one.bin, b, three.txt
        EXPECT_EQ(fieldsOf(rows[1], tsv ? '\t' : ',')[1], "4000") << rows[1];
        const CSVImportOutcome back = importFromCSV(file.string());
        ASSERT_FALSE(back.error);
        const FileNode* folder = importedFolder(back.result.roots, dir / "tree");
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder->subFolderTotSize(), root->subFolderTotSize());
        EXPECT_EQ(folder->subFolderFileCount(), root->subFolderFileCount());
        EXPECT_EQ(folder->subFolderDirCount(), root->subFolderDirCount());
    }
    w.prefs().set(PreferenceKeys::csvSplitFilename, false);

    const std::string list = exportTable(w, out / "files.csv", chooseFileView);
    expectNoneGone(list, "the file list export");
    EXPECT_NE(list.find("one.bin"), std::string::npos) << list;

    // A selection of a struck row and a live one.
    w.window().treeSelection().set({two, w.node(dir / "tree/b/three.txt")});
    const std::string selected = exportTable(w, out / "selected.csv");
    expectNoneGone(selected, "the export of the selection");
    EXPECT_EQ(linesOf(selected).size(), 2u) << selected;
    w.window().treeSelection().set({});

    // Export File Types to CSV File… (Ctrl+Alt+F).
    {
        PanelAnswer answer(out / "types.csv");
        w.key(Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
        ASSERT_TRUE(answer.answered());
    }
    const std::string types = readFile(out / "types.csv");
    EXPECT_EQ(types.find("\"dat\""), std::string::npos) << types;
    EXPECT_NE(types.find("\"txt\""), std::string::npos) << types;
    for (const std::string& row : linesOf(types)) {
        if (row.rfind("\"txt\"", 0) == 0) {
            EXPECT_NE(row.find(",3000,"), std::string::npos) << row;
        }
        if (row.rfind("\"bin\"", 0) == 0) {
            EXPECT_NE(row.find(",1000,"), std::string::npos) << row;
        }
    }

    // Copy File and Size Info (Ctrl+Shift+C) with every folder open.
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    QGuiApplication::clipboard()->clear();
    w.key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const std::string copied = QGuiApplication::clipboard()->text().toStdString();
    expectNoneGone(copied, "the clipboard listing");
    EXPECT_NE(copied.find("one.bin"), std::string::npos) << copied;
}

// Every row of an opened outline selected, more than are listed while the command runs: Export to
// CSV File… writes them as TSV in the background, byte for byte what the same items give exported
// a few hundred at a time in place: each selected item with what is inside it, in path order.
TEST(ExportedFigures, ASelectionOfEveryOpenRowIsWrittenAsItsPartsAreInPlace) {
    TempDir dir;
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < 300; ++i) writeFile(dir / "tree" / ("d" + std::to_string(d)) / ("f" + std::to_string(i) + ".txt"), 10 + i);
    writeFile(dir / "tree/d1/inner/deep.bin", 5000);
    writeFile(dir / "tree/top.bin", 700);
    fs::create_directories(dir / "data");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ScannedWindow w(dir / "tree");
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ContextMenuOutlineView& outline = w.outline().outline();
    // Select All once the rows are open.
    ASSERT_TRUE(w.waitFor([&] {
        outline.setFocus();
        QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
        return size_t(w.window().treeSelection().nodes().size()) > kSelectionListedInPlace;
    }));
    const NodeSet everyRow = w.window().treeSelection().nodes();

    TempDir out;
    const fs::path file = out / "every row.tsv";
    {
        PanelAnswer answer(file);
        w.key(Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
        ASSERT_TRUE(answer.answered());
    }
    ASSERT_TRUE(w.waitFor([&] { return fs::exists(file); }));
    EXPECT_EQ(w.window().prompts().csvExportErrorDetail(), std::nullopt);
    const std::string written = readFile(file);

    // The same items a few hundred at a time, each part's rows after the header.
    std::vector<FileNode*> items;
    for (FileNode* n : everyRow)
        if (!n->isSyntheticGroup()) items.push_back(n);
    std::sort(items.begin(), items.end(), [](FileNode* a, FileNode* b) { return a->pathBytes() < b->pathBytes(); });
    ASSERT_EQ(items.size(), 1u + 4 + 1 + 4 * 300 + 2);  // the root, four folders, inner, the files
    std::string expected;
    for (size_t from = 0; from < items.size(); from += 400) {
        const std::vector<FileNode*> part(items.begin() + long(from), items.begin() + long(std::min(items.size(), from + 400)));
        w.window().treeSelection().set(NodeSet(part.begin(), part.end()));
        const fs::path partFile = out / ("part " + std::to_string(from) + ".tsv");
        ExportSourceSelection selected(ExportSource::treeView, true, CSVFileFormat::tsv);
        completeCSVExport(w.window().exportContext(), selected, qPath(partFile));
        ASSERT_TRUE(fs::exists(partFile)) << "a few hundred items are written at once";
        const std::string text = readFile(partFile);
        const size_t body = text.find('\n') + 1;
        if (expected.empty()) expected = text.substr(0, body);
        expected += text.substr(body);
    }
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the first difference at byte "
                                     << std::mismatch(written.begin(), written.end(), expected.begin(), expected.end()).first - written.begin();
    EXPECT_NE(written.find("\t"), std::string::npos);
}

// Names a spreadsheet or a naive reader trips over, all legal on Linux.
const char* const kAwkwardNames[] = {
    "new\nline", "ends-in-newline\n", "\n", "\nstarts", "cr\rname", "crlf\r\nname", "tab\tname",
    "quote\"inside", "\"leading", "comma,name", "-,\"\t\n,\"-", "bad\xff\xfe" "bytes", "dot.\next\n",
};

// Node for node, in name order: names (exact bytes), kinds and sizes.
void expectSameTree(const FileNode& scanned, const FileNode& imported) {
    std::vector<std::pair<const FileNode*, const FileNode*>> stack{{&scanned, &imported}};
    const auto byName = [](std::span<FileNode* const> kids) {
        std::vector<const FileNode*> out(kids.begin(), kids.end());
        std::sort(out.begin(), out.end(), [](const FileNode* a, const FileNode* b) { return a->nameBytes() < b->nameBytes(); });
        return out;
    };
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        ASSERT_EQ(a->isDir(), b->isDir()) << a->fullPath();
        EXPECT_EQ(a->effectiveSize(), b->effectiveSize()) << a->fullPath();
        const auto ka = byName(a->children());
        const auto kb = byName(b->children());
        ASSERT_EQ(ka.size(), kb.size()) << a->fullPath();
        for (size_t i = 0; i < ka.size(); ++i) {
            ASSERT_EQ(ka[i]->nameBytes(), kb[i]->nameBytes()) << a->fullPath();
            stack.push_back({ka[i], kb[i]});
        }
    }
}

// A tree export with split names, comma- or tab-separated, opened again in the window gives the
// scanned tree back and nothing beside it, whatever its names hold.
TEST(ExportedFigures, TreeExportsWithSplitNamesOpenAgainAsTheSameTree) {
    TempDir dir;
    int64_t size = 100;
    for (const char* name : kAwkwardNames) {
        writeFile(dir / "tree" / name, size++);
        writeFile(dir / "tree/folders" / name / (std::string(name) + ".txt"), size++);
    }
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir / "tree"));
    const RootRef scanned = w.window().scanControl().effectiveRoots().at(0);
    w.prefs().set(PreferenceKeys::csvSplitFilename, true);
    w.prefs().set(PreferenceKeys::csvExportDriveCapacity, true);

    TempDir out;
    for (const char* name : {"split.csv", "split.tsv"}) {
        SCOPED_TRACE(name);
        exportTable(w, out / name);
        ASSERT_TRUE(w.import(out / name));
        const std::vector<RootRef>& roots = w.window().scanControl().effectiveRoots();
        EXPECT_EQ(roots.size(), 1u) << "a second root is made of a line's remains";
        const FileNode* back = importedFolder(roots, dir / "tree");
        ASSERT_TRUE(back);
        expectSameTree(*scanned, *back);
        EXPECT_EQ(w.root()->effectiveSize(), scanned->effectiveSize());
    }
}

// The drive columns of the window's export are the ones the export mode writes for the same
// volume: the blocks kept for the administrator are reserved, not used. An export read back and
// exported again keeps them.
TEST(ExportedFigures, DriveColumnsAreTheVolumesAsTheExportModeMeasuresThem) {
    TempDir dir;
    writeFile(dir / "tree/a.bin", 1000);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir / "tree"));
    w.prefs().set(PreferenceKeys::csvExportDriveCapacity, true);
    const VolumeCapacity volume = volumeCapacity((dir / "tree").string());
    ASSERT_TRUE(volume.isKnown());

    TempDir out;
    for (const char* name : {"scanned.csv", "imported.csv"}) {
        SCOPED_TRACE(name);
        const std::vector<std::string> rows = linesOf(exportTable(w, out / name));
        ASSERT_GE(rows.size(), 2u);
        const std::vector<std::string> header = fieldsOf(rows[0]);
        const std::vector<std::string> root = fieldsOf(rows[1]);
        ASSERT_EQ(header.size(), root.size()) << rows[1];
        const size_t at = size_t(std::find(header.begin(), header.end(), "DRIVECAPACITY") - header.begin());
        ASSERT_EQ(header.at(at + 3), "RESERVEDSPACE");
        const int64_t total = std::stoll(root[at]), free = std::stoll(root[at + 1]);
        const int64_t used = std::stoll(root[at + 2]), reserved = std::stoll(root[at + 3]);
        EXPECT_EQ(total, *volume.total);
        EXPECT_EQ(reserved, volume.reserved);
        EXPECT_EQ(used + free + reserved, total);
        ASSERT_TRUE(w.import(out / "scanned.csv"));
    }
}

// The rows of a tree export as path, size, allocated, date, attributes and counts (the columns
// every export writes), in path order.
std::vector<std::string> treeRows(const std::string& text) {
    std::vector<std::string> rows;
    const std::vector<std::string> lines = linesOf(text);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        const std::vector<std::string> f = fieldsOf(lines[i]);
        std::string row;
        for (size_t k = 0; k < 7 && k < f.size(); ++k) row += (k ? "," : "") + f[k];
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The export mode of the program itself, with preferences of its own, on `folder` with these
// options besides the export to `out`; the CSV it wrote.
std::string exportModeCSV(const fs::path& folder, const QStringList& options, const fs::path& out) {
    TempDir config;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), qPath(config.path()));
    env.remove(QStringLiteral("DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZELVANE_PROGRAM), QStringList{qPath(folder), QStringLiteral("--export=") + qPath(out)} + options);
    EXPECT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    return readFile(out);
}

// An exclude filter typed into the filter panel before a scan leaves out while the scan reads what
// the finished tree would leave out, and only that: the window shows and exports, row for row, the
// tree the export mode writes with the same filter. A file is judged by its own size; a folder's
// total and its newest date are only known once the whole tree is read.
TEST(ExportedFigures, AScanWithAnExcludeFilterGivesTheTreeTheExportModeWrites) {
    TempDir dir;
    const fs::path tree = dir / "tree";
    const auto sparse = [&](const std::string& relative, int64_t size) {
        writeFile(tree / relative, std::string_view("x"));
        fs::resize_file(tree / relative, uintmax_t(size));
    };
    writeFile(tree / "a.png", 1500);
    writeFile(tree / "notes.txt", 800);
    sparse("huge.iso", int64_t(3) << 30);
    sparse("photos/big.png", 20 << 20);
    writeFile(tree / "photos/small.png", 2000);
    writeFile(tree / "photos/readme.txt", 300);
    sparse("photos/raw/scan.tif", int64_t(1200) << 20);
    writeFile(tree / "photos/raw/thumb.png", 100);
    writeFile(tree / "icons.png/one.bin", 50);
    sparse("icons.png/sheet.bin", 11 << 20);
    writeFile(tree / "old/letter.txt", 4000);
    writeFile(tree / "old/stamp.png", 9000);
    writeFile(tree / "old/new/today.txt", 10);
    fs::create_directories(tree / "empty");
    // An old folder whose only recent file many of the filters leave out: its date is then its own.
    writeFile(tree / "dated/ancient.log", 5000);
    writeFile(tree / "dated/fresh.log", 10);
    for (const char* old : {"old/letter.txt", "old/stamp.png", "old", "empty", "dated/ancient.log", "dated"})
        testsupport::setModified(tree / old, 1262304000);
    fs::create_directories(dir / "data");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);

    ShownWindow w;
    w.window().panes().setShowFilterPanel(true);
    FilterSyntaxTextField& field = w.window().contentView()->filterPanel()->excludeField();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return field.isVisible(); }));
    TempDir out;
    int n = 0;
    for (const std::string exclude :
         {"S>1G", "*.png S>10M", "=folders", "=files", "A>4k", "S<1k", "<2015-01-01", "*.png|S>1G",
          "!*.txt =files", "=folders S>5M", "photos", "*.png !S>10M", "S>100M|old", "!=folders S>2k",
          "*.png|*.log"}) {
        SCOPED_TRACE(exclude);
        const std::vector<std::string> expected =
            treeRows(exportModeCSV(tree, {QStringLiteral("--filterexclude=") + QString::fromStdString(exclude)},
                                   out / ("mode" + std::to_string(n) + ".csv")));
        w.activate();
        field.setFocus();
        field.selectAll();
        QTest::keyClicks(&field, QString::fromStdString(exclude));
        ASSERT_EQ(field.text().toStdString(), exclude);
        ASSERT_TRUE(w.scan(tree));
        const std::vector<std::string> shown = treeRows(exportTable(w, out / ("window" + std::to_string(n++) + ".csv")));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(shown, expected);
    }
}

// The export mode's folders-only export (--exportfiles=0) read back by the window: every folder
// holds the totals the scan gave it, and so does every folder the import makes up above the
// scanned root, which holds what its child folders hold.
TEST(ExportedFigures, AnExportOfFoldersOnlyOpensWithTheTotalsOfTheScan) {
    TempDir dir;
    const fs::path tree = dir / "tree";
    writeFile(tree / "top.txt", 50);
    writeFile(tree / "a/one.bin", 100);
    writeFile(tree / "a/b/two.bin", 200);
    writeFile(tree / "a/b/c/three.bin", 3000);
    writeFile(tree / "d/four.bin", 400);
    fs::create_directories(tree / "e");
    ShownWindow w;
    ASSERT_TRUE(w.scan(tree));
    struct Totals {
        int64_t size, alloc;
        int32_t files, dirs;
        bool operator==(const Totals&) const = default;
    };
    const auto totalsOf = [](const FileNode* n) {
        return Totals{n->subFolderTotSize(), n->subFolderTotSizeAlloc(), n->subFolderFileCount(), n->subFolderDirCount()};
    };
    std::vector<std::pair<fs::path, Totals>> scanned;
    for (const char* folder : {"", "a", "a/b", "a/b/c", "d", "e"}) {
        const FileNode* n = w.node(*folder ? tree / folder : tree);
        ASSERT_NE(n, nullptr) << folder;
        scanned.emplace_back(*folder ? tree / folder : tree, totalsOf(n));
    }

    TempDir out;
    const std::string text = exportModeCSV(tree, {QStringLiteral("--exportfiles=0")}, out / "folders.csv");
    ASSERT_EQ(text.find("one.bin"), std::string::npos) << "folder rows only";
    ASSERT_TRUE(w.import(out / "folders.csv"));
    for (const auto& [path, totals] : scanned) {
        const FileNode* back = importedFolder(w.window().scanControl().effectiveRoots(), path);
        ASSERT_NE(back, nullptr) << path;
        EXPECT_EQ(totalsOf(back), totals) << path;
    }
    // The folders above the root hold it and nothing else.
    const Totals root = scanned.front().second;
    for (fs::path above = tree.parent_path(); !above.empty(); above = above.parent_path()) {
        const FileNode* made = importedFolder(w.window().scanControl().effectiveRoots(), above);
        ASSERT_NE(made, nullptr) << above;
        EXPECT_EQ(made->subFolderTotSize(), root.size) << above;
        EXPECT_EQ(made->subFolderFileCount(), root.files) << above;
        if (above == above.root_path()) break;
    }
}

}  // namespace
}  // namespace zelvane

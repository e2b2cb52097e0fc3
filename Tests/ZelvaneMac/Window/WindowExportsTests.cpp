// The window's exports on a real scanned tree: files written and read back, and the texts the
// window proposes and reports.

#include <memory>
#include <set>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include "QtWidgetTestApp.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/Exports/WindowImageExport.hpp"
#include "ZelvaneMac/Window/TweaksSettings.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
namespace fs = std::filesystem;

struct ScannedWindow {
    TempDir tree;
    QTemporaryDir out;
    Preferences prefs{out.filePath("prefs.plist")};
    ContentViewState state{prefs, {}};

    // The tree is `fill`'s, or a small one of four files.
    explicit ScannedWindow(const std::function<void(const fs::path&)>& fill = {}) {
        qtWidgetApp();
        if (fill) {
            fill(tree.path());
        } else {
            writeFile(tree / "docs/a.txt", 1000);
            writeFile(tree / "docs/b.txt", 3000);
            writeFile(tree / "docs/deep/c.png", 500);
            writeFile(tree / "top.bin", 200);
        }
        const QString path = QString::fromStdString(tree.path().string());
        state.viewModel().selectRoot(path, path);
        state.scanControl().startScan();
        const auto done = [this] {
            const auto tag = state.viewModel().scanState().tag();
            return tag == ScanState::Tag::completed && !state.scanControl().effectiveRoots().empty() &&
                   state.scanControl().colorRankReady();
        };
        EXPECT_TRUE(pumpWidgetsUntil(done));
    }
    FileNode* root() const { return state.scanControl().effectiveRoots().at(0).get(); }
    FileNode* child(FileNode* folder, const char* name) const {
        for (FileNode* c : folder->children())
            if (c->name() == name) return c;
        return nullptr;
    }
    QString error() const { return state.prompts().csvExportErrorDetail().value_or(QString()); }
};

TEST(WindowExports, TheTreeExportIsReadBackWithItsTotalsAndTheDelimiterFollowsTheFinalName) {
    ScannedWindow w;
    for (const char* name : {"tree.csv", "tree.TSV"}) {
        ExportSourceSelection selection(ExportSource::treeView, false, CSVFileFormat::csv);
        const QString path = w.out.filePath(name);
        completeCSVExport(w.state.exportContext(), selection, path);
        ASSERT_EQ(w.error(), QString());
        const auto back = importFromCSV(QFile::encodeName(path).toStdString());
        ASSERT_FALSE(back.error) << name;
        ASSERT_EQ(back.result.roots.size(), 1u);
        EXPECT_EQ(back.result.roots[0]->subFolderTotSize(), w.root()->subFolderTotSize());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readLine().contains('\t'), QString(name).endsWith("TSV")) << name;
    }
    EXPECT_EQ(w.prefs.value(PreferenceKeys::csvExportLastExtension), "tsv");
    EXPECT_EQ(w.prefs.value(PreferenceKeys::csvExportLastFolder), w.out.path());
}

// Every node below `root` by its path under it: kind, size, allocated size and counts.
std::map<std::string, std::tuple<bool, int64_t, int64_t, int32_t, int32_t>> contents(const FileNode* root) {
    std::map<std::string, std::tuple<bool, int64_t, int64_t, int32_t, int32_t>> out;
    std::vector<std::pair<const FileNode*, std::string>> stack{{root, ""}};
    while (!stack.empty()) {
        auto [n, path] = stack.back();
        stack.pop_back();
        out[path] = {n->isDir(), n->effectiveSize(), n->effectiveAllocSize(), n->subFolderFileCount(),
                     n->subFolderDirCount()};
        for (const FileNode* k : n->children()) stack.push_back({k, path + "/" + k->nameBytes()});
    }
    return out;
}

// An export of several megabytes goes back in through the window's import, which reads it a few
// MiB at a time: the window shows the scanned tree again, name for name, and the progress it
// shows meanwhile only grows.
TEST(WindowExports, ALargeExportIsImportedThroughTheWindowAsTheTreeThatWasScanned) {
    ScannedWindow w([](const fs::path& root) {
        for (int d = 0; d < 48; ++d)
            for (int f = 0; f < 400; ++f) {
                std::string name = "file " + std::to_string(f) + " " + std::string(200, 'n');
                if (f % 50 == 0) name += "\nwith a line break, a comma and a \"quote\"";
                writeFile(root / ("folder " + std::to_string(d)) / name, f % 7 * 100);
            }
    });
    ExportSourceSelection selection(ExportSource::treeView, false, CSVFileFormat::csv);
    const QString path = w.out.filePath("large.csv");
    completeCSVExport(w.state.exportContext(), selection, path);
    ASSERT_EQ(w.error(), QString());
    ASSERT_GT(QFileInfo(path).size(), 5 << 20) << "more than one of the import's windows of 4 MiB";
    const auto scanned = contents(w.root());
    const std::string scannedPath = w.root()->pathBytes();

    std::vector<ScanProgress> shown;
    QObject::connect(&w.state.viewModel(), &ScanViewModel::scanStateChanged, [&](const ScanState& s) {
        if (const auto* p = std::get_if<ScanState::Scanning>(&s.value)) shown.push_back(p->progress);
    });
    w.state.scanControl().importChosenCSV(path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.state.viewModel().scanState().tag() == ScanState::Tag::completed; }));
    ASSERT_EQ(w.state.scanControl().effectiveRoots().size(), 1u);

    // The import's tree starts at "/": walk down to the scanned folder.
    const FileNode* node = w.state.scanControl().effectiveRoots()[0].get();
    for (size_t at = 1; node && at < scannedPath.size();) {
        const size_t slash = std::min(scannedPath.find('/', at), scannedPath.size());
        const std::string part = scannedPath.substr(at, slash - at);
        const FileNode* next = nullptr;
        for (const FileNode* k : node->children())
            if (k->nameBytes() == part) next = k;
        node = next;
        at = slash + 1;
    }
    ASSERT_NE(node, nullptr) << scannedPath;
    EXPECT_EQ(contents(node), scanned);

    ASSERT_FALSE(shown.empty());
    for (size_t i = 1; i < shown.size(); ++i) {
        EXPECT_GE(shown[i].files, shown[i - 1].files);
        EXPECT_GE(shown[i].percentComplete, shown[i - 1].percentComplete);
    }
    EXPECT_LE(shown.back().files, 48 * 400);
    EXPECT_LE(shown.back().percentComplete, 99);
}

// A table of more rows than are written at once is written in the background: a failure still
// reaches the alert, and a result shown in place of the exported one meanwhile frees no tree
// the write still reads; the file is complete when it appears.
TEST(WindowExports, ALargeTreeIsWrittenInTheBackgroundWhileTheWindowMovesOn) {
    ScannedWindow w;
    fixtures::writeWideExport(w.tree / "wide.csv", 101, 1000);
    writeFile(w.tree / "small.csv", "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n"
                                    "\"/small/\",0,0,2024/03/05 07:08:09,0,1,0\n"
                                    "\"/small/one.txt\",5,4096,2024/03/05 07:08:09,0,0,0\n");
    const auto importAndWait = [&](const fs::path& csv) {
        const FileNode* before = w.state.scanControl().effectiveRoots().at(0).get();
        w.state.scanControl().importChosenCSV(QString::fromStdString(csv.string()));
        return pumpWidgetsUntil([&] {
            return w.state.viewModel().scanState().tag() == ScanState::Tag::completed &&
                   !w.state.scanControl().effectiveRoots().empty() && w.state.scanControl().effectiveRoots()[0].get() != before;
        });
    };
    ASSERT_TRUE(importAndWait(w.tree / "wide.csv"));
    ExportSourceSelection tree(ExportSource::treeView, false, CSVFileFormat::csv);

    completeCSVExport(w.state.exportContext(), tree, w.out.filePath("no-such-folder/x.csv"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.error().isEmpty(); }));
    EXPECT_TRUE(w.error().startsWith("Couldn't write the CSV file: ")) << w.error().toStdString();
    w.state.prompts().setCsvExportErrorDetail(std::nullopt);

    const QString path = w.out.filePath("wide-out.csv");
    completeCSVExport(w.state.exportContext(), tree, path);
    ASSERT_TRUE(importAndWait(w.tree / "small.csv"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QFile::exists(path); }));
    CSVImportOutcome back = importFromCSV(path.toStdString());
    ASSERT_FALSE(back.error);
    int64_t files = 0;
    for (const RootRef& r : back.result.roots) files += r->subFolderFileCount();
    EXPECT_EQ(files, 101000);
    EXPECT_EQ(w.error(), QString());
}

// A selection of more files than are written in place is listed and put in path order by the
// background write, and says there is nothing to export when every selected item has gone.
TEST(WindowExports, ALargeSelectionIsOrderedByTheBackgroundWrite) {
    ScannedWindow w;
    fixtures::writeWideExport(w.tree / "wide.csv", 101, 1000);
    w.state.scanControl().importChosenCSV(QString::fromStdString((w.tree / "wide.csv").string()));
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return w.state.viewModel().scanState().tag() == ScanState::Tag::completed &&
               !w.state.scanControl().effectiveRoots().empty() && w.root()->subFolderFileCount() == 101000;
    }));
    NodeSet files;
    std::vector<std::string> expected;
    std::vector<FileNode*> walk{w.root()};
    while (!walk.empty()) {
        FileNode* n = walk.back();
        walk.pop_back();
        for (FileNode* c : n->children()) {
            if (c->isDir()) {
                walk.push_back(c);
            } else {
                files.insert(c);
                expected.push_back(c->pathBytes());
            }
        }
    }
    ASSERT_GT(files.size(), kRowsWrittenInPlace);
    std::sort(expected.begin(), expected.end());
    w.state.treeSelection().set(files);
    ExportSourceSelection selected(ExportSource::treeView, true, CSVFileFormat::csv);
    ASSERT_TRUE(selected.selectedOnly());

    const QString path = w.out.filePath("selected.csv");
    completeCSVExport(w.state.exportContext(), selected, path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QFile::exists(path); }));
    CSVImportOutcome back = importFromCSV(path.toStdString());
    ASSERT_FALSE(back.error);
    std::vector<std::string> written;
    for (const RootRef& r : back.result.roots) {
        std::vector<FileNode*> rows{r.get()};
        while (!rows.empty()) {
            FileNode* n = rows.back();
            rows.pop_back();
            if (!n->isDir()) written.push_back(n->pathBytes());
            for (FileNode* c : n->children()) rows.push_back(c);
        }
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);
    std::ifstream text(path.toStdString());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), expected.size() + 1);
    for (size_t i = 1; i < lines.size(); i += 9973)
        EXPECT_EQ(lines[i].rfind("\"" + expected[i - 1] + "\"", 0), 0u) << "row " << i << ": " << lines[i];
    EXPECT_EQ(w.error(), QString());

    // Every selected item gone since: nothing to export, said when the listing finds it.
    for (FileNode* f : files) f->flagDeletedRecursively();
    completeCSVExport(w.state.exportContext(), selected, w.out.filePath("none.csv"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.error().isEmpty(); }));
    EXPECT_EQ(w.error(), QStringLiteral("There's nothing to export."));
    EXPECT_FALSE(QFile::exists(w.out.filePath("none.csv")));
    w.state.treeSelection().clear();
}

// The whole File View of more rows than are written in place is joined from the trees by the
// background write: every file and folder still there, none of those marked deleted meanwhile,
// and nothing to export once all of them went.
TEST(WindowExports, TheWholeFileViewOfManyRowsIsJoinedByTheBackgroundWrite) {
    ScannedWindow w([](const fs::path& root) {
        for (int d = 0; d < 101; ++d) {
            const fs::path folder = root / ("d" + std::to_string(d));
            fs::create_directories(folder);
            for (int f = 0; f < 1000; ++f) std::ofstream(folder / ("f" + std::to_string(f) + ".txt")) << 'x';
        }
    });
    ASSERT_TRUE(w.root()->hasFlatFileList());
    FileNode* gone = w.child(w.root(), "d7");
    ASSERT_TRUE(gone);
    gone->flagDeletedRecursively();
    w.state.controller().setSelectedTab(ContentTab::fileView);
    ExportSourceSelection whole(ExportSource::fileView, false, CSVFileFormat::csv);
    const QString path = w.out.filePath("whole.csv");
    completeCSVExport(w.state.exportContext(), whole, path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QFile::exists(path); }));
    std::ifstream text(path.toStdString());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    // The header, 100 folders of 1,000 files and the folders' own rows.
    ASSERT_EQ(lines.size(), 1u + 100 * 1000 + 100);
    const std::string goneFolder = "\"" + w.tree.path().string() + "/d7/";
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(goneFolder, 0) == 0; }));
    EXPECT_EQ(w.error(), QString());

    for (FileNode* c : w.root()->children()) c->flagDeletedRecursively();
    completeCSVExport(w.state.exportContext(), whole, w.out.filePath("none.csv"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.error().isEmpty(); }));
    EXPECT_EQ(w.error(), QStringLiteral("There's nothing to export."));
    EXPECT_FALSE(QFile::exists(w.out.filePath("none.csv")));
}

TEST(WindowExports, RefusedExportsSayWhyAndOnlyAWriteFailureStillRemembersTheFolder) {
    ScannedWindow w;
    ExportSourceSelection tree(ExportSource::treeView, false, CSVFileFormat::csv);

    w.prefs.set(PreferenceKeys::csvExportFiles, false);
    w.prefs.set(PreferenceKeys::csvExportFolders, false);
    completeCSVExport(w.state.exportContext(), tree, w.out.filePath("none.csv"));
    EXPECT_EQ(w.error(), "Either one or both of \"Export Files\" and \"Export Folders\" must be selected for the "
                         "export to be valid.");
    EXPECT_FALSE(QFile::exists(w.out.filePath("none.csv")));
    EXPECT_EQ(w.prefs.value(PreferenceKeys::csvExportLastFolder), "");
    w.prefs.set(PreferenceKeys::csvExportFiles, true);
    w.state.prompts().setCsvExportErrorDetail(std::nullopt);

    // The File View's source without flat lists on the roots: nothing to export.
    ExportSourceSelection fileView(ExportSource::fileView, false, CSVFileFormat::csv);
    if (!w.root()->hasFlatFileList()) {
        completeCSVExport(w.state.exportContext(), fileView, w.out.filePath("flat.csv"));
        EXPECT_EQ(w.error(), "There's nothing to export.");
        w.state.prompts().setCsvExportErrorDetail(std::nullopt);
    }

    // A folder that cannot hold the file: the write fails, an earlier file there is kept, and
    // the folder is remembered all the same.
    const QString blocked = w.out.filePath("no-such-folder/x.csv");
    completeCSVExport(w.state.exportContext(), tree, blocked);
    EXPECT_TRUE(w.error().startsWith("Couldn't write the CSV file: ")) << w.error().toStdString();
    EXPECT_EQ(w.prefs.value(PreferenceKeys::csvExportLastFolder), w.out.filePath("no-such-folder"));
}

TEST(WindowExports, TheFileTypeRowsAddUpToTheTreeAndAFailedWriteIsReported) {
    ScannedWindow w;
    const QString path = w.out.filePath("types.csv");
    completeFileTypesExport(w.state.exportContext(), path);
    ASSERT_EQ(w.error(), QString());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    int64_t files = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) continue;
        const QList<QByteArray> fields = lines[i].split(',');
        files += fields.last().trimmed().toLongLong();
    }
    EXPECT_EQ(files, 4);

    completeFileTypesExport(w.state.exportContext(), w.out.filePath("missing/types.csv"));
    EXPECT_TRUE(w.error().startsWith("Couldn't write the CSV file: ")) << w.error().toStdString();
}

// Each file type's description is a lookup in the system's type database: a table of many types
// is written in the background, its failure reaching the alert on a later turn of the event loop,
// and the file has every type when it appears.
TEST(WindowExports, AFileTypeTableOfManyTypesIsWrittenInTheBackground) {
    const int types = int(kFileTypesWrittenInPlace) + 44;
    ScannedWindow w([&](const fs::path& root) {
        for (int i = 0; i < types; ++i) writeFile(root / ("f" + std::to_string(i) + ".x" + std::to_string(i)), 10 + i);
    });
    completeFileTypesExport(w.state.exportContext(), w.out.filePath("missing/types.csv"));
    EXPECT_EQ(w.error(), QString());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.error().isEmpty(); }));
    EXPECT_TRUE(w.error().startsWith("Couldn't write the CSV file: ")) << w.error().toStdString();
    w.state.prompts().setCsvExportErrorDetail(std::nullopt);

    const QString path = w.out.filePath("types.csv");
    completeFileTypesExport(w.state.exportContext(), path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QFile::exists(path); }));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), types + 1);
    std::set<QByteArray> extensions;
    int64_t files = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) continue;
        const QList<QByteArray> fields = lines[i].split(',');
        ASSERT_EQ(fields.size(), 6) << lines[i].toStdString();
        extensions.insert(fields[0]);
        files += fields.last().toLongLong();
    }
    EXPECT_EQ(int(extensions.size()), types);
    EXPECT_EQ(files, types);
    EXPECT_TRUE(extensions.count("\"x7\"")) << "x7";
    EXPECT_EQ(w.error(), QString());
}

// A FIFO picked in the save panel held the export's open until some reader came, on the window's
// own thread; a device would swallow the file. Neither is written, each says why, and the special
// file is left as it was.
TEST(WindowExports, ADeviceOrAFIFOIsNoExportTarget) {
    ScannedWindow w;
    const QString fifo = w.out.filePath("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = w.out.filePath("device.png");
    ASSERT_TRUE(QFile::link("/dev/null", device));
    // Should an open block after all, a reader comes after a while and takes what is written: a
    // failure, not a hang.
    std::atomic<bool> done{false};
    std::thread drain([&] {
        for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_CLOEXEC);
        char buffer[65536];
        while (fd >= 0 && ::read(fd, buffer, sizeof buffer) > 0) {
        }
        if (fd >= 0) ::close(fd);
    });
    const QString refused = "Not a regular file (a device, pipe or socket)";
    ExportSourceSelection tree(ExportSource::treeView, false, CSVFileFormat::csv);
    completeCSVExport(w.state.exportContext(), tree, fifo);
    EXPECT_EQ(w.error(), "Couldn't write the CSV file: " + refused);
    w.state.prompts().setCsvExportErrorDetail(std::nullopt);
    completeFileTypesExport(w.state.exportContext(), fifo);
    EXPECT_EQ(w.error(), "Couldn't write the CSV file: " + refused);
    w.state.prompts().setCsvExportErrorDetail(std::nullopt);
    bool finished = false;
    completeTreemapImageExport(w.state.exportContext(), false, device, TreemapExportSize{40, 20}, [&] { finished = true; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return finished; }));
    EXPECT_EQ(w.error(), "Couldn't write the PNG file: " + refused);
    done = true;
    drain.join();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(QFileInfo(device).isSymLink());
}

TEST(WindowExports, TheImageHasTheAskedSizeAndTooLargeOrEmptySizesAreRefused) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ScannedWindow w;
    EXPECT_TRUE(hasTreemapContent(w.state.scanControl()));
    w.prefs.set(PreferenceKeys::treemapExportWidth, 321);
    w.prefs.set(PreferenceKeys::treemapExportHeight, 123);
    const QString path = w.out.filePath("map.png");
    bool finished = false;
    completeTreemapImageExport(w.state.exportContext(), false, path, std::nullopt, [&] { finished = true; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return finished; }));
    ASSERT_EQ(w.error(), QString());
    const QImage image(path);
    EXPECT_EQ(image.size(), QSize(321, 123));

    // The size the dialog's fields showed wins over the stored one.
    finished = false;
    completeTreemapImageExport(w.state.exportContext(), false, path, TreemapExportSize{64, 32}, [&] { finished = true; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return finished; }));
    EXPECT_EQ(QImage(path).size(), QSize(64, 32));

    // Exports started one after the other do not supersede each other: each file is written and
    // each completion runs.
    int done = 0;
    completeTreemapImageExport(w.state.exportContext(), false, w.out.filePath("first.png"), TreemapExportSize{40, 20}, [&] { ++done; });
    completeTreemapImageExport(w.state.exportContext(), false, w.out.filePath("second.png"), TreemapExportSize{20, 40}, [&] { ++done; });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return done == 2; }));
    EXPECT_EQ(w.error(), QString());
    EXPECT_EQ(QImage(w.out.filePath("first.png")).size(), QSize(40, 20));
    EXPECT_EQ(QImage(w.out.filePath("second.png")).size(), QSize(20, 40));

    for (auto [width, height] : {std::pair<int64_t, int64_t>{0, 100}, {40000, 10}, {20000, 20000}}) {
        w.state.prompts().setCsvExportErrorDetail(std::nullopt);
        w.prefs.set(PreferenceKeys::treemapExportWidth, width);
        w.prefs.set(PreferenceKeys::treemapExportHeight, height);
        finished = false;
        completeTreemapImageExport(w.state.exportContext(), false, w.out.filePath("refused.png"), std::nullopt, [&] { finished = true; });
        EXPECT_TRUE(finished) << "a refused size is refused at once";
        EXPECT_EQ(w.error(), "Couldn't render the treemap image.\n\nThe width and height must each be between 1 and "
                             "32,768 pixels, and the picture at most 268,435,456 pixels in all.")
            << width << "x" << height;
        EXPECT_FALSE(QFile::exists(w.out.filePath("refused.png")));
    }
    // A zoom into a node of another tree is ignored.
    w.state.treemapZoom().setRoot(w.child(w.root(), "docs"));
    EXPECT_EQ(treemapImageRequest(w.state.exportContext(), false).zoomedNode, w.child(w.root(), "docs"));
}

// Stands in for the outline: these nodes' rows are open.
struct OpenRows final : QObject, TreeExpansionQuery {
    std::set<const FileNode*> nodes;
    bool isNodeExpanded(const FileNode* node) const override { return nodes.count(node) != 0; }
    bool isGroupExpanded(const FileNode*) const override { return false; }
    OpenTreeRows openRows() const override { return {{nodes.begin(), nodes.end()}, {}}; }
    std::shared_ptr<const void> ownNodesHeld() const override { return nullptr; }
};

TEST(WindowExports, TheClipboardListsWhatTheTreeShowsLargestFirst) {
    ScannedWindow w;
    FileNode* docs = w.child(w.root(), "docs");
    ASSERT_TRUE(docs);
    // Nothing expanded: one line for the root.
    auto open = std::make_unique<OpenRows>();
    w.state.treeExpansion().attach(open.get());
    const QString rootLine = QString::fromStdString(w.root()->fullPath());
    EXPECT_EQ(clipboardSummaryText(w.state.exportContext()), QString("%1  %2\n").arg("4.59 KB", 20).arg(rootLine));

    // The root and docs expanded; group size 0 keeps the files apart.
    w.prefs.set(PreferenceKeys::tweakFileGroupMinSize, 0);
    FileNode* root = w.root();
    open->nodes = {root, docs};
    const QStringList lines = clipboardSummaryText(w.state.exportContext()).split('\n');
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[1], QString("%1    %2").arg("4.39 KB", 20).arg(QString::fromStdString(docs->fullPath())));
    EXPECT_EQ(lines[2], QString("%1      b.txt").arg("2.93 KB", 20));
    EXPECT_EQ(lines[3], QString("%1      a.txt").arg("1000 Bytes", 20));
    EXPECT_TRUE(lines[4].endsWith(QString::fromStdString(docs->fullPath()) + "/deep"));
    EXPECT_EQ(lines[5], QString("%1    top.bin").arg("200 Bytes", 20));

    // A selection in the File View: flat lines with full paths.
    w.state.controller().setSelectedTab(ContentTab::fileView);
    FileNode* a = w.child(docs, "a.txt");
    w.state.fileSelection().set({a});
    EXPECT_EQ(clipboardSummaryText(w.state.exportContext()),
              QString("%1  %2\n").arg("1000 Bytes", 20).arg(QString::fromStdString(a->fullPath())));
}

// Exports, copies and file actions take the selection in path order, with each path made once; a
// name that a longer sibling name begins with keeps its place by the bytes of the whole path.
TEST(WindowExports, TheSelectionIsTakenInPathOrderAndGroupRowsAloneAreNoSelection) {
    ScannedWindow w([](const fs::path& root) {
        for (const char* name : {"a.b/x.txt", "a/y.txt", "a/z/w.txt", "a-c.txt", "B.txt", "a/z.txt"})
            writeFile(root / name, 100);
    });
    NodeSet all;
    std::vector<FileNode*> walk{w.root()};
    while (!walk.empty()) {
        FileNode* n = walk.back();
        walk.pop_back();
        all.insert(n);
        for (FileNode* c : n->children()) walk.push_back(c);
    }
    w.state.treeSelection().set(all);
    std::vector<std::string> expected;
    for (FileNode* n : all) expected.push_back(n->pathBytes());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> taken;
    for (FileNode* n : currentSelectionNodes(w.state.selections())) taken.push_back(n->pathBytes());
    EXPECT_EQ(taken, expected);
    EXPECT_TRUE(proposeCSVExport(w.state.exportContext(), QDateTime::currentDateTime()).hasSelection);

    // A group row alone is nothing an export or a copy can take.
    FileNode* a = w.child(w.root(), "a");
    ASSERT_TRUE(a);
    const auto grouped = a->groupedChildren(1);
    ASSERT_TRUE(grouped.group);
    w.state.treeSelection().set({grouped.group.get()});
    EXPECT_TRUE(currentSelectionNodes(w.state.selections()).empty());
    EXPECT_FALSE(proposeCSVExport(w.state.exportContext(), QDateTime::currentDateTime()).hasSelection);
    w.state.treeSelection().set({grouped.group.get(), a});
    EXPECT_TRUE(proposeCSVExport(w.state.exportContext(), QDateTime::currentDateTime()).hasSelection);
    w.state.treeSelection().clear();
}

TEST(WindowExports, NamesFormatsAndTweaks) {
    const QDateTime when(QDate(2026, 12, 7), QTime(22, 15, 59));
    EXPECT_EQ(proposedFileTypesName(when), "Zelvane_FT_20261207221559.csv");
    EXPECT_EQ(proposedTreemapImageName(when), "Zelvane_Treemap_20261207221559.png");
    EXPECT_EQ(applyCSVFormat("report.txt", CSVFileFormat::tsv), "report.tsv");
    EXPECT_EQ(applyCSVFormat(applyCSVFormat("report.txt", CSVFileFormat::tsv), CSVFileFormat::csv), "report.csv");
    EXPECT_EQ(applyCSVFormat(".hidden", CSVFileFormat::csv), ".hidden.csv");
    EXPECT_EQ(csvFileFormatFromRaw("tsv"), CSVFileFormat::tsv);
    EXPECT_FALSE(csvFileFormatFromRaw("TSV"));

    ExportSourceSelection none(ExportSource::treeView, false, CSVFileFormat::csv);
    none.setSelectedOnly(true);
    EXPECT_FALSE(none.selectedOnly());
    ExportSourceSelection some(ExportSource::treeView, true, CSVFileFormat::csv);
    EXPECT_TRUE(some.selectedOnly());

    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    TweaksSettings t = loadTweaks(prefs);
    EXPECT_EQ(t, TweaksSettings{});
    storeTweaks(prefs, t);  // OK without a change still stores every key
    for (const char* key : {"tweakEnableDragDrop", "monitorFileSystemForChanges", "byteUnitBase", "tweakFileGroupMinSize"})
        EXPECT_TRUE(prefs.object(key).isValid()) << key;
    t.decimalPlaces = 3;
    t.byteUnitBaseRaw = 1024;
    storeTweaks(prefs, t);
    EXPECT_EQ(loadTweaks(prefs), t);
}

}  // namespace
}  // namespace zelvane

// The File View of a real main window on eleven million imported entries, offscreen.
//
//   gui_filelist_11m [--files N] [--dirs N] [--copies N] [--no-selection] [--stages] [--open-only]
//                    [--actions [--only=STEPS]] CSV
//   gui_filelist_11m --real-delete N
//
// When CSV does not exist yet it is made first, in a child process: a generated tree of N files
// in N folders (defaults 1,000,000 and 100,000; names, sizes and dates in the manner of
// make-tree.py) repeated under `copies` roots (default 10), written as the window's CSV export.
// Every file then has `copies` look-alikes: with ten roots, a million duplicate groups of ten.
//
// The window imports the CSV and shows its Tree View, then each step below runs in turn. For
// each: the time from the change to its result on screen (rows published, duplicates found, the
// debounce of typing included; the first rows too when they come before the duplicates), the
// longest gap between two ticks of a 1 ms timer on the GUI thread meanwhile (its longest stall),
// and the resident memory after the step with its peak during it (the kernel's high-water mark
// is reset at each step). Last, the peak of the whole run.
// --no-selection leaves out the selection steps (Select All, Shift+End); --stages prints the
// timing entries of the list's stages under each step and the allocator's heap after it (in use;
// free but kept); --open-only stops after the File View is open. --actions goes from the open File
// View straight to every row selected and runs the actions on them instead of the other steps:
// the context menu up to its showing, Quick Look, a drag's data, Copy Path and Copy up to the
// clipboard, Show in File Manager up to its question (answered No), Zoom Treemap, the CSV export
// of the selection up to its file, Select Parent, and last Delete Immediately (the import's paths
// are not on disk: up to the rows marked gone), then the Tree View shown with the treemap's deleted
// boxes and 20 repaints of it. --only= names the action steps to run, separated by
// commas: menu, quicklook, copypath, copy, show, zoom, export, parent, delete (each takes gigabytes
// at ten million items, and what the allocator keeps of one stays under the next). --real-delete N makes a real tree of N files under /tmp,
// scans it, selects every row of the File View and erases them with Delete Immediately: the time
// to the question and to the rows marked gone, and the longest stall meanwhile. DELETES THAT TREE.
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "QuietWindow.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "TreeBuilder.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

using namespace zelvane;

namespace {

// VmRSS and VmHWM of this process, in KiB.
std::pair<long, long> residentKiB() {
    std::ifstream status("/proc/self/status");
    long rss = 0, hwm = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6);
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::atol(line.c_str() + 6);
    }
    return {rss, hwm};
}

// What the allocator holds: in use (small blocks and mapped ones) and free but kept, in MiB.
QString heapText() {
    const struct mallinfo2 m = mallinfo2();
    return QString::asprintf("heap: in use %.0f MiB (mapped %.0f), free but kept %.0f MiB",
                             double(m.uordblks + m.hblkhd) / 1048576.0, double(m.hblkhd) / 1048576.0,
                             double(m.fordblks) / 1048576.0);
}

// Starts a new high-water mark at the current resident size.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// ---- the generated tree ------------------------------------------------------------------------

struct Shape {
    int files = 1000000;
    int dirs = 100000;
    int copies = 10;
};

std::string randomName(std::mt19937_64& rng, int minLen, int maxLen) {
    static const char* ascii = "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJ_-";
    static const char* wide[] = {"ä", "ö", "ü", "é", "ñ", "ø", "д", "ж", "л", "я", "β", "λ", "日", "本", "語", "📁"};
    std::string out;
    const int len = minLen + int(rng() % unsigned(maxLen - minLen + 1));
    const bool mixed = rng() % 100 < 6;
    for (int i = 0; i < len; ++i) {
        if (mixed && rng() % 5 == 0)
            out += wide[rng() % std::size(wide)];
        else
            out += ascii[rng() % 74];
    }
    if (rng() % 100 < 2) out.insert(out.begin(), '.');
    return out;
}

// One copy of the tree below `root`; the same seed gives the same tree.
void growCopy(testsupport::TreeBuilder& b, FileNode* root, const Shape& shape) {
    std::mt19937_64 rng(20261209);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::lognormal_distribution<double> sizes(std::log(3000.0), 2.0);
    static const char* exts[] = {".txt", ".jpg", ".md", ".json", ".c", ".h", ".png", ".mp4", ".log", ".dat",
                                 ".cpp", ".py", ".html", ".pdf", ".zip", ".mp3", ".svg", ".xml", "", ".gz"};
    std::vector<FileNode*> folders{root};
    std::vector<int> depth{0};
    folders.reserve(size_t(shape.dirs) + 1);
    for (int i = 1; i <= shape.dirs; ++i) {
        // Mostly below a recent folder (project-like clusters), sometimes anywhere.
        const size_t n = folders.size();
        size_t parent = rng() % 4 == 0 ? rng() % n : n - 1 - size_t(double(std::min<size_t>(n, 64)) * unit(rng) * 0.999);
        if (depth[parent] >= 12) parent = 0;
        folders.push_back(b.folder(folders[parent], randomName(rng, 4, 24) + "-" + std::to_string(i),
                                   int32_t(600000000 + rng() % 200000000)));
        depth.push_back(depth[parent] + 1);
    }
    for (int i = 0; i < shape.files; ++i) {
        // Heavy-tailed: a few folders hold many files, most a handful.
        const size_t at = size_t(double(folders.size()) * std::pow(unit(rng), 2.5));
        const int64_t size = rng() % 100 < 3 ? 0 : std::min<int64_t>(int64_t(sizes(rng)), 8 << 20);
        const std::string name = randomName(rng, 3, 30) + "_" + std::to_string(i) + exts[rng() % std::size(exts)];
        b.file(folders[std::min(at, folders.size() - 1)], name, size, (size + 4095) / 4096 * 4096,
               int32_t(600000000 + rng() % 200000000));
    }
}

int writeCSV(const std::string& path, const Shape& shape) {
    testsupport::TreeBuilder b;
    std::vector<RootRef> roots;
    for (int c = 0; c < shape.copies; ++c) {
        FileNode* root = b.root("/zelvane-bench/copy" + std::to_string(c));
        growCopy(b, root, shape);
        roots.push_back(b.finish(root));
    }
    const CSVExportOptions options{.exportFiles = true,
                                   .exportFolders = true,
                                   .exportFileID = false,
                                   .exportDates = true,
                                   .exportFolderSizes = true,
                                   .splitFilename = false,
                                   .exportDriveCapacity = false,
                                   .exportPercentOfParent = false,
                                   .maxDepth = 0,
                                   .useTabDelimiter = false,
                                   .useUTC = true};
    auto none = [](const FileNode&) { return VolumeCapacity{}; };
    return exportToCSV(roots, options, false, none, path) ? 1 : 0;
}

// Made in a child, so that none of the generator's memory counts in the window's peak.
bool ensureCSV(const std::string& path, const Shape& shape) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return true;
    std::fprintf(stderr, "making %s (%d copies of %d files in %d folders)\n", path.c_str(), shape.copies, shape.files,
                 shape.dirs);
    const pid_t child = fork();
    if (child == 0) _exit(writeCSV(path, shape));
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- measuring ---------------------------------------------------------------------------------

// The stages' own timing entries closed since entry `from`: when each began after `since`, and
// how long it took.
void printEntries(qsizetype from, const QDateTime& since) {
    const auto& e = DebugTimingLog::shared().entries();
    for (qsizetype i = from; i < e.size(); ++i)
        if (e[i].endedAt)
            std::printf("    %-20s at %6lld ms %6lld ms  %s\n", qPrintable(e[i].label), (long long)since.msecsTo(e[i].startedAt),
                        (long long)e[i].startedAt.msecsTo(*e[i].endedAt), qPrintable(e[i].detail.value_or(QString())));
}

// Runs the event loop until `done`, for at most `limitSeconds`.
bool pumpUntil(const std::function<bool()>& done, double limitSeconds = 600) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > qint64(limitSeconds * 1000)) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

using StepRunner = std::function<void(const char*, const std::function<void()>&, const std::function<bool()>&)>;
using ListStepRunner = std::function<void(const char*, const std::function<void()>&)>;

// Closes whatever alert or menu the window shows next (an alert with its last button, "Cancel"
// or "No"), and says when it came.
struct Answerer {
    QTimer timer;
    bool seen = false;
    // Proceeds instead: the alert's first button.
    bool proceed = false;
    QElapsedTimer since;
    double seenAfterMs = -1;
    Answerer() {
        since.start();
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                seen = true;
                popup->close();
            }
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible()) continue;
                if (!seen) seenAfterMs = double(since.nsecsElapsed()) / 1e6;
                seen = true;
                const QList<QAbstractButton*> buttons = box->buttons();
                if (!buttons.isEmpty()) (proceed ? buttons.first() : buttons.last())->click();
                else box->reject();
            }
        });
        timer.start();
    }
};

// The actions on every row of the list, selected by Ctrl+A with Max files: all.
void runActionSteps(MainWindow& window, FileListView& list, const StepRunner& step, const ListStepRunner& listStep,
                    const std::set<std::string>& only) {
    const auto runs = [&](const char* name) { return only.empty() || only.count(name); };
    // Named on its own only: the Tree View opened as far as Expand All goes, every row selected,
    // and its context menu up to its showing.
    if (only.count("treemenu")) {
        window.controller().setSelectedTab(ContentTab::treeView);
        ContextMenuOutlineView& tree = window.contentView()->treeViewTab()->outline()->outline();
        step("Expand All in the Tree View", [&] { window.menus().handleMenuAction(ZelvaneMenuAction::expandAll); }, [] { return true; });
        pumpUntil([] { return false; }, 5);
        tree.setFocus();
        step("Select All in the outline", [&] { QTest::keyClick(&tree, Qt::Key_A, Qt::ControlModifier); },
             [&] { return !window.treeSelection().nodes().isEmpty(); });
        std::printf("    (%lld nodes selected)\n", (long long)window.treeSelection().nodes().size());
        Answerer closer;
        step("Tree View context menu shown", [&] { emit tree.menuRequested(tree.viewport()->mapToGlobal(QPoint(20, 20))); },
             [&] { return closer.seen; });
        return;
    }
    Preferences& prefs = window.preferences();
    listStep("Max files: all", [&] { prefs.set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all)); });
    ContextMenuOutlineView& outline = list.outline();
    NodeSelection& fileSelection = window.fileSelection();
    outline.setFocus();
    step("Select All (all rows)", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
         [&] { return fileSelection.nodes().size() > 1; });
    std::printf("    (%lld nodes selected)\n", (long long)fileSelection.nodes().size());
    pumpUntil([&] { return !window.contentView()->statusBar()->summaryPending(); }, 60);
    const auto idle = [] { return !QApplication::overrideCursor(); };
    Answerer answerer;
    const auto answered = [&] { return answerer.seen; };
    const auto menuStep = [&](const char* title, ZelvaneMenuAction action, const std::function<bool()>& done) {
        answerer.seen = false;
        step(title, [&] { window.menus().handleMenuAction(action); }, done);
    };
    QClipboard* clipboard = QApplication::clipboard();

    if (runs("menu")) {
        answerer.seen = false;
        step("context menu shown", [&] { emit outline.menuRequested(outline.viewport()->mapToGlobal(QPoint(20, 20))); }, answered);
    }
    if (runs("quicklook")) {
        step("Quick Look shown", [&] { emit outline.quickLookRequested(); }, [&] {
            auto* preview = window.findChild<PreviewWindow*>();
            return preview && preview->isVisible();
        });
        if (auto* preview = window.findChild<PreviewWindow*>()) {
            std::printf("    (%d items previewed)\n", preview->itemCount());
            preview->close();
        }
    }
    clipboard->clear();
    if (runs("copypath")) {
        menuStep("Copy Path, up to the clipboard", ZelvaneMenuAction::copyPath,
                 [&] { return idle() && clipboard->mimeData() && clipboard->mimeData()->hasText(); });
        std::printf("    (%lld characters)\n", (long long)(clipboard->mimeData() ? clipboard->mimeData()->text().size() : 0));
        clipboard->clear();
    }
    if (runs("copy")) {
        menuStep("Copy, up to the clipboard", ZelvaneMenuAction::copy,
                 [&] { return idle() && clipboard->mimeData() && !clipboard->mimeData()->formats().isEmpty(); });
        // What a program pasting it costs the window: each type asked for twice.
        if (const QMimeData* copied = clipboard->mimeData())
            for (const char* type : {"text/uri-list", "x-special/gnome-copied-files", "text/uri-list", "x-special/gnome-copied-files"}) {
                QElapsedTimer asked;
                asked.start();
                const qsizetype bytes = copied->data(QString::fromLatin1(type)).size();
                std::printf("    (%s: %lld bytes handed out in %.2f ms)\n", type, (long long)bytes, double(asked.nsecsElapsed()) / 1e6);
            }
        clipboard->clear();
    }
    if (runs("show"))
        menuStep("Show in File Manager, up to its question", ZelvaneMenuAction::showInFinder, [&] { return answered() && idle(); });
    if (runs("zoom"))
        menuStep("Zoom Treemap", ZelvaneMenuAction::zoomTreemap, [&] { return window.treemapZoom().root() != nullptr; });
    if (runs("export")) {
        QTemporaryDir exports;
        const QString exported = exports.filePath(QStringLiteral("selection.csv"));
        ExportSourceSelection choice(ExportSource::fileView, true, CSVFileFormat::csv);
        step("CSV export of the selection, up to its file", [&] { completeCSVExport(window.exportContext(), choice, exported); },
             [&] { return QFileInfo::exists(exported); });
        std::printf("    (%.0f MiB written)\n", double(QFileInfo(exported).size()) / 1048576.0);
        QFile::remove(exported);
    }
    if (runs("parent")) {
        menuStep("Select Parent", ZelvaneMenuAction::selectParent, [&] { return !window.treeSelection().nodes().isEmpty(); });
        window.controller().setSelectedTab(ContentTab::fileView);
        pumpUntil([] { return false; }, 0.5);
    }
    if (runs("delete")) {
        FileNode* someone = *fileSelection.nodes().begin();
        menuStep("Delete Immediately, up to the rows marked gone", ZelvaneMenuAction::deleteImmediately,
                 [&] { return someone->isDeleted() && idle(); });
        // The Tree View then shows the treemap with the boxes of what went outlined.
        TreemapCanvas& canvas = *window.contentView()->treeViewTab()->treemapCanvas();
        const TreemapCanvasModel& map = canvas.model();
        step("Tree View shown, treemap with deleted boxes",
             [&] { window.controller().setSelectedTab(ContentTab::treeView); },
             [&] { return map.overlaysShown() && !map.isRegenerationScheduled() && map.busyRegenerationCount() == 0 && idle(); });
        std::printf("    %zu boxes, %zu of them outlined as deleted\n", map.layout().leaves.size(), map.overlays().deleted.size());
        step("treemap repainted 20 times", [&] { for (int i = 0; i < 20; ++i) canvas.repaint(); }, [] { return true; });
    }
}

// A real tree of `files` files in folders of 500 under /tmp, scanned in the window; every row of
// the File View selected and erased with Delete Immediately, the question answered yes.
int runRealDelete(int files) {
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/zelvane-bench-delete-XXXXXX"));
    const std::string root = dir.path().toStdString();
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / 500);
        if (i % 500 == 0) ::mkdir(folder.c_str(), 0755);
        const std::string file = folder + "/f" + std::to_string(i) + ".dat";
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0 || ::write(fd, "x", 1) != 1) return 1;
        ::close(fd);
    }
    bench::QuietWindow quiet;
    MainWindow& window = quiet.window;
    quiet.prefs.set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
    quiet.prefs.set(PreferenceKeys::fileDupMethod, 0);
    window.scanControl().scanChosenFolder(dir.path());
    if (!pumpUntil([&] { return window.viewModel().scanState().tag() == ScanState::Tag::completed && !window.scanControl().effectiveRoots().empty(); }))
        return 1;
    window.controller().setSelectedTab(ContentTab::fileView);
    FileListView* list = window.contentView()->fileViewTab()->findChild<FileListView*>();
    if (!pumpUntil([&] { return list->pipeline().displayed().size() == size_t(files) && !QApplication::overrideCursor(); })) return 1;
    ContextMenuOutlineView& outline = list->outline();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    if (!pumpUntil([&] { return window.fileSelection().nodes().size() == qsizetype(files); })) return 1;
    pumpUntil([&] { return !window.contentView()->statusBar()->summaryPending(); }, 30);
    std::vector<FileNode*> rows = list->pipeline().displayed();
    bench::StallMeter meter;
    Answerer answerer;
    answerer.proceed = true;
    QElapsedTimer clock;
    meter.start();
    clock.start();
    answerer.since.start();
    window.menus().handleMenuAction(ZelvaneMenuAction::deleteImmediately);
    const bool done = pumpUntil([&] {
        return answerer.seen && !QApplication::overrideCursor() &&
               std::all_of(rows.begin(), rows.end(), [](const FileNode* n) { return n->isDeleted(); });
    });
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    const double stall = meter.stop();
    int left = 0;
    for (int i = 0; i < files / 500 + 1; ++i) left += QDir(dir.filePath(QStringLiteral("d%1").arg(i))).exists();
    std::printf("%-44s %9.0f ms   stall %7.1f ms   question after %.0f ms, %d folders left%s\n",
                qPrintable(QStringLiteral("Delete Immediately of %1 real files").arg(files)), ms, stall, answerer.seenAfterMs,
                left, done ? "" : "  (timed out)");
    std::printf("peak resident memory of the run: %.0f MiB\n", double(residentKiB().second) / 1024.0);
    return done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Shape shape;
    std::string csv;
    bool selection = true;
    bool verbose = false;
    bool openOnly = false;
    bool actions = false;
    std::set<std::string> only;
    int realDelete = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--files" && i + 1 < argc) shape.files = std::atoi(argv[++i]);
        else if (a == "--dirs" && i + 1 < argc) shape.dirs = std::atoi(argv[++i]);
        else if (a == "--copies" && i + 1 < argc) shape.copies = std::atoi(argv[++i]);
        else if (a == "--no-selection") selection = false;
        else if (a == "--stages") verbose = true;
        else if (a == "--open-only") openOnly = true;
        else if (a == "--actions") actions = true;
        else if (a.rfind("--only=", 0) == 0) {
            std::string list(a.substr(7));
            for (size_t at = 0; at <= list.size();) {
                const size_t comma = std::min(list.find(',', at), list.size());
                only.insert(list.substr(at, comma - at));
                at = comma + 1;
            }
        }
        else if (a == "--real-delete" && i + 1 < argc) realDelete = std::atoi(argv[++i]);
        else csv = argv[i];
    }
    if (realDelete > 0) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        return runRealDelete(realDelete);
    }
    if (csv.empty()) {
        std::fputs("usage: gui_filelist_11m [--files N] [--dirs N] [--copies N] [--no-selection] [--stages] [--open-only] [--actions [--only=STEPS]] CSV\n",
                   stderr);
        return 2;
    }
    if (!ensureCSV(csv, shape)) {
        std::fputs("gui_filelist_11m: could not write the CSV file\n", stderr);
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    bench::QuietWindow quiet;
    Preferences& prefs = quiet.prefs;
    MainWindow& window = quiet.window;
    ScanController& scans = window.scanControl();
    bench::StallMeter meter;
    QElapsedTimer clock;

    // The import, shown in the Tree View.
    pumpUntil([] { return false; }, 0.3);
    window.contentView()->topBar()->setCSVFileChooser([&](QWidget*) { return QString::fromStdString(csv); });
    meter.start();
    clock.start();
    window.contentView()->topBar()->selectCSVFile();
    const bool imported = pumpUntil([&] {
        return window.viewModel().scanState().tag() == ScanState::Tag::completed && !scans.effectiveRoots().empty() &&
               window.contentView()->treeViewTab()->showsOutline() &&
               window.contentView()->treeViewTab()->outline()->model().rowCount() > 0;
    });
    if (!imported) {
        std::fputs("gui_filelist_11m: the import did not finish\n", stderr);
        return 1;
    }
    int64_t files = 0, dirs = 0;
    for (const RootRef& r : scans.effectiveRoots()) {
        files += r->subFolderFileCount();
        dirs += r->subFolderDirCount();
    }
    long runPeakKiB = residentKiB().second;
    const auto memory = [&] {
        const auto [rss, hwm] = residentKiB();
        runPeakKiB = std::max(runPeakKiB, hwm);
        resetPeak();
        return QString::asprintf("rss %5.0f MiB, peak %5.0f MiB", double(rss) / 1024.0, double(hwm) / 1024.0);
    };
    std::printf("%-44s %9.0f ms   stall %7.1f ms   %s   (%lld files, %lld folders, %zu roots)\n",
                "import, Tree View shown", double(clock.nsecsElapsed()) / 1e6, meter.stop(), qPrintable(memory()),
                (long long)files, (long long)dirs, scans.effectiveRoots().size());
    std::fflush(stdout);

    FileViewTab* tab = window.contentView()->fileViewTab();
    FileListView* list = tab->findChild<FileListView*>();
    FileListPipeline& pipeline = list->pipeline();
    ContextMenuOutlineView& outline = list->outline();
    int published = 0;
    double firstRowsMs = -1;
    QObject::connect(&pipeline, &FileListPipeline::rowsPublished, [&] {
        ++published;
        if (firstRowsMs < 0) firstRowsMs = double(clock.nsecsElapsed()) / 1e6;
    });
    // Nothing left to run: every stage under way shows the busy cursor until its result is in.
    const auto settled = [&] {
        return !pipeline.isLocatingDuplicates() && !pipeline.debouncePending() && !QApplication::overrideCursor();
    };

    // One measured step: `act` starts it, and it ends once `done` holds.
    const auto step = [&](const char* title, const std::function<void()>& act, const std::function<bool()>& done) {
        QCoreApplication::processEvents();
        const qsizetype from = DebugTimingLog::shared().entries().size();
        const QDateTime began = QDateTime::currentDateTime();
        firstRowsMs = -1;
        meter.start();
        clock.start();
        act();
        const bool ok = pumpUntil(done);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const double stall = meter.stop();
        std::printf("%-44s %9.0f ms   stall %7.1f ms   %s   %d rows%s\n", title, ms, stall, qPrintable(memory()),
                    pipeline.results().count, ok ? "" : "  (timed out)");
        if (firstRowsMs >= 0 && firstRowsMs < ms - 50) std::printf("    (first rows after %.0f ms)\n", firstRowsMs);
        QCoreApplication::processEvents();
        if (verbose) {
            printEntries(from, began);
            std::printf("    %s\n", qPrintable(heapText()));
        }
        std::fflush(stdout);
    };
    // A change of the list's inputs: done once its rows are published and nothing is left to run.
    const auto listStep = [&](const char* title, const std::function<void()>& act) {
        const int before = published;
        step(title, act, [&, before] { return published > before && settled(); });
    };

    if (verbose) std::printf("    %s\n", qPrintable(heapText()));
    listStep("open the File View (duplicates by date)", [&] { window.controller().setSelectedTab(ContentTab::fileView); });
    if (openOnly) {
        std::printf("peak resident memory of the run: %.0f MiB\n", double(runPeakKiB) / 1024.0);
        return 0;
    }
    if (actions) {
        runActionSteps(window, *list, step, listStep, only);
        memory();
        std::printf("peak resident memory of the run: %.0f MiB\n", double(runPeakKiB) / 1024.0);
        return 0;
    }
    listStep("type \"ab\" in search (debounce included)", [&] {
        tab->searchField().setFocus();
        QTest::keyClick(&tab->searchField(), Qt::Key_A);
        pumpUntil([] { return false; }, 0.1);
        QTest::keyClick(&tab->searchField(), Qt::Key_B);
    });
    listStep("clear the search", [&] { tab->searchField().clear(); });
    listStep("Duplicate Files: name and size", [&] { prefs.set(PreferenceKeys::fileDupMethod, 1); });
    listStep("Duplicates only on", [&] { prefs.set(PreferenceKeys::fileDupsOnly, true); });
    listStep("Duplicates only off", [&] { prefs.set(PreferenceKeys::fileDupsOnly, false); });
    listStep("Max files: 100,000",
             [&] { prefs.set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::hundredThousand)); });
    // A selection step starts from no selection (or from its first row alone) and ends once the
    // window's File View selection (what the status line, the menus and the file actions read)
    // holds the rows.
    NodeSelection& fileSelection = window.fileSelection();
    const auto selectStep = [&](const char* title, bool fromFirstRow, const std::function<void()>& act) {
        if (!selection) return;
        outline.clearSelection();
        outline.setFocus();
        if (fromFirstRow) outline.setCurrentIndex(outline.model()->index(0, 0));
        pumpUntil([&] { return fileSelection.nodes().size() == (fromFirstRow ? 1 : 0); }, 5);
        step(title, act, [&] { return fileSelection.nodes().size() > 1; });
        std::printf("    (%lld nodes selected)\n", (long long)fileSelection.nodes().size());
    };
    const auto selectAll = [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); };
    const auto shiftEnd = [&] { QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier); };
    selectStep("Select All (100,000 rows)", false, selectAll);
    selectStep("select rows 1 to the end (Shift+End)", true, shiftEnd);
    listStep("Max files: all",
             [&] { prefs.set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all)); });
    selectStep("Select All (all rows)", false, selectAll);
    selectStep("Shift+End from the first row, all rows", true, shiftEnd);
    if (selection) {
        // A click on one row replaces the selection of every row, once the status line has its
        // sizes (until then its job holds the set too).
        pumpUntil([&] { return !window.contentView()->statusBar()->summaryPending(); }, 30);
        outline.scrollToTop();
        QCoreApplication::processEvents();
        const QPoint first = outline.visualRect(outline.model()->index(0, 0)).center();
        step("click one row after all rows were selected",
             [&] { QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, first); },
             [&] { return fileSelection.nodes().size() == 1; });
    }
    listStep("Max files: 1,000",
             [&] { prefs.set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::oneThousand)); });
    listStep("Folders on", [&] { prefs.set(PreferenceKeys::fileIncludeFolders, true); });
    listStep("Folders off", [&] { prefs.set(PreferenceKeys::fileIncludeFolders, false); });
    QHeaderView* header = outline.header();
    for (int column = 0; column < FileListModel::kColumnCount; ++column) {
        const std::string title = "sort by " + std::string(FileListModel::columns().identifier(column));
        listStep(title.c_str(), [&] { emit header->sectionClicked(column); });
    }
    listStep("Duplicate Files: none", [&] { prefs.set(PreferenceKeys::fileDupMethod, 0); });
    memory();
    std::printf("peak resident memory of the run: %.0f MiB\n", double(runPeakKiB) / 1024.0);
    return 0;
}

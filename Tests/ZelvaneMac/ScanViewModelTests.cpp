// Runs under ThreadSanitizer too: each run works on a thread of its own and reports back.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <thread>

#include "ScanEngine/CSVTestSupport.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "QtTestApp.hpp"
#include "TempFolder.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ScanEngine/Interchange/CSVLineReader.hpp"

using namespace zelvane;
namespace fs = std::filesystem;

namespace {

struct TempTree {
    testsupport::TempFolder dir{"zelvane-scan-model"};
    fs::path root() const { return dir.fsPath(); }
    QString path(const char* rel = "") const { return QString::fromStdString((root() / rel).string()); }
    void file(const std::string& rel, size_t bytes) {
        fs::create_directories((root() / rel).parent_path());
        std::ofstream(root() / rel) << std::string(bytes, 'x');
    }
};

// Every terminal state the model publishes, in order.
struct Outcomes {
    std::vector<ScanState> states;
    explicit Outcomes(ScanViewModel& m) {
        QObject::connect(&m, &ScanViewModel::scanStateChanged, [this](const ScanState& s) {
            if (s.tag() != ScanState::Tag::scanning && s.tag() != ScanState::Tag::idle) states.push_back(s);
        });
    }
};

bool finished(const ScanViewModel& m) {
    auto t = m.scanState().tag();
    return t != ScanState::Tag::scanning && t != ScanState::Tag::idle;
}

}  // namespace

TEST(ScanViewModel, ScansASelectedFolderToCompletion) {
    qtTestApp();
    TempTree t;
    t.file("a/one.txt", 100);
    t.file("a/b/two.bin", 2000);
    t.file("three", 3);

    ScanViewModel m;
    int capacityChanges = 0;
    QObject::connect(&m, &ScanViewModel::rootCapacitiesChanged, [&] { ++capacityChanges; });
    m.selectRoot(t.path(), "Temp");
    EXPECT_EQ(m.rootLabel(), "Temp");
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);
    ASSERT_EQ(m.rootCapacities().size(), 1u);
    EXPECT_TRUE(m.totalCapacity().has_value());
    EXPECT_EQ(m.totalCapacity(), m.rootCapacities()[0].total);
    EXPECT_EQ(capacityChanges, 1);

    std::vector<ScanState::Tag> seen;
    QObject::connect(&m, &ScanViewModel::scanStateChanged, [&](const ScanState& s) { seen.push_back(s.tag()); });
    m.startScan(std::nullopt, false, true);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::scanning);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(seen.front(), ScanState::Tag::scanning);
    EXPECT_EQ(seen.back(), ScanState::Tag::completed);
    const auto& roots = m.scanState().roots();
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0]->subFolderTotSize(), 2103);
    EXPECT_EQ(roots[0]->subFolderFileCount(), 3);
    EXPECT_EQ(roots[0]->subFolderDirCount(), 2);
    EXPECT_TRUE(m.lastScanDuration().has_value());
    EXPECT_TRUE(m.lastScanAccessDeniedPaths().isEmpty());
    EXPECT_FALSE(m.lastScanWasCSVImport());

    // The timing log holds a closed "Scan" entry that kept its label as detail.
    ASSERT_TRUE(pumpUntil([] {
        const auto& e = DebugTimingLog::shared().entries();
        return !e.isEmpty() && e.back().label == "Scan" && e.back().endedAt.has_value();
    }));
    EXPECT_EQ(DebugTimingLog::shared().entries().back().detail, "Temp");
}

TEST(ScanViewModel, AnnouncesAStateOnlyWhenItChanged) {
    qtTestApp();
    TempTree t;
    for (int i = 0; i < 200; ++i) t.file("d" + std::to_string(i % 7) + "/f" + std::to_string(i), 10);
    ScanViewModel m;
    std::vector<ScanState> seen;
    QObject::connect(&m, &ScanViewModel::scanStateChanged, [&](const ScanState& s) { seen.push_back(s); });
    m.selectRoot(t.path(), "Temp");
    m.selectRoot(t.path(), "Temp");
    EXPECT_TRUE(seen.empty()) << "idle stays idle: nothing to report";

    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_GE(seen.size(), 2u);
    for (size_t i = 1; i < seen.size(); ++i) {
        const ScanState& a = seen[i - 1];
        const ScanState& b = seen[i];
        const bool sameProgress = a.isScanning() && b.isScanning() &&
                                  std::get<ScanState::Scanning>(a.value).progress == std::get<ScanState::Scanning>(b.value).progress;
        EXPECT_FALSE(sameProgress) << "report " << i << " repeats the one before";
    }
    // A new selection after the run is a change (the result is put away).
    const size_t before = seen.size();
    m.selectRoot(t.path(), "Temp");
    EXPECT_EQ(seen.size(), before + 1);
    EXPECT_EQ(seen.back().tag(), ScanState::Tag::idle);
}

TEST(ScanViewModel, MissingFolderFailsAndEmptySelectionStartsNothing) {
    qtTestApp();
    ScanViewModel m;
    m.startScan(std::nullopt, false, false);  // nothing selected yet
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);

    m.selectPaths({});
    EXPECT_EQ(m.rootLabel(), "");
    EXPECT_TRUE(m.rootCapacities().empty());
    EXPECT_FALSE(m.totalCapacity().has_value());
    m.startScan(std::nullopt, false, false);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);

    m.selectPaths({"/nonexistent/zelvane-a", "/nonexistent/zelvane-b"});
    EXPECT_EQ(m.rootLabel(), "[/nonexistent/zelvane-a] [/nonexistent/zelvane-b]");
    EXPECT_FALSE(m.totalCapacity().has_value());  // unreadable volumes make the totals absent
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::failed);
    EXPECT_EQ(std::get<ScanState::Failed>(m.scanState().value).message,
              "Could not read [/nonexistent/zelvane-a] [/nonexistent/zelvane-b]");
}

// Roots on one volume share its space: the totals count the volume once, each root keeps its entry.
TEST(ScanViewModel, TwoRootsOnOneVolumeCountItOnce) {
    qtTestApp();
    TempTree t;
    t.file("x/f", 1);
    t.file("y/f", 1);
    ScanViewModel m;
    m.selectPaths({t.path("x"), t.path("y")});
    ASSERT_EQ(m.rootCapacities().size(), 2u);
    EXPECT_EQ(m.rootCapacities()[0].total, m.rootCapacities()[1].total);
    EXPECT_EQ(*m.totalCapacity(), *m.rootCapacities()[0].total);
    EXPECT_LE(*m.availableCapacity(), *m.totalCapacity());
    m.refreshCapacityForLiveChange();
    EXPECT_EQ(m.rootCapacities().size(), 2u);
    EXPECT_EQ(*m.totalCapacity(), *m.rootCapacities()[0].total);
}

TEST(ScanViewModel, CancelEndsCancelledAndANewerRunAloneDecides) {
    qtTestApp();
    TempTree t;
    for (int i = 0; i < 300; ++i) t.file("big/d" + std::to_string(i % 30) + "/f" + std::to_string(i), 10);
    t.file("small/only", 7);

    {
        ScanViewModel m;
        m.selectRoot(t.path("big"), "big");
        m.startScan(std::nullopt, false, false);
        m.cancelScan();
        ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
        EXPECT_EQ(m.scanState().tag(), ScanState::Tag::cancelled);
        ASSERT_TRUE(pumpUntil([] {
            const auto& e = DebugTimingLog::shared().entries();
            return !e.isEmpty() && e.back().endedAt.has_value();
        }));
        EXPECT_EQ(DebugTimingLog::shared().entries().back().detail, "cancelled");
    }

    // A second start while the first runs: only the second run's outcome is published.
    ScanViewModel m;
    Outcomes outcomes(m);
    m.selectRoot(t.path("big"), "big");
    m.startScan(std::nullopt, false, false);
    m.selectRoot(t.path("small"), "small");
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    // Let any late delivery of the first job arrive.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(outcomes.states.size(), 1u);
    ASSERT_EQ(outcomes.states[0].tag(), ScanState::Tag::completed);
    EXPECT_EQ(outcomes.states[0].roots()[0]->subFolderTotSize(), 7);
}

TEST(ScanViewModel, ImportsAnExportAndReportsBrokenOrCancelledImports) {
    qtTestApp();
    TempTree t;
    t.file("data/a.txt", 10);
    t.file("data/sub/b.txt", 20);
    ScanViewModel scan;
    scan.selectRoot(t.path("data"), "data");
    scan.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(scan); }));
    ASSERT_EQ(scan.scanState().tag(), ScanState::Tag::completed);

    const std::string csv = (t.root() / "scan.csv").string();
    const CSVExportOptions options = zelvane::testing::everyColumn();
    auto capacity = [](const FileNode&) { return VolumeCapacity{1000, 250}; };
    ASSERT_FALSE(exportToCSV(std::span<const RootRef>(scan.scanState().roots()), options, false, capacity, csv));

    ScanViewModel m;
    m.selectRoot(t.path("data"), "data");
    m.startCSVImport(QString::fromStdString(csv), true);
    EXPECT_TRUE(m.lastScanWasCSVImport());
    EXPECT_EQ(m.rootLabel(), "[" + QString::fromStdString(csv) + "]");
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    ASSERT_EQ(m.scanState().roots().size(), 1u);
    EXPECT_EQ(m.scanState().roots()[0]->subFolderTotSize(), 30);
    EXPECT_EQ(m.totalCapacity(), 1000);
    EXPECT_EQ(m.availableCapacity(), 250);
    ASSERT_EQ(m.rootCapacities().size(), 1u);
    EXPECT_EQ(m.rootCapacities()[0].path.toStdString(), m.scanState().roots()[0]->name());

    // After an import the selection is gone: a scan starts nothing.
    m.startScan(std::nullopt, false, false);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::completed);

    const std::string broken = (t.root() / "broken.csv").string();
    std::ofstream(broken) << "\x01\x02 not a scan\n,,,\n";
    m.startCSVImport(QString::fromStdString(broken), false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::failed);
    EXPECT_EQ(std::get<ScanState::Failed>(m.scanState().value).message,
              "Could not import [" + QString::fromStdString(broken) + "]: No valid rows found");
    EXPECT_EQ(m.totalCapacity(), 1000);  // capacities untouched by a failure

    // A scan asked for while an import runs, with nothing selected, leaves the import alone.
    m.startCSVImport(QString::fromStdString(csv), false);
    m.startScan(std::nullopt, false, false);
    EXPECT_TRUE(m.lastScanWasCSVImport());
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::completed);

    // The import reads only once it was cancelled: on a busy machine its thread could otherwise
    // read the whole small file before the cancel is given, and rightly complete.
    m.setCSVImportFunction([](const std::string& path, const CSVImportProgressHandler& progress,
                              const CSVImportCancelQuery& cancelled) {
        while (!cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return importFromCSV(path, progress, cancelled);
    });
    m.startCSVImport(QString::fromStdString(csv), false);
    m.cancelScan();
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::cancelled);
    EXPECT_TRUE(m.lastScanAccessDeniedPaths().isEmpty());
}

TEST(ScanViewModel, FolderNamesThatAreNotUTF8ReachTheScannerAsTheirBytes) {
    qtTestApp();
    TempTree t;
    const std::string odd = "na\xEFve\xFF";
    t.file(odd + "/f", 11);
    ScanViewModel m;
    const QString path = qStringFromPathBytes((t.root() / odd).string());
    m.selectRoot(path, path);
    ASSERT_TRUE(m.totalCapacity().has_value());  // the volume query reached the folder too
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(m.scanState().roots()[0]->subFolderTotSize(), 11);
    EXPECT_EQ(m.scanState().roots()[0]->nameBytes(), (t.root() / odd).string());
}

namespace {

QString failureOf(const ScanViewModel& m) {
    return m.scanState().tag() == ScanState::Tag::failed ? std::get<ScanState::Failed>(m.scanState().value).message
                                                          : QString();
}

// A stand-in import that stays where a read on a mount that stopped answering would stay, deaf to
// the cancel, until the test opens the gate (or a minute passes).
struct StuckImport {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, open = false, ended = false;

    ScanViewModel::CSVImportFunction function(const std::shared_ptr<StuckImport>& self) {
        return [self](const std::string&, const CSVImportProgressHandler&, const CSVImportCancelQuery&) {
            std::unique_lock lock(self->mutex);
            self->entered = true;
            self->changed.notify_all();
            self->changed.wait_for(lock, std::chrono::minutes(1), [&] { return self->open; });
            self->ended = true;
            self->changed.notify_all();
            CSVImportOutcome outcome;
            outcome.error = CSVImportError{CSVImportError::Kind::couldNotReadFile, EIO};
            return outcome;
        };
    }
    template <typename Predicate>
    bool waitFor(Predicate predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), predicate);
    }
};

}  // namespace

// A FIFO used to block the import's open for good (Cancel did nothing, and closing the window then
// waited for it), /dev/zero grew memory until the program aborted: both now fail at once, and the
// message names the file and says why; so does a line past the bound.
TEST(ScanViewModel, AnImportOfWhatIsNotARegularFileFailsAtOnceSayingWhy) {
    qtTestApp();
    TempTree t;
    const std::string fifo = (t.root() / "fifo.csv").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = (t.root() / "zero.csv").string();
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const std::string sparse = (t.root() / "sparse.csv").string();
    std::ofstream(sparse).close();
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(CSVLineReader::kMaxLineBytes + (size_t(5) << 20))), 0);

    // Should the open block after all, a writer ends the wait after a while: a failure, not a hang.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::thread unblocker([&] {
        std::unique_lock lock(mutex);
        if (changed.wait_for(lock, std::chrono::seconds(10), [&] { return done; })) return;
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    const auto stopUnblocker = [&] {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        changed.notify_all();
        if (unblocker.joinable()) unblocker.join();
    };

    ScanViewModel m;
    const QString notRegular = QStringLiteral("Not a regular file (a device, pipe or socket)");
    for (const std::string& path : {fifo, zero}) {
        m.startCSVImport(QString::fromStdString(path), false);
        const bool ended = pumpUntil([&] { return finished(m); }, 20000);
        if (!ended) stopUnblocker();
        ASSERT_TRUE(ended) << path;
        EXPECT_EQ(failureOf(m), "Could not import [" + QString::fromStdString(path) + "]: " + notRegular);
    }
    stopUnblocker();
    // Some 200 MiB of zeros are looked through first: slow under the thread checker.
    m.startCSVImport(QString::fromStdString(sparse), false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }, 180000));
    EXPECT_EQ(failureOf(m), "Could not import [" + QString::fromStdString(sparse) + "]: A line is longer than 64 MiB");
}

// A run stuck where no cancel reaches it (in the kernel, on a mount that stopped answering) must not
// hold up the model as it goes, which is the window closing and the program quitting; it ends on
// its own later and reports to nobody.
TEST(ScanViewModel, GoingAwayDoesNotWaitForARunStuckInTheKernel) {
    qtTestApp();
    auto stuck = std::make_shared<StuckImport>();
    {
        ScanViewModel m;
        m.setCSVImportFunction(stuck->function(stuck));
        m.startCSVImport(QStringLiteral("/nowhere/stuck.csv"), false);
        ASSERT_TRUE(stuck->waitFor([&] { return stuck->entered; }));
        m.cancelScan();
    }
    {
        std::lock_guard lock(stuck->mutex);
        EXPECT_FALSE(stuck->ended) << "the model waited for its stuck run";
        stuck->open = true;
    }
    stuck->changed.notify_all();
    ASSERT_TRUE(stuck->waitFor([&] { return stuck->ended; }));
    // Its report finds nobody: nothing is delivered, nothing breaks.
    pumpUntil([] { return false; }, 200);
}

// Running out of memory on a run's thread used to end the program (std::bad_alloc left the
// thread): the run fails, saying why, and the model takes the next run.
TEST(ScanViewModel, ARunThatRunsOutOfMemoryFailsSayingWhy) {
    qtTestApp();
    TempTree t;
    t.file("f", 3);
    ScanViewModel m;
    m.setCSVImportFunction([](const std::string&, const CSVImportProgressHandler&,
                              const CSVImportCancelQuery&) -> CSVImportOutcome { throw std::bad_alloc(); });
    m.startCSVImport(QStringLiteral("/somewhere/big.csv"), false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(failureOf(m), "Could not import [/somewhere/big.csv]: " + QString::fromLocal8Bit(std::strerror(ENOMEM)));
    m.selectRoot(t.path(), "t");
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::completed);
}

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <zip.h>

#include <QMimeData>
#include <QThreadPool>

#include <cstring>
#include <map>

#include "ActionTestSupport.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "Platform/FileMoves.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"
#include "ZelvaneMac/Actions/ItemArchive.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::TempDir;
namespace fs = std::filesystem;

// A hostile tree, its scan, and a controller whose targets the test sets.
struct ActionBench {
    TempDir dir;
    RootRef root;
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    FileActionController actions{desktop, prompter};
    std::vector<FileNode*> selection;
    std::vector<std::vector<FileNode*>> reported;

    ActionBench() {
        qtWidgetApp();
        for (const auto& n : hostileNames()) writeText(dir / n, "content of " + n);
        writeText(dir / "-folder\xff" / "inner \"one\".txt", "inner");
        writeText(dir / "-folder\xff" / "deeper" / "two\n.txt", "two");
        fs::create_symlink("inner \"one\".txt", dir / "-folder\xff" / "link");
        root = fixtures::loadTreeFromDisk(dir.path());
        QObject::connect(&actions, &FileActionController::nodesDeleted,
                         [this](const NodesGone& gone) { reported.emplace_back(gone.list().begin(), gone.list().end()); });
    }
    FileNode* node(const std::string& name) { return child(root.get(), name); }
    std::vector<FileNode*> allFiles() {
        std::vector<FileNode*> out;
        for (const auto& n : hostileNames()) out.push_back(node(n));
        return out;
    }
};

std::map<std::string, std::string> zipEntries(const std::string& path) {
    std::map<std::string, std::string> out;
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
    if (!z) return out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, zip_uint64_t(i), ZIP_FL_ENC_RAW, &st);
        std::string content(size_t(st.size), '\0');
        if (zip_file_t* f = zip_fopen_index(z, zip_uint64_t(i), 0)) {
            zip_fread(f, content.data(), content.size());
            zip_fclose(f);
        }
        out[zip_get_name(z, zip_uint64_t(i), ZIP_FL_ENC_RAW)] = content;
    }
    zip_close(z);
    return out;
}

TEST(FileOperations, CompressWritesOneCompleteArchivePerItemAndNeverTakesAnotherName) {
    ActionBench b;
    writeText(b.dir / "a.txt", "A text");
    writeText(b.dir / "a.png", "A picture");
    writeText(b.dir / "a.zip", "an older archive");
    b.root = fixtures::loadTreeFromDisk(b.dir.path());
    auto before = snapshot(b.dir.path());

    // Two items with one stem get two archives; the existing a.zip is kept.
    b.selection = b.allFiles();
    b.selection.push_back(b.node("a.txt"));
    b.selection.push_back(b.node("a.png"));
    b.selection.push_back(b.node("-folder\xff"));
    b.actions.compress(b.selection);
    b.actions.waitForBackgroundWork();

    EXPECT_EQ(readText(b.dir / "a.zip"), "an older archive");
    EXPECT_EQ(zipEntries((b.dir / "a 2.zip").native()), (std::map<std::string, std::string>{{"a.txt", "A text"}}));
    EXPECT_EQ(zipEntries((b.dir / "a 3.zip").native()), (std::map<std::string, std::string>{{"a.png", "A picture"}}));
    for (const auto& n : hostileNames()) {
        std::string zip = (b.dir / (n.substr(0, n.rfind('.')) + ".zip")).native();
        EXPECT_EQ(zipEntries(zip), (std::map<std::string, std::string>{{n, "content of " + n}})) << n;
    }
    auto folder = zipEntries((b.dir / "-folder\xff.zip").native());
    EXPECT_EQ(folder.size(), 5u);
    EXPECT_EQ(folder["-folder\xff/inner \"one\".txt"], "inner");
    EXPECT_EQ(folder["-folder\xff/deeper/two\n.txt"], "two");
    EXPECT_EQ(folder["-folder\xff/link"], "inner \"one\".txt");  // stored as the link, not its target

    // Nothing else appeared or changed, and no temporary file is left.
    auto after = snapshot(b.dir.path());
    for (const auto& entry : before) EXPECT_TRUE(after.count(entry)) << entry;
    for (const auto& entry : after)
        if (!before.count(entry)) {
            EXPECT_NE(entry.find(".zip"), std::string::npos) << entry;
        }
    EXPECT_EQ(after.size(), before.size() + hostileNames().size() + 3);
    for (const auto& entry : after) EXPECT_NE(entry.rfind("/.", 0), 0u) << entry;
}

TEST(FileOperations, AFailedArchiveLeavesNothingBehind) {
    TempDir dir;
    writeText(dir / "f" / "readable.txt", "ok");
    // A folder that vanishes (or cannot be read) half-way: the archive is given up, not half made.
    MadeItem gone = compressToZip((dir / "missing").native(), "missing", "missing.zip");
    EXPECT_NE(gone.error, 0);
    fs::create_directories(dir / "f" / "fifo-dir");
    ASSERT_EQ(mkfifo((dir / "f" / "fifo-dir" / "pipe").c_str(), 0600), 0);
    MadeItem withPipe = compressToZip((dir / "f").native(), "f", "f.zip");
    EXPECT_EQ(withPipe.error, 0);  // a pipe is left out, never read (reading it would hang)
    EXPECT_EQ(zipEntries((dir / "f.zip").native()).count("f/fifo-dir/pipe"), 0u);
    fs::remove_all(dir / "f");

    // An unreadable file inside: no archive and no copy at all, and no temporary file. Root reads everything,
    // so this runs as an unprivileged user in a child.
    writeText(dir / "g" / "readable.txt", "yes");
    writeText(dir / "g" / "secret.txt", "no");
    chmod((dir / "g" / "secret.txt").c_str(), 0);
    chmod(dir.path().c_str(), 0777);
    chmod((dir / "g").c_str(), 0777);
    auto before = snapshot(dir.path());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        MadeItem refused = compressToZip((dir / "g").native(), "g", "g.zip");
        if (refused.error == 0) _exit(1);
        // A copy that cannot be completed is removed again.
        if (duplicateItem((dir / "g").native(), [](int) { return std::string("g copy"); }).error == 0) _exit(2);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop to an unprivileged user here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "an archive or copy with an unreadable file was reported as made";
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(FileOperations, DuplicateLinkAndTagTouchOnlyTheirItem) {
    ActionBench b;
    auto before = snapshot(b.dir.path());
    b.selection = b.allFiles();
    b.selection.push_back(b.node("-folder\xff"));
    b.actions.duplicate(b.selection);
    b.actions.waitForBackgroundWork();
    b.actions.duplicate(b.selection);
    b.actions.waitForBackgroundWork();
    for (const auto& n : hostileNames()) {
        auto dot = n.rfind('.');
        std::string stem = n.substr(0, dot), ext = n.substr(dot);
        EXPECT_EQ(readText(b.dir / (stem + " copy" + ext)), "content of " + n) << n;
        EXPECT_EQ(readText(b.dir / (stem + " copy 2" + ext)), "content of " + n) << n;
    }
    EXPECT_EQ(readText(b.dir / "-folder\xff copy" / "deeper" / "two\n.txt"), "two");
    EXPECT_EQ(fs::read_symlink(b.dir / "-folder\xff copy 2" / "link"), "inner \"one\".txt");

    b.actions.makeLink(b.selection);
    for (const auto& n : hostileNames()) {
        auto dot = n.rfind('.');
        fs::path link = b.dir / (n.substr(0, dot) + " alias" + n.substr(dot));
        ASSERT_TRUE(fs::is_symlink(link)) << n;
        EXPECT_EQ(readText(link), "content of " + n);
    }
    EXPECT_EQ(fs::read_symlink(b.dir / "-folder\xff alias"), "-folder\xff");
    // The originals are as they were.
    auto after = snapshot(b.dir.path());
    for (const auto& entry : before) EXPECT_TRUE(after.count(entry)) << entry;

    // Tags replace whatever the file had; "None" removes them; a link is never followed.
    std::string first = (b.dir / hostileNames()[0]).native();
    if (setxattr(first.c_str(), "user.xdg.tags", "Blue,Work", 9, 0) != 0)
        GTEST_SKIP() << "this file system keeps no user attributes";
    b.selection = b.allFiles();
    b.actions.setTag(b.selection, QStringLiteral("Red"));
    for (const auto& n : hostileNames())
        EXPECT_EQ(readTags((b.dir / n).native()), std::vector<std::string>{"Red"}) << n;
    EXPECT_TRUE(readTags((b.dir / "-folder\xff").native()).empty());
    EXPECT_TRUE(readTags((b.dir / "-folder\xff" / "inner \"one\".txt").native()).empty());
    b.selection = {child(b.node("-folder\xff"), "link")};
    b.actions.setTag(b.selection, QStringLiteral("Green"));
    EXPECT_TRUE(readTags((b.dir / "-folder\xff" / "inner \"one\".txt").native()).empty());
    b.selection = b.allFiles();
    b.actions.setTag(b.selection, QString());
    for (const auto& n : hostileNames()) EXPECT_TRUE(readTags((b.dir / n).native()).empty()) << n;
}

TEST(FileOperations, DeleteImmediatelyAsksRemovesReportsAndSkipsWhatIsGone) {
    ActionBench b;
    FileNode* folder = b.node("-folder\xff");
    FileNode* inner = child(folder, "inner \"one\".txt");
    FileNode* dash = b.node("-rf.txt");
    FileNode* newline = b.node("new\nline.txt");

    // Cancel: nothing happens.
    b.selection = {dash};
    b.actions.deleteImmediately(b.selection);
    b.actions.waitForBackgroundWork();
    EXPECT_EQ(b.prompter.messages(), std::vector<QString>{QStringLiteral("Permanently erase \"-rf.txt\"?")});
    EXPECT_EQ(b.prompter.asked[0].informativeText, QStringLiteral("You can't undo this action."));
    EXPECT_EQ(b.prompter.asked[0].buttons, (QStringList{"Delete Immediately", "Cancel"}));
    EXPECT_TRUE(pathExists(b.dir / "-rf.txt"));
    EXPECT_TRUE(b.reported.empty());

    // The question shows a line break in the name as a visible mark: the name cannot pass for
    // another one.
    b.prompter.asked.clear();
    b.selection = {newline};
    b.actions.deleteImmediately(b.selection);
    b.actions.waitForBackgroundWork();
    EXPECT_EQ(b.prompter.messages(), std::vector<QString>{QStringLiteral("Permanently erase \"new\u240Aline.txt\"?")});
    EXPECT_TRUE(pathExists(b.dir / "new\nline.txt"));

    // The folder and a file inside it count as one item; a file that is already gone is not
    // counted in the question, and is reported gone at once.
    fs::remove(b.dir / "new\nline.txt");
    b.prompter.asked.clear();
    b.prompter.answers = {true};
    b.selection = {folder, inner, dash, newline};
    b.actions.deleteImmediately(b.selection);
    b.actions.waitForBackgroundWork();
    EXPECT_EQ(b.prompter.messages(), std::vector<QString>{QStringLiteral("Permanently erase 2 items?")});
    EXPECT_FALSE(pathExists(b.dir / "-folder\xff"));
    EXPECT_FALSE(pathExists(b.dir / "-rf.txt"));
    ASSERT_EQ(b.reported.size(), 2u);
    EXPECT_EQ(b.reported[0], std::vector<FileNode*>{newline});
    EXPECT_EQ(b.reported[1], (std::vector<FileNode*>{folder, dash}));
    for (const auto& n : hostileNames())
        if (n != "-rf.txt" && n != "new\nline.txt") {
            EXPECT_TRUE(pathExists(b.dir / n)) << n;
        }

    // A node marked deleted whose path has a new file is never removed.
    dash->flagDeletedRecursively();
    writeText(b.dir / "-rf.txt", "a new file");
    b.prompter.asked.clear();
    b.selection = {dash};
    b.actions.deleteImmediately(b.selection);
    b.actions.waitForBackgroundWork();
    b.actions.moveToTrash(b.selection);
    b.actions.waitForBackgroundWork();
    EXPECT_TRUE(b.prompter.asked.empty());
    EXPECT_EQ(readText(b.dir / "-rf.txt"), "a new file");
}

// Delete Immediately checks and erases on the thread pool behind a panel: Cancel before the first
// file keeps everything and reports nothing; the controller going while it runs drops its report.
TEST(FileOperations, DeleteImmediatelyErasesInTheBackgroundAndStopsWhenCancelled) {
    qtWidgetApp();
    TempDir dir;
    for (int i = 0; i < 2000; ++i) writeText(dir / "many" / ("f" + std::to_string(i)), "x");
    writeText(dir / "one.txt", "1");
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    std::vector<std::vector<FileNode*>> reported;
    auto actions = std::make_unique<FileActionController>(desktop, prompter);
    QObject::connect(actions.get(), &FileActionController::nodesDeleted,
                     [&](const NodesGone& gone) { reported.emplace_back(gone.list().begin(), gone.list().end()); });
    const std::vector<FileNode*> both{child(root.get(), "many"), child(root.get(), "one.txt")};

    // The checks before the question read the disk behind a panel of their own; Cancel there asks
    // nothing.
    prompter.cancelPanelSaying = QStringLiteral("Reading what is on disk now\u2026");
    actions->deleteImmediately(both);
    actions->waitForBackgroundWork();
    EXPECT_EQ(prompter.panels, std::vector<QString>{prompter.cancelPanelSaying});
    EXPECT_TRUE(prompter.asked.empty());

    prompter.panels.clear();
    prompter.cancelPanelSaying = QStringLiteral("Deleting\u2026");
    prompter.answers = {true};
    actions->deleteImmediately(both);
    actions->waitForBackgroundWork();
    EXPECT_EQ(prompter.panels, (std::vector<QString>{QStringLiteral("Reading what is on disk now\u2026"), prompter.cancelPanelSaying}));
    EXPECT_EQ(prompter.asked.size(), 1u) << "what Cancel kept was told as a failure";
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(testsupport::namesIn(dir / "many").size(), 2000u);
    EXPECT_TRUE(pathExists(dir / "one.txt"));

    // Not cancelled: both go, reported once, in target order.
    prompter.cancelPanelSaying.clear();
    prompter.answers = {true};
    actions->deleteImmediately(both);
    actions->waitForBackgroundWork();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], both);
    EXPECT_FALSE(pathExists(dir / "many"));
    EXPECT_FALSE(pathExists(dir / "one.txt"));

    // The controller goes while the files go: nothing is reported to it afterwards.
    reported.clear();
    for (int i = 0; i < 2000; ++i) writeText(dir / "again" / ("f" + std::to_string(i)), "x");
    RootRef again = fixtures::loadTreeFromDisk(dir / "again");
    prompter.answers = {true};
    prompter.asked.clear();
    actions->deleteImmediately({again.get()});
    // Answered: the files are going.
    while (prompter.asked.empty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    actions.reset();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(reported.empty());
}

TEST(FileOperations, DesktopActionsPassExactPathsAndAskBeforeSixWindows) {
    ActionBench b;
    b.selection = b.allFiles();
    ASSERT_EQ(b.selection.size(), 7u);

    // Open asks nothing, however many.
    b.actions.open(b.selection);
    ASSERT_EQ(b.desktop.opened.size(), 7u);
    EXPECT_EQ(b.desktop.opened[0].toEncoded(), QByteArray("file://") + QByteArray::fromStdString(b.dir.path().native()).toPercentEncoding("/") + "/bad%FF%FE%20name.txt");
    EXPECT_TRUE(b.prompter.asked.empty());

    // Five windows open without asking; six ask, and "Cancel" opens nothing.
    b.selection.resize(5);
    b.actions.showInFileManager(b.selection);
    EXPECT_TRUE(b.prompter.asked.empty());
    ASSERT_EQ(b.desktop.shown.size(), 1u);
    EXPECT_EQ(b.desktop.shown[0].size(), 5);
    b.selection = b.allFiles();
    b.selection.resize(6);
    b.actions.showInFileManager(b.selection);
    b.actions.getInfo(b.selection);
    b.actions.newTerminal(b.selection);
    EXPECT_EQ(b.prompter.messages(), (std::vector<QString>{
        "You are about to open 6 File Manager windows - are you sure?",
        "You are about to open 6 Get Info windows - are you sure?",
        "You are about to open 6 Terminal windows - are you sure?"}));
    EXPECT_EQ(b.prompter.asked[0].buttons, (QStringList{"Open", "Cancel"}));
    EXPECT_EQ(b.desktop.shown.size(), 1u);
    EXPECT_TRUE(b.desktop.propertiesShown.empty());
    EXPECT_TRUE(b.desktop.started.empty());

    // A terminal per target, at the folder (the file's own folder for a file), byte-exact.
    FileNode* folder = b.node("-folder\xff");
    b.selection = {folder, child(folder, "inner \"one\".txt"), b.node("bad\xff\xfe name.txt")};
    b.actions.newTerminal(b.selection);
    ASSERT_EQ(b.desktop.started.size(), 3u);
    EXPECT_EQ(b.desktop.started[0].workingDirectory, (b.dir / "-folder\xff").native());
    EXPECT_EQ(b.desktop.started[1].workingDirectory, (b.dir / "-folder\xff").native());
    EXPECT_EQ(b.desktop.started[2].workingDirectory, b.dir.path().native());
    EXPECT_TRUE(b.desktop.started[0].arguments.empty());
    // Without a terminal nothing happens and nothing is shown.
    b.desktop.terminal.clear();
    b.desktop.started.clear();
    b.actions.newTerminal(b.selection);
    EXPECT_TRUE(b.desktop.started.empty());

    // New instances get the path as their one argument, bytes and leading dash as they are.
    b.selection = {b.node("-rf.txt"), b.node("bad\xff\xfe name.txt")};
    b.actions.launchNewInstance(b.selection);
    ASSERT_EQ(b.desktop.started.size(), 2u);
    EXPECT_EQ(b.desktop.started[0].arguments, std::vector<std::string>{(b.dir / "-rf.txt").native()});
    EXPECT_EQ(b.desktop.started[1].arguments, std::vector<std::string>{(b.dir / "bad\xff\xfe name.txt").native()});
    // A program that cannot be started is told once, with the reason, however many targets.
    b.desktop.started.clear();
    b.prompter.asked.clear();
    b.desktop.startError = ENOENT;
    b.actions.launchNewInstance(b.selection);
    b.desktop.startError = 0;
    EXPECT_TRUE(b.desktop.started.empty());
    EXPECT_EQ(b.prompter.messages(), std::vector<QString>{QStringLiteral("No new instance of ZelvaneMac could be started.")});
    ASSERT_EQ(b.prompter.asked.size(), 1u);
    EXPECT_EQ(b.prompter.asked[0].informativeText, "\"/opt/zelvane/ZelvaneMac\": " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    b.prompter.asked.clear();

    // Without a file manager on the bus, the containing folders open instead, once each.
    b.desktop.fileManagerAnswers = false;
    b.selection = {b.node("-rf.txt"), b.node("plain.txt"), child(folder, "inner \"one\".txt")};
    b.desktop.opened.clear();
    b.actions.showInFileManager(b.selection);
    ASSERT_EQ(b.desktop.opened.size(), 2u);
    EXPECT_EQ(b.desktop.opened[0], fileUrlFromPathBytes(b.dir.path().native()));
    EXPECT_EQ(b.desktop.opened[1], fileUrlFromPathBytes((b.dir / "-folder\xff").native()));

    // Copy: the URLs and the desktop's copied-files type; Copy Path: the paths, one per line.
    b.selection = {b.node("-rf.txt"), b.node("new\nline.txt")};
    b.actions.copy(b.selection);
    ASSERT_TRUE(b.desktop.clipboard);
    EXPECT_EQ(b.desktop.clipboard->urls().size(), 2);
    EXPECT_EQ(b.desktop.clipboard->urls()[1].toEncoded(), fileUrlFromPathBytes((b.dir / "new\nline.txt").native()).toEncoded());
    EXPECT_TRUE(b.desktop.clipboard->data("x-special/gnome-copied-files").startsWith("copy\nfile://"));
    b.actions.copyPath(b.selection);
    EXPECT_EQ(b.desktop.clipboard->text(),
              QString::fromStdString((b.dir / "-rf.txt").native() + "\n" + (b.dir / "new\nline.txt").native()));
    // No targets: the clipboard is left alone.
    b.selection.clear();
    b.actions.copyPath(b.selection);
    b.actions.copy(b.selection);
    EXPECT_EQ(b.desktop.clipboard->urls().size(), 0);
    EXPECT_TRUE(b.desktop.clipboard->hasText());
}

TEST(FileOperations, DetachedProgramsGetExactArgumentsAndFolderWithoutAShell) {
    qtWidgetApp();
    TempDir dir;
    fs::path folder = dir / "-work \"dir\"\xff\n";
    fs::create_directories(folder);
    // "touch" makes the files named by its arguments in its working folder; "$HOME" and ";" stay
    // literal because no shell reads them.
    ASSERT_EQ(startDetachedProcess("/usr/bin/touch", {"--", "made\xff", "$HOME;x"}, folder.native()), 0);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return pathExists(folder / "made\xff") && pathExists(folder / "$HOME;x"); }, 10000));
    EXPECT_EQ(startDetachedProcess("/usr/bin/touch", {"x"}, (dir / "missing").native()), ENOENT);
    EXPECT_EQ(startDetachedProcess((dir / "no-such-program").native(), {}, dir.path().native()), ENOENT);
    EXPECT_FALSE(pathExists(dir / "missing"));

    // A working folder deeper than any path the system takes at once (New Terminal at such a folder).
    {
        std::string deep = dir.path().native();
        const FileDescriptor top(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
        FileDescriptor at(::fcntl(top.get(), F_DUPFD_CLOEXEC, 0));
        for (int i = 0; i < 24; ++i) {
            const std::string level = std::string(180, 'd') + std::to_string(i);
            ASSERT_EQ(::mkdirat(at.get(), level.c_str(), 0755), 0);
            at.reset(::openat(at.get(), level.c_str(), O_RDONLY | O_DIRECTORY));
            deep += "/" + level;
        }
        ASSERT_GT(deep.size(), 4096u);
        EXPECT_EQ(startDetachedProcess("/usr/bin/touch", {"made deep"}, deep), 0);
        EXPECT_TRUE(pumpWidgetsUntil([&] {
            struct stat st {};
            return ::fstatat(at.get(), "made deep", &st, 0) == 0;
        }, 10000));
        EXPECT_EQ(removeTreeAt(top.get(), std::string(180, 'd') + "0").error, 0);
    }

    // The file system's root is never removed.
    EXPECT_EQ(removeItem("/").error, EPERM);
}

}  // namespace
}  // namespace zelvane

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <regex>

#include "ActionTestSupport.hpp"
#include "Platform/FileDescriptor.hpp"
#include "Platform/FreedesktopTrash.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Actions/FileOperations.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::TempDir;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    lstat(p.c_str(), &st);
    return st.st_mode & 07777;
}

TrashLookup lookUpTrash(const std::string& path, const TrashEnvironment& env) {
    ItemFacts facts;
    if (int err = readItemFacts(path, facts)) return {err, {}, {}};
    return locateTrash(path, facts, env);
}

TrashMoveResult trash(const std::string& path, const TrashLocation& location, std::time_t when) {
    ItemInFolder item;
    if (int err = openItemFolder(path, item)) return {err, false, {}};
    return moveToTrash(item, path, location, when);
}

// A small file system of its own in a folder, unmounted when the object goes.
class TmpfsMount final {
public:
    explicit TmpfsMount(const fs::path& at) : at_(at) {
        fs::create_directories(at);
        mounted_ = mount("tmpfs", at.c_str(), "tmpfs", 0, "size=8m,mode=0755") == 0;
    }
    ~TmpfsMount() { if (mounted_) umount2(at_.c_str(), MNT_DETACH); }
    bool mounted() const { return mounted_; }

private:
    fs::path at_;
    bool mounted_ = false;
};

TEST(Trash, HomeTrashIsMadePrivateAndRecordsEachItemWithoutOverwriting) {
    TempDir dir;
    TrashEnvironment env;
    env.homeTrash = (dir / "home" / ".local" / "share" / "Trash").native();
    env.uid = geteuid();
    for (const auto& n : hostileNames()) writeText(dir / "items" / n, "content of " + n);
    writeText(dir / "other" / "plain.txt", "second plain");

    TrashLookup lookup = lookUpTrash((dir / "items" / "plain.txt").native(), env);
    ASSERT_EQ(lookup.error, 0);
    EXPECT_EQ(lookup.location.trashDir, env.homeTrash);
    EXPECT_EQ(modeOf(env.homeTrash), 0700u);
    EXPECT_EQ(modeOf(env.homeTrash + "/files"), 0700u);
    EXPECT_EQ(modeOf(env.homeTrash + "/info"), 0700u);

    // 2026-01-02 03:04:05 local time.
    struct tm when {};
    when.tm_year = 126, when.tm_mon = 0, when.tm_mday = 2, when.tm_hour = 3, when.tm_min = 4, when.tm_sec = 5;
    when.tm_isdst = -1;
    std::time_t t = mktime(&when);
    for (const auto& n : hostileNames()) {
        TrashMoveResult moved = trash((dir / "items" / n).native(), lookup.location, t);
        ASSERT_EQ(moved.error, 0) << n;
        EXPECT_EQ(moved.trashedName, n);
        EXPECT_FALSE(pathExists(dir / "items" / n));
        EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / n), "content of " + n);
        EXPECT_EQ(readText(fs::path(env.homeTrash) / "info" / (n + ".trashinfo")),
                  "[Trash Info]\nPath=" + percentEncodePath((dir / "items" / n).native()) +
                      "\nDeletionDate=2026-01-02T03:04:05\n");
    }
    EXPECT_EQ(percentEncodePath("/a b/\xff\"%\n-x~._"), "/a%20b/%FF%22%25%0A-x~._");

    // A second item of the same name takes another name; the first stays as it was.
    TrashMoveResult second = trash((dir / "other" / "plain.txt").native(), lookup.location, t);
    ASSERT_EQ(second.error, 0);
    EXPECT_EQ(second.trashedName, "plain.txt.2");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / "plain.txt"), "content of plain.txt");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / "plain.txt.2"), "second plain");
    EXPECT_TRUE(pathExists(fs::path(env.homeTrash) / "info" / "plain.txt.2.trashinfo"));

    // A record left behind without its file still blocks its name; an item that cannot be moved
    // leaves no record.
    writeText(dir / "third" / "x.txt", "x");
    writeText(fs::path(env.homeTrash) / "info" / "x.txt.trashinfo", "stale");
    second = trash((dir / "third" / "x.txt").native(), lookup.location, t);
    ASSERT_EQ(second.error, 0);
    EXPECT_EQ(second.trashedName, "x.txt.2");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "info" / "x.txt.trashinfo"), "stale");
    EXPECT_NE(trash((dir / "third" / "missing").native(), lookup.location, t).error, 0);
    EXPECT_FALSE(pathExists(fs::path(env.homeTrash) / "info" / "missing.trashinfo"));
}

TEST(Trash, AnItemGoesToATrashThatHoldsItsNameAHundredThousandTimes) {
    TempDir dir;
    TrashEnvironment env;
    env.homeTrash = (dir / "Trash").native();
    env.uid = geteuid();
    writeText(dir / "items" / "index.js", "the latest");
    const TrashLookup lookup = lookUpTrash((dir / "items" / "index.js").native(), env);
    ASSERT_EQ(lookup.error, 0);
    // The records that years of trashed projects leave: every number up to 100,000 is taken.
    {
        const FileDescriptor info(::open((env.homeTrash + "/info").c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(info);
        for (int n = 1; n <= 100'000; ++n) {
            const std::string name = (n == 1 ? std::string("index.js") : "index.js." + std::to_string(n)) + ".trashinfo";
            ASSERT_TRUE(FileDescriptor(::openat(info.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)));
        }
    }
    const TrashMoveResult moved = trash((dir / "items" / "index.js").native(), lookup.location, 0);
    ASSERT_EQ(moved.error, 0);
    EXPECT_EQ(moved.trashedName, "index.js.100001");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / "index.js.100001"), "the latest");
    EXPECT_TRUE(pathExists(fs::path(env.homeTrash) / "info" / "index.js.100001.trashinfo"));
    EXPECT_FALSE(pathExists(dir / "items" / "index.js"));

    // A name free among taken ones is found as well, and an item already in files/ without a
    // record keeps its name.
    fs::remove(fs::path(env.homeTrash) / "info" / "index.js.5.trashinfo");
    writeText(fs::path(env.homeTrash) / "files" / "index.js.5", "left without a record");
    writeText(dir / "items" / "index.js", "another");
    const TrashMoveResult again = trash((dir / "items" / "index.js").native(), lookup.location, 0);
    ASSERT_EQ(again.error, 0);
    EXPECT_NE(again.trashedName, "index.js.5");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / "index.js.5"), "left without a record");
    EXPECT_EQ(readText(fs::path(env.homeTrash) / "files" / again.trashedName), "another");
}

TEST(Trash, ItemsOnAnotherFileSystemUseThatVolumesTrash) {
    TempDir dir;
    TmpfsMount volume(dir / "volume");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    TrashEnvironment env;
    env.homeTrash = (dir / "home" / "Trash").native();
    env.uid = geteuid();
    writeText(dir / "volume" / "sub" / "-dash\xff.txt", "on the volume");
    writeText(dir / "volume" / "sub" / "second.txt", "two");

    std::string item = (dir / "volume" / "sub" / "-dash\xff.txt").native();
    TrashLookup lookup = lookUpTrash(item, env);
    ASSERT_EQ(lookup.error, 0);
    std::string uid = std::to_string(env.uid);
    EXPECT_EQ(lookup.location.trashDir, (dir / "volume" / (".Trash-" + uid)).native());
    EXPECT_EQ(modeOf(lookup.location.trashDir), 0700u);
    ASSERT_EQ(trash(item, lookup.location, std::time(nullptr)).error, 0);
    std::string record = readText(fs::path(lookup.location.trashDir) / "info" / "-dash\xff.txt.trashinfo");
    // On another volume the record names the item relative to the volume's top.
    EXPECT_TRUE(record.starts_with("[Trash Info]\nPath=sub/-dash%FF.txt\nDeletionDate=")) << record;
    EXPECT_TRUE(std::regex_search(record, std::regex("DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")));
    EXPECT_FALSE(pathExists(dir / "home"));  // the home trash was not touched

    // A shared ".Trash" made by the administrator (sticky) is used through the user's folder.
    fs::create_directory(dir / "volume" / ".Trash");
    chmod((dir / "volume" / ".Trash").c_str(), 01777);
    lookup = lookUpTrash((dir / "volume" / "sub" / "second.txt").native(), env);
    ASSERT_EQ(lookup.error, 0);
    EXPECT_EQ(lookup.location.trashDir, (dir / "volume" / ".Trash" / uid).native());
    // Without the sticky bit it is not trusted.
    chmod((dir / "volume" / ".Trash").c_str(), 0777);
    lookup = lookUpTrash((dir / "volume" / "sub" / "second.txt").native(), env);
    EXPECT_EQ(lookup.location.trashDir, (dir / "volume" / (".Trash-" + uid)).native());
}

TEST(Trash, MoveToTrashAsksReportsAndOffersWhatCannotGoToTheTrash) {
    qtWidgetApp();
    TempDir dir;
    TmpfsMount volume(dir / "volume");
    if (!volume.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    // This volume cannot have a trash: its top already holds a file named like the trash folder.
    writeText(dir / "volume" / (".Trash-" + std::to_string(geteuid())), "not a folder");
    writeText(dir / "volume" / "n1.txt", "1");
    writeText(dir / "volume" / "n2 \"q\".txt", "2");
    for (const auto& n : {"a.txt", "b\xff.txt", "c\n.txt"}) writeText(dir / "tree" / n, n);
    RootRef tree = fixtures::loadTreeFromDisk(dir / "tree");
    RootRef vol = fixtures::loadTreeFromDisk(dir / "volume");

    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    FileActionController actions(desktop, prompter);
    TrashEnvironment env;
    env.homeTrash = (dir / "home" / "Trash").native();
    env.uid = geteuid();
    actions.setTrashEnvironment(env);
    std::vector<std::vector<FileNode*>> reported;
    QObject::connect(&actions, &FileActionController::nodesDeleted,
                     [&](const NodesGone& gone) { reported.emplace_back(gone.list().begin(), gone.list().end()); });
    std::vector<FileNode*> selection;
    FileNode* a = child(tree.get(), "a.txt");
    FileNode* b = child(tree.get(), "b\xff.txt");
    FileNode* c = child(tree.get(), "c\n.txt");
    FileNode* n1 = child(vol.get(), "n1.txt");
    FileNode* n2 = child(vol.get(), "n2 \"q\".txt");

    // Cancelled: nothing moves, and the items without a trash are still offered (and kept on Cancel).
    selection = {n1, a, b, n2, c};
    actions.moveToTrash(selection);
    actions.waitForBackgroundWork();
    ASSERT_EQ(prompter.asked.size(), 2u);
    EXPECT_EQ(prompter.asked[0].message, QStringLiteral("Move 3 items to the Trash?"));
    EXPECT_EQ(prompter.asked[0].informativeText, QStringLiteral("You can recover this from the Trash until it's emptied."));
    EXPECT_EQ(prompter.asked[0].buttons, (QStringList{"Move to Trash", "Cancel"}));
    EXPECT_EQ(prompter.asked[1].message, QStringLiteral("2 items can't be moved to the Trash."));
    EXPECT_EQ(prompter.asked[1].buttons, (QStringList{"Delete Immediately", "Cancel"}));
    EXPECT_TRUE(reported.empty());
    EXPECT_TRUE(pathExists(dir / "tree" / "a.txt"));
    EXPECT_TRUE(pathExists(dir / "volume" / "n1.txt"));

    // One item names it; moved items are reported in target order and land in the trash.
    prompter.asked.clear();
    prompter.answers = {true};
    selection = {b};
    actions.moveToTrash(selection);
    actions.waitForBackgroundWork();
    EXPECT_EQ(prompter.messages(), std::vector<QString>{QStringLiteral("Move \"b\uFFFD.txt\" to the Trash?")});
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], std::vector<FileNode*>{b});
    EXPECT_EQ(readText(dir / "home" / "Trash" / "files" / "b\xff.txt"), "b\xff.txt");

    // Both offers accepted: the trashable items go to the trash, the others are deleted.
    prompter.asked.clear();
    prompter.answers = {true, true};
    reported.clear();
    selection = {n1, c, a, n2};
    actions.moveToTrash(selection);
    actions.waitForBackgroundWork();
    EXPECT_EQ(prompter.messages(), (std::vector<QString>{"Move 2 items to the Trash?", "2 items can't be moved to the Trash."}));
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], (std::vector<FileNode*>{c, a}));
    EXPECT_EQ(reported[1], (std::vector<FileNode*>{n1, n2}));
    EXPECT_FALSE(pathExists(dir / "volume" / "n1.txt"));
    EXPECT_TRUE(pathExists(dir / "home" / "Trash" / "files" / "c\n.txt"));
    EXPECT_EQ(readText(dir / "volume" / (".Trash-" + std::to_string(geteuid()))), "not a folder");

    // One item that cannot go to the trash is named.
    writeText(dir / "volume" / "n3.txt", "3");
    RootRef vol2 = fixtures::loadTreeFromDisk(dir / "volume");
    prompter.asked.clear();
    selection = {child(vol2.get(), "n3.txt")};
    actions.moveToTrash(selection);
    actions.waitForBackgroundWork();
    EXPECT_EQ(prompter.messages(), std::vector<QString>{QStringLiteral("\"n3.txt\" can't be moved to the Trash.")});
    EXPECT_TRUE(pathExists(dir / "volume" / "n3.txt"));
}

TEST(Trash, RemovingAFolderNeverReachesIntoAFileSystemMountedBelowIt) {
    TempDir dir;
    writeText(dir / "folder" / "own.txt", "own");
    TmpfsMount inner(dir / "folder" / "mounted");
    if (!inner.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs CAP_SYS_ADMIN)";
    writeText(dir / "folder" / "mounted" / "other volume.txt", "keep");
    EXPECT_EQ(removeItem((dir / "folder").native()).error, EXDEV);
    EXPECT_EQ(readText(dir / "folder" / "mounted" / "other volume.txt"), "keep");
    EXPECT_EQ(readText(dir / "folder" / "own.txt"), "own");
    EXPECT_EQ(removeItem((dir / "folder" / "mounted").native()).error, EBUSY);
    EXPECT_EQ(readText(dir / "folder" / "mounted" / "other volume.txt"), "keep");
    EXPECT_EQ(removeItem((dir / "folder" / "own.txt").native()).error, 0);
    EXPECT_EQ(removeItem((dir / "folder" / "own.txt").native()).error, ENOENT);
}

}  // namespace
}  // namespace zelvane

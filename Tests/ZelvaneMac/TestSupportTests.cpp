#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QStandardItemModel>
#include <QThreadPool>
#include <filesystem>
#include <fstream>
#include <optional>

#include "FileContents.hpp"
#include "ModelTester.hpp"
#include "QtFileContents.hpp"
#include "QtTestApp.hpp"
#include "TempFolder.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane::testsupport;
namespace fs = std::filesystem;

namespace {

// A table whose cells name the wrong parent: the kind of fault the checker exists for.
class BrokenListModel final : public QStandardItemModel {
public:
    BrokenListModel() : QStandardItemModel(3, 1) {}
    QModelIndex parent(const QModelIndex& child) const override {
        return child.isValid() ? index(0, 0) : QModelIndex();
    }
};

}  // namespace

TEST(TestSupport, ModelTesterPassesASoundModelAndReportsABrokenOne) {
    qtTestApp();
    {
        QStandardItemModel sound(4, 2);
        ModelTester tester(&sound);
        sound.insertRow(1);
        sound.removeRows(0, 2);
        EXPECT_TRUE(tester.complaints().isEmpty());
    }
    BrokenListModel broken;
    EXPECT_NONFATAL_FAILURE({ ModelTester tester(&broken); }, "item model check");
}

TEST(TestSupport, TempFoldersGoWithEverythingInThem) {
    std::string kept;
    {
        TempFolder folder("zelvane-support", "/no/such/base");  // falls back to the temporary folder
        kept = folder.path();
        ASSERT_TRUE(fs::is_directory(kept));
        fs::create_directories(folder / "a/b/c");
        for (const std::string& name : hostileNames()) std::ofstream(folder / ("a/" + name)) << "x";
        fs::create_symlink("/", folder / "a/to-root");
        fs::create_symlink(folder / "a", folder / "a/b/loop");
        ASSERT_EQ(::chmod((folder / "a/b").c_str(), 0), 0);  // a folder nobody may enter
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "a"), fs::directory_iterator()),
                  std::ptrdiff_t(hostileNames().size() + 2));
    }
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_TRUE(fs::exists("/"));
    EXPECT_EQ(runInChild([] { return 7; }), 7);
    EXPECT_EQ(runUnprivileged([] { return ::geteuid() == 0 ? 1 : 0; }), 0);
}

// Every test's set-up writes through these: a file that could not be written must stop the test,
// not leave it checking an empty or stale file.
TEST(TestSupport, FilesAreWrittenWholeReadBackAsWrittenAndRefusedLoudly) {
    TempFolder folder("zelvane-support");
    const fs::path root = folder.fsPath();
    const char raw[] = "nul\0and \xff not UTF-8\n";
    const std::string bytes(raw, sizeof raw - 1);
    writeFile(root / "new/deep/file", bytes);  // folders on the way are made
    EXPECT_EQ(readFile(root / "new/deep/file"), bytes);
    writeFile(root / "new/deep/file", "short");  // replaced, not overwritten in place
    EXPECT_EQ(readFile(root / "new/deep/file"), "short");
    writeFile(root / "sized", int64_t(10000));
    EXPECT_EQ(fs::file_size(root / "sized"), 10000u);
    EXPECT_EQ(readFile(root / "sized"), std::string(10000, 'x'));
    writeFile(root / "empty", int64_t(0));
    EXPECT_TRUE(existsNoFollow(root / "empty"));
    EXPECT_EQ(readFile(root / "missing"), "");

    writeFile(root / "\xfe bytes", "q");
    writeFile(QString::fromStdString((root / "qt/name").string()), QByteArray("from Qt\0", 8));
    EXPECT_EQ(readFile(root / "qt/name"), std::string("from Qt\0", 8));
    EXPECT_EQ(readFile(QString::fromStdString((root / "sized").string())).size(), 10000);

    fs::create_symlink("nowhere", root / "dangling");
    EXPECT_TRUE(existsNoFollow(root / "dangling"));
    EXPECT_FALSE(fs::exists(root / "dangling"));
    setModified(root / "empty", 1700000000);
    struct stat st {};
    ASSERT_EQ(::stat((root / "empty").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
    EXPECT_EQ(namesIn(root), (std::vector<std::string>{"dangling", "empty", "new", "qt", "sized", "\xfe bytes"}));
    EXPECT_TRUE(namesIn(root / "missing").empty());

    // A path through a file, and a folder where the file should go, are refused.
    EXPECT_ANY_THROW(writeFile(root / "sized/inside", "x"));
    EXPECT_ANY_THROW(writeFile(root / "new", "x"));
    EXPECT_ANY_THROW(writeFile(QString::fromStdString((root / "new").string()), QByteArray("x")));
    EXPECT_ANY_THROW(setModified(root / "missing", 0));
}

// Trees laid out in one array per folder (as a scan lays them out) and trees built a child at a
// time are the same tree: same order, same totals.
TEST(TestSupport, TreesBuiltInOneGoOrAChildAtATimeAgree) {
    TreeBuilder oneGo;
    zelvane::FileNode* rootA = oneGo.root("/t");
    std::vector<zelvane::FileNode*> kids{oneGo.loose("b", true, 0, 0), oneGo.loose("a.txt", false, 5, 8)};
    oneGo.setChildren(rootA, kids);
    const std::vector<zelvane::FileNode*> inB{oneGo.loose("c", false, 7, 7)};
    oneGo.setChildren(kids[0], inB);
    const zelvane::RootRef a = oneGo.finish(rootA);

    TreeBuilder byChild;
    zelvane::FileNode* rootB = byChild.root("/t");
    byChild.file(byChild.folder(rootB, "b"), "c", 7);
    byChild.file(rootB, "a.txt", 5, 8);
    const zelvane::RootRef b = byChild.finish(rootB);

    auto shape = [](zelvane::FileNode* root) {
        std::vector<std::string> out;
        for (zelvane::FileNode* n : preOrder(root))
            out.push_back(n->fullPath() + " " + std::to_string(n->effectiveSize()));
        return out;
    };
    EXPECT_EQ(shape(a.get()), (std::vector<std::string>{"/t 12", "/t/b 7", "/t/b/c 7", "/t/a.txt 5"}));
    EXPECT_EQ(shape(a.get()), shape(b.get()));
    EXPECT_EQ(nodeAt(a.get(), "b/c"), inB[0]);
    EXPECT_EQ(inB[0]->parent(), kids[0]);
}

// A test that holds the pool's threads and returns early (a failed wait) used to leave its tasks
// spinning on a frame that was gone, and the next repetition found the pool still taken and hung.
// A hold lets its tasks go however it ends, and the pool comes back whole.
TEST(TestSupport, HeldPoolThreadsAreLetGoOnEveryWayOut) {
    qtTestApp();
    QThreadPool* pool = QThreadPool::globalInstance();
    std::optional<HeldPoolThreads> first(std::in_place);
    ASSERT_TRUE(first->waitUntilHeld());
    {
        HeldPoolThreads second;  // queued behind the first: never held while it lasts
        EXPECT_FALSE(second.waitUntilHeld(100));
        first.reset();
    }
    EXPECT_TRUE(pool->waitForDone(10000)) << "a task of a hold outlived it";
    HeldPoolThreads again;
    EXPECT_TRUE(again.waitUntilHeld()) << "the pool came back whole";
}

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "ActionTestSupport.hpp"
#include "Platform/FileDescriptor.hpp"
#include "Platform/ItemAccess.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"
#include "ZelvaneMac/Actions/ItemRemoval.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::TempDir;

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

// The name of every folder of a chain.
const std::string kLink(40, 'd');

// A chain of `levels` folders below `top`, a file every 50 levels and at the bottom a file, a link
// and a pipe; made a folder at a time, as its path outgrows what the system takes.
void makeChain(const std::string& top, int levels) {
    FileDescriptor at(open(top.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(mkdirat(at.get(), "chain", 0755), 0);
    at.reset(openat(at.get(), "chain", O_RDONLY | O_DIRECTORY));
    for (int i = 0; i < levels; ++i) {
        if (i % 50 == 0) {
            FileDescriptor f(openat(at.get(), "level.txt", O_WRONLY | O_CREAT, 0640));
            const std::string text = "level " + std::to_string(i);
            ASSERT_EQ(write(f.get(), text.data(), text.size()), ssize_t(text.size()));
        }
        ASSERT_EQ(mkdirat(at.get(), kLink.c_str(), 0755), 0);
        at.reset(openat(at.get(), kLink.c_str(), O_RDONLY | O_DIRECTORY));
    }
    FileDescriptor f(openat(at.get(), "bottom.txt", O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(write(f.get(), "bottom", 6), 6);
    ASSERT_EQ(symlinkat("bottom.txt", at.get(), "link"), 0);
    ASSERT_EQ(mkfifoat(at.get(), "pipe", 0600), 0);
    ASSERT_EQ(fchmod(at.get(), 0500), 0);  // the deepest folder read-only
}

std::string chainPath(const std::string& top, const std::string& name, int levels) {
    std::string path = top + "/" + name;
    for (int i = 0; i < levels; ++i) path += "/" + kLink;
    return path;
}

// A tree deeper than the walk keeps folders open for, and longer than one path the system takes:
// the walk goes back up through ".." and must come back to the very folders it left.
TEST(ItemCopy, ATreeDeeperThanAnyPathIsCopiedSurveyedAndRemovedWithFewDescriptors) {
    TempDir dir;
    constexpr int kLevels = 160;  // beyond 4,096 bytes, and beyond the folders a walk keeps open
    makeChain(dir.path().native(), kLevels);
    const std::string original = dir.path().native() + "/chain";
    const int descriptors = openDescriptors();

    const DiskSurvey before = surveyItem(original);
    ASSERT_EQ(before.error, 0);
    EXPECT_EQ(before.items, kLevels + (kLevels + 49) / 50 + 3);

    const MadeItem copy = duplicateItem(original, [](int n) { return n == 1 ? std::string("chain copy") : "chain copy " + std::to_string(n); });
    ASSERT_EQ(copy.error, 0) << copy.failedPath;
    EXPECT_EQ(copy.madePath, dir.path().native() + "/chain copy");
    const DiskSurvey after = surveyItem(copy.madePath);
    EXPECT_EQ(after.items, before.items);
    EXPECT_EQ(after.bytes, before.bytes);
    ItemFacts facts;
    ASSERT_EQ(readItemFacts(chainPath(dir.path().native(), "chain copy", kLevels) + "/pipe", facts), 0);
    EXPECT_TRUE(S_ISFIFO(facts.mode));
    ASSERT_EQ(readItemFacts(chainPath(dir.path().native(), "chain copy", kLevels), facts), 0);
    EXPECT_EQ(facts.mode & 07777, 0500u);
    ASSERT_EQ(readItemFacts(chainPath(dir.path().native(), "chain copy", kLevels) + "/bottom.txt", facts), 0);
    EXPECT_EQ(facts.mode & 07777, 0600u);
    EXPECT_EQ(facts.size, 6);
    FileDescriptor deepest;
    ASSERT_EQ(openFolderAt(AT_FDCWD, chainPath(dir.path().native(), "chain copy", 100), deepest), 0);
    char text[16] = {};
    FileDescriptor level(openat(deepest.get(), "level.txt", O_RDONLY));
    EXPECT_EQ(read(level.get(), text, sizeof text - 1), 9);
    EXPECT_STREQ(text, "level 100");
    deepest.reset();
    level.reset();

    // Removed to the last item, the read-only folder included (made writable first, as the
    // program does with its own half-made copies).
    FileDescriptor top(open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_EQ(removeTreeAt(top.get(), "chain copy", true).error, 0);
    EXPECT_FALSE(pathExists(dir / "chain copy"));
    EXPECT_EQ(removeTreeAt(top.get(), "chain", true).error, 0);
    EXPECT_FALSE(pathExists(dir / "chain"));
    EXPECT_EQ(openDescriptors(), descriptors + 1) << "descriptors were left open";
}

TEST(ItemCopy, ACancelledOrFailedCopyLeavesNothingAndNoCopyTakesATakenName) {
    TempDir dir;
    writeText(dir / "folder" / "a.txt", "a");
    writeText(dir / "folder" / "sub" / "b.txt", "b");
    writeText(dir / "folder copy", "an unrelated file with the first name");
    const auto names = [](int n) { return n == 1 ? std::string("folder copy") : "folder copy " + std::to_string(n); };
    std::atomic<bool> cancelled{true};
    const MadeItem stopped = duplicateItem((dir / "folder").native(), names, &cancelled);
    EXPECT_EQ(stopped.error, ECANCELED);
    const auto before = snapshot(dir.path());
    EXPECT_EQ(before.size(), 5u);  // folder, a.txt, sub, b.txt, "folder copy": nothing else

    cancelled = false;
    const MadeItem made = duplicateItem((dir / "folder").native(), names, &cancelled);
    ASSERT_EQ(made.error, 0);
    EXPECT_EQ(made.madePath, (dir / "folder copy 2").native());
    EXPECT_EQ(readText(dir / "folder copy"), "an unrelated file with the first name");
    EXPECT_EQ(readText(dir / "folder copy 2" / "sub" / "b.txt"), "b");

    // A socket cannot be copied: the whole copy is given up, and named.
    const std::string socketPath = (dir / "folder" / "sub" / "sock").native();
    ASSERT_EQ(mknod(socketPath.c_str(), S_IFSOCK | 0600, 0), 0);
    const MadeItem refused = duplicateItem((dir / "folder").native(), names);
    EXPECT_EQ(refused.error, ENOTSUP);
    EXPECT_EQ(refused.failedPath, "folder/sub/sock");
    EXPECT_FALSE(pathExists(dir / "folder copy 3"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().native().find(".partial-"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace zelvane

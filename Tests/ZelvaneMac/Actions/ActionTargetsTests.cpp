#include <gtest/gtest.h>

#include <fcntl.h>

#include "ActionTestSupport.hpp"
#include "Platform/FileDescriptor.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Actions/FileNaming.hpp"
#include "ZelvaneMac/Actions/TargetChecks.hpp"
#include "TreeBuilder.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::TempDir;
namespace fs = std::filesystem;

TEST(ActionTargets, GroupsStandForTheirFilesAndDeletedOrRelativeNodesNeverBecomeTargets) {
    TempDir dir;
    for (const char* n : {"a.txt", "b.txt", "c.txt", "d.txt"}) writeText(dir / "f" / n, n);
    writeText(dir / "f" / "sub" / "x.txt", "x");
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileNode* f = child(root.get(), "f");
    FileNode::Grouped grouped = f->groupedChildren(4);
    ASSERT_TRUE(grouped.group);
    FileNode* group = grouped.group.get();
    FileNode* a = child(f, "a.txt");
    FileNode* sub = child(f, "sub");
    FileNode* x = child(sub, "x.txt");

    // The group row expands to its four files; "a" selected on its own as well counts once.
    std::vector<FileNode*> selection{a, group, sub};
    auto targets = resolveActionTargets(selection);
    ASSERT_EQ(targets.size(), 5u);
    EXPECT_EQ(targets[0].node, a);
    EXPECT_EQ(targets[4].node, sub);
    for (const auto& t : targets) {
        EXPECT_FALSE(t.node->isSyntheticGroup());
        EXPECT_EQ(t.path.find('['), std::string::npos) << "a group's made-up path reached a target";
        EXPECT_EQ(t.path[0], '/');
    }
    EXPECT_EQ(countActionTargets(selection), 5u);

    // Removal drops what lies inside another target folder.
    std::vector<FileNode*> nested{x, sub};
    EXPECT_EQ(resolveActionTargets(nested, true).size(), 1u);
    EXPECT_EQ(resolveActionTargets(nested, false).size(), 2u);

    // Deleted nodes (and deleted subtrees) are skipped: another file may have their path now.
    sub->flagDeletedRecursively();
    std::vector<FileNode*> withDeleted{sub, x, a};
    targets = resolveActionTargets(withDeleted);
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].node, a);
    EXPECT_EQ(countActionTargets(withDeleted), 1u);

    // A tree whose root is not an absolute path (an export that named its items relative to a
    // folder it does not name) gives nothing to act on; its nodes are handed back to be told why.
    testsupport::TreeBuilder tree;
    FileNode* relRoot = tree.root("relative/folder");
    FileNode* file = tree.file(relRoot, "a.txt", 1);
    std::vector<FileNode*> relative{relRoot, file};
    EXPECT_TRUE(resolveActionTargets(relative).empty());
    std::vector<ActionTarget> withoutFullPath;
    EXPECT_TRUE(resolveActionTargets(relative, false, &withoutFullPath).empty());
    ASSERT_EQ(withoutFullPath.size(), 2u);
    EXPECT_EQ(withoutFullPath[1].node, file);
    EXPECT_EQ(withoutFullPath[1].displayName(), QStringLiteral("a.txt"));
    EXPECT_TRUE(withoutFullPath[1].path.empty());
    EXPECT_EQ(countActionTargets(relative), 2u);
}

TEST(FileNaming, ArchiveCopyAndLinkNamesSkipTakenAndReservedNames) {
    struct Case { std::string name, stem, extension; } cases[] = {
        {"photo.jpg", "photo", "jpg"}, {"a.tar.gz", "a.tar", "gz"}, {"README", "README", ""},
        {".bashrc", ".bashrc", ""},    {"notes.", "notes.", ""},     {"bad\xff.t\"xt", "bad\xff", "t\"xt"},
    };
    for (const auto& c : cases) {
        NameParts p = splitExtension(c.name);
        EXPECT_EQ(p.stem, c.stem) << c.name;
        EXPECT_EQ(p.extension, c.extension) << c.name;
    }
    EXPECT_EQ(archiveName("photo", 1), "photo.zip");
    EXPECT_EQ(archiveName("photo", 2), "photo 2.zip");
    EXPECT_EQ(siblingName({"report", "pdf"}, " copy", 1), "report copy.pdf");
    EXPECT_EQ(siblingName({"report", "pdf"}, " alias", 2), "report alias 2.pdf");
    EXPECT_EQ(siblingName({"README", ""}, " copy", 2), "README copy 2");

    TempDir dir;
    writeText(dir / "notes.zip", "");
    std::filesystem::create_directory(dir / "notes 2.zip");
    auto archive = [](int n) { return archiveName("notes", n); };
    FileDescriptor folder(open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_EQ(firstFreeName(folder.get(), archive), "notes 3.zip");
    EXPECT_EQ(firstFreeName(folder.get(), archive, {"notes 3.zip"}), "notes 4.zip");
    // A dangling link takes its name too.
    std::filesystem::create_symlink("nowhere", dir / "Docs copy");
    EXPECT_EQ(firstFreeName(folder.get(), [](int n) { return siblingName({"Docs", ""}, " copy", n); }), "Docs copy 2");
}

TEST(Rename, RenamesOnlyItsOwnItemAndRefusesRootsBadNamesAndExistingNames) {
    qtWidgetApp();
    TempDir dir;
    for (const auto& n : hostileNames()) writeText(dir / n, n);
    writeText(dir / "taken.txt", "keep me");
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    FileActionController actions(desktop, prompter);

    // Each hostile name is renamed, by its exact bytes, and nothing else changes.
    for (const auto& n : hostileNames()) {
        FileNode* node = child(root.get(), n);
        ASSERT_NE(node, nullptr) << n;
        auto before = snapshot(dir.path());
        QString newName = QStringLiteral("  renamed -%1\u00e9.txt \n").arg(int(&n - hostileNames().data()));
        ASSERT_TRUE(actions.performRename(node, newName)) << n;
        std::string expected = newName.trimmed().toStdString();
        EXPECT_FALSE(pathExists(dir / n));
        EXPECT_EQ(readText(dir / expected), n);
        EXPECT_EQ(node->nameBytes(), expected);
        EXPECT_EQ(snapshot(dir.path()).size(), before.size());
    }
    EXPECT_TRUE(prompter.asked.empty());

    // The same name (padded, or canonically equivalent) does nothing and asks nothing; a change of
    // case is a real rename.
    FileNode* plain = child(root.get(), "taken.txt");
    EXPECT_FALSE(actions.performRename(plain, QStringLiteral("  taken.txt  ")));
    EXPECT_TRUE(prompter.asked.empty());
    writeText(dir / "caf\xc3\xa9", "x");
    RootRef root2 = fixtures::loadTreeFromDisk(dir.path());
    EXPECT_FALSE(actions.performRename(child(root2.get(), "caf\xc3\xa9"), QStringLiteral("cafe\u0301")));
    EXPECT_TRUE(prompter.asked.empty());

    // Committing the shown name of a file whose bytes are not UTF-8 (shown with U+FFFD) keeps it.
    writeText(dir / "raw\xff.txt", "raw");
    RootRef root3 = fixtures::loadTreeFromDisk(dir.path());
    FileNode* raw = child(root3.get(), "raw\xff.txt");
    EXPECT_FALSE(actions.performRename(raw, QString::fromStdString(raw->name())));
    EXPECT_EQ(readText(dir / "raw\xff.txt"), "raw");
    EXPECT_TRUE(prompter.asked.empty());
    fs::remove(dir / "raw\xff.txt");

    // Refused with the alert, the file untouched: a root, bad names, and a name already taken
    // (rename would otherwise replace the other file silently).
    FileNode* victim = child(root2.get(), "caf\xc3\xa9");
    auto before = snapshot(dir.path());
    std::string rootName = root2->nameBytes();
    EXPECT_FALSE(actions.performRename(root2.get(), QStringLiteral("short")));
    EXPECT_EQ(root2->nameBytes(), rootName);
    for (QString bad : {QString(), QStringLiteral("   "), QStringLiteral("."), QStringLiteral(".."),
                        QStringLiteral("a/b"), QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                        QStringLiteral("taken.txt")})
        EXPECT_FALSE(actions.performRename(victim, bad)) << bad.toStdString();
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_EQ(readText(dir / "taken.txt"), "keep me");
    ASSERT_EQ(prompter.asked.size(), 8u);
    EXPECT_EQ(prompter.asked[0].message, QStringLiteral("Couldn't rename \"%1\"").arg(QString::fromStdString(root2->name())));
    EXPECT_EQ(prompter.asked[1].message, QStringLiteral("Couldn't rename \"caf\u00e9\""));
    EXPECT_EQ(prompter.asked[1].buttons, QStringList{QStringLiteral("OK")});

    // A deleted node is refused even though a file has its name again.
    victim->flagDeletedRecursively();
    EXPECT_FALSE(actions.performRename(victim, QStringLiteral("other")));
    EXPECT_TRUE(pathExists(dir / "caf\xc3\xa9"));
    EXPECT_FALSE(pathExists(dir / "other"));
}

// The rules of each kind of change, as one table: for each situation an item can be in, what each
// change does with it (acts on it, refuses it, takes it for gone, or first reads what the disk
// holds below it), checked on a real tree.
TEST(ChangeRules, EachKindOfChangeRefusesWhatItsRowSays) {
    TempDir dir;
    writeText(dir / "tree" / "file.txt", "f");
    writeText(dir / "tree" / "gone.txt", "g");
    writeText(dir / "tree" / "moved" / "x.txt", "x");
    writeText(dir / "tree" / "was a folder" / "y.txt", "y");
    writeText(dir / "elsewhere" / "x.txt", "not what the window showed");
    RootRef root = fixtures::loadTreeFromDisk(dir / "tree");
    ASSERT_EQ(::unlink((dir / "tree" / "gone.txt").c_str()), 0);
    fs::remove_all(dir / "tree" / "moved");
    fs::create_directory_symlink(dir / "elsewhere", dir / "tree" / "moved");
    fs::remove_all(dir / "tree" / "was a folder");
    writeText(dir / "tree" / "was a folder", "a file now");

    const auto targetOf = [](FileNode* node) { return resolveActionTargets(std::vector<FileNode*>{node}).at(0); };
    ActionTarget top;
    top.path = "/";
    top.givenName = QStringLiteral("/");
    top.isDir = true;
    ActionTarget implied = targetOf(child(root.get(), "moved"));
    implied.isImpliedFolder = true;
    implied.fromImport = true;
    ActionTarget imported = targetOf(child(child(root.get(), "moved"), "x.txt"));
    imported.fromImport = true;
    struct Situation {
        const char* name;
        ActionTarget target;
    };
    const Situation situations[] = {
        {"an ordinary file", targetOf(child(root.get(), "file.txt"))},
        {"the top folder", top},
        {"below a folder a link replaced", targetOf(child(child(root.get(), "moved"), "x.txt"))},
        {"a folder an import made up", implied},
        {"gone since the scan", targetOf(child(root.get(), "gone.txt"))},
        {"a folder row that is a file now", targetOf(child(root.get(), "was a folder"))},
        {"an imported row (no link check)", imported},
    };
    // k: kept, r: refused, v: vanished (gone, no failure), u: kept after reading the disk below it.
    const std::vector<std::pair<Change, std::string>> table = {
        // change            file top link implied gone folder->file import
        {Change::trash,     "k    r   r    r       v    u            k"},
        {Change::erase,     "k    r   r    r       v    u            k"},
        {Change::rename,    "k    r   r    r       k    k            k"},
        {Change::duplicate, "k    r   r    r       k    k            k"},
        {Change::compress,  "k    r   r    r       k    k            k"},
        {Change::link,      "k    r   r    r       k    k            k"},
        {Change::tags,      "k    r   r    r       k    k            k"},
        {Change::reach,     "k    k   k    k       k    k            k"},
    };
    for (const auto& [change, row] : table) {
        std::string expected;
        for (char c : row)
            if (c != ' ') expected += c;
        ASSERT_EQ(expected.size(), std::size(situations));
        EXPECT_EQ(rulesOf(change).change, change);
        for (size_t i = 0; i < std::size(situations); ++i) {
            std::vector<Failure> refused;
            DiskTotals disk;
            const CheckedTargets checked = checkTargets({situations[i].target}, change, refused, &disk);
            char got = '?';
            if (!refused.empty()) got = 'r';
            else if (!disk.vanished.empty()) got = 'v';
            else if (checked.kept.size() == 1) got = checked.unseen.empty() ? 'k' : 'u';
            EXPECT_EQ(got, expected[i]) << "change " << int(change) << ", " << situations[i].name;
            for (const Failure& f : refused) EXPECT_FALSE(f.reason.isEmpty());
        }
    }

    // Only the changes that erase drop what lies inside another of their items.
    FileNode* folder = child(root.get(), "was a folder");
    FileNode* inside = child(folder, "y.txt");
    for (const auto& [change, row] : table) {
        std::vector<Failure> refused;
        const auto items = resolveTargets(std::vector<FileNode*>{folder, inside}, change, refused);
        EXPECT_EQ(items.size(), rulesOf(change).erases ? 1u : 2u) << int(change);
    }
    // Copies are made as the window shows them exactly where that is the rule.
    EXPECT_TRUE(rulesOf(Change::duplicate).copiesAsShown && rulesOf(Change::compress).copiesAsShown);
    EXPECT_FALSE(rulesOf(Change::trash).copiesAsShown || rulesOf(Change::link).copiesAsShown);
}

}  // namespace
}  // namespace zelvane

// The Tree View tab's decisions without its widgets, on a real scanned folder: which parts of the
// tab each change of the window's state touches, the outline commands it keeps across a rescan,
// and what the panes are handed.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <utility>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/FileViewTabModel.hpp"
#include "ZelvaneMac/Window/TreeViewTabChanges.hpp"
#include "ZelvaneMac/Window/TreeViewTabModel.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/TweaksSettings.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
using Part = TreeViewTabChanges::Part;

VolumeInfo diskNamed(const QString& mountPoint) {
    VolumeInfo v;
    v.path = mountPoint;
    v.displayName = QStringLiteral("Disk");
    return v;
}

// A window's state with the tab's decisions, scanning a real folder; `touched` gathers the parts
// named since it was last cleared.
struct TabRig {
    QTemporaryDir prefsDir;
    Preferences prefs{prefsDir.filePath("prefs.plist")};
    TempDir dir;
    ContentViewState state{prefs, {}};
    TreeViewTabChanges changes{state.treeViewParts()};
    TreeViewTabModel model{state.treeViewParts(), changes};
    QObject outlineView, treemapView;
    unsigned touched = 0;

    TabRig() {
        qtWidgetApp();
        prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
        writeFile(dir / "docs/a.txt", 3000);
        writeFile(dir / "docs/sub/b.txt", 1000);
        writeFile(dir / "notes.md", 500);
        changes.setSelectionOrigins(&outlineView, &treemapView);
        QObject::connect(&changes, &TreeViewTabChanges::partsChanged, [this](unsigned parts) { touched |= parts; });
    }
    QString path() const { return QString::fromStdString(dir.path().string()); }
    // Scans the folder (again); returns when its new tree is shown.
    void scan() {
        const auto& shown = state.scanControl().effectiveRoots();
        const FileNode* before = shown.empty() ? nullptr : shown[0].get();
        state.viewModel().selectRoot(path(), path());
        state.scanControl().startScan();
        ASSERT_TRUE(pumpWidgetsUntil([this, before] {
            const auto& roots = state.scanControl().effectiveRoots();
            return state.viewModel().scanState().tag() == ScanState::Tag::completed && !roots.empty() && roots[0].get() != before;
        }));
    }
    FileNode* root() const { return state.scanControl().effectiveRoots().at(0).get(); }
    FileNode* child(FileNode* folder, std::string_view name) const {
        for (FileNode* c : folder->children())
            if (c->name() == name) return c;
        return nullptr;
    }
    unsigned take() { return std::exchange(touched, 0u); }
};

TEST(TreeViewTabChanges, EachChangeTouchesOnlyThePartsThatShowIt) {
    TabRig rig;
    rig.scan();
    EXPECT_EQ(rig.take() & Part::everyPart, unsigned(Part::everyPart)) << "new roots bring every part up to date";
    FileNode* docs = rig.child(rig.root(), "docs");
    ASSERT_TRUE(docs);

    struct Case {
        const char* what;
        std::function<void()> change;
        unsigned parts;
    };
    const Case cases[] = {
        {"the outline selects: only the treemap follows",
         [&] { rig.state.treeSelection().set({docs}, &rig.outlineView); }, Part::treemapPart},
        {"the treemap selects: only the outline follows",
         [&] { rig.state.treeSelection().set({rig.root()}, &rig.treemapView); }, Part::outlinePart},
        {"a command selects: both follow", [&] { rig.state.treeSelection().clear(); }, Part::outlinePart | Part::treemapPart},
        {"a zoom", [&] { rig.state.treemapZoom().setRoot(docs); }, Part::treemapPart | Part::stripPart},
        {"the same zoom again", [&] { rig.state.treemapZoom().setRoot(docs); }, 0},
        {"the byte units", [&] { rig.prefs.set(PreferenceKeys::byteUnitBase, int64_t(1024)); },
         Part::outlinePart | Part::typesPart | Part::treemapPart | Part::stripPart},
        {"the gradient", [&] { rig.prefs.set(PreferenceKeys::tweakGradientEnabled, false); }, Part::treemapPart},
        {"a preference no part shows", [&] { rig.prefs.set(PreferenceKeys::autoScanAfterSelection, false); }, 0},
        {"the Tweaks sheet's OK without a change", [&] { storeTweaks(rig.prefs, loadTweaks(rig.prefs)); }, 0},
        {"a decimal place more", [&] { rig.prefs.set(PreferenceKeys::tweakDecimalPlaces, int64_t(2)); },
         Part::outlinePart | Part::typesPart},
        {"the palette", [&] { rig.prefs.set(PreferenceKeys::treemapPaletteColorsJSON, QStringLiteral("[\"#112233\"]")); },
         Part::typesPart | Part::treemapPart},
        {"the file types pane", [&] { rig.state.panes().setShowFileTypes(!rig.state.panes().showFileTypes()); },
         Part::arrangementPart | Part::typesPart},
        {"the volumes", [&] { rig.state.volumeChoice().setVolumes({diskNamed(rig.path())}); },
         Part::outlinePart | Part::stripPart},
        {"an outline command", [&] { rig.state.commands().expandAll(); }, Part::outlinePart},
    };
    for (const Case& c : cases) {
        rig.take();
        c.change();
        EXPECT_EQ(rig.take(), c.parts) << c.what;
    }
}

TEST(TreeViewTabChanges, OutlineCommandsAreHandedOverOnceAndForgetNodesOfATreeThatWent) {
    TabRig rig;
    rig.scan();
    FileNode* docs = rig.child(rig.root(), "docs");
    FileNode* sub = rig.child(docs, "sub");
    rig.state.commands().expandTreeRows({rig.root(), docs}, {docs});
    rig.state.commands().renameInTreeView(sub);
    OutlineCommands taken = rig.changes.takeOutlineCommands();
    EXPECT_EQ(taken.expandFolders, (NodeList{rig.root(), docs}));
    EXPECT_EQ(taken.expandGroupsOf, NodeList{docs});
    EXPECT_TRUE(taken.rename);
    EXPECT_EQ(taken.renameTarget, sub);
    taken = rig.changes.takeOutlineCommands();
    EXPECT_TRUE(taken.expandFolders.empty() && !taken.rename) << "handed over once";

    // Commands still waiting when a rescan replaces the tree keep none of its nodes.
    rig.state.commands().expandTreeRows({docs}, {docs});
    rig.state.commands().renameInTreeView(sub);
    const FileNode* oldRoot = rig.root();
    rig.scan();
    ASSERT_NE(rig.root(), oldRoot);
    taken = rig.changes.takeOutlineCommands();
    EXPECT_TRUE(taken.expandFolders.empty());
    EXPECT_TRUE(taken.expandGroupsOf.empty());
    EXPECT_TRUE(taken.rename) << "the rename still ends";
    EXPECT_EQ(taken.renameTarget, nullptr);
}

TEST(TreeViewTabModel, PanesAreHandedTheShownTreeWithItsLabelsAndAZoomOnlyWhileItsTreeIsShown) {
    TabRig rig;
    EXPECT_EQ(rig.model.infoStripTexts(), QStringList{"Treemap"});
    EXPECT_FALSE(rig.model.treemapHasContent());
    EXPECT_FALSE(rig.model.arrangement().withTypes) << "no file types before a first result";
    rig.scan();
    EXPECT_EQ(rig.model.arrangement().withTypes, rig.state.panes().showFileTypes());
    EXPECT_TRUE(rig.model.treemapHasContent());

    // A root that is a volume's top is named with the volume; the outline is handed that label.
    rig.state.volumeChoice().setVolumes({diskNamed(rig.path())});
    const FileTreeOutlineInputs in = rig.model.outlineInputs();
    ASSERT_EQ(in.roots, NodeList{rig.root()});
    EXPECT_EQ(in.rootLabels, std::vector<QString>{rig.path() + " (Disk)"});
    EXPECT_EQ(rig.model.infoStripTexts().value(0), rig.path() + " (Disk)");

    FileNode* docs = rig.child(rig.root(), "docs");
    FileNode* sub = rig.child(docs, "sub");
    rig.state.treemapZoom().setRoot(sub);
    EXPECT_EQ(rig.model.treemapInputs().zoomedNode, sub);
    EXPECT_EQ(rig.model.zoomOutTarget(), docs);
    EXPECT_EQ(rig.model.infoStripTexts().value(0).toStdString(), sub->fullPath());
    rig.state.treemapZoom().setRoot(rig.root());
    EXPECT_EQ(rig.model.zoomOutTarget(), nullptr) << "nothing above a root";

    // A folder of a tree that is not shown is no zoom, though it is still set.
    RootRef other = fixtures::loadTreeFromDisk(rig.dir.path());
    rig.state.treemapZoom().setRoot(other.get());
    EXPECT_EQ(rig.model.validatedZoomNode(), nullptr);
    EXPECT_EQ(rig.model.treemapInputs().zoomedNode, nullptr);
    EXPECT_EQ(rig.model.infoStripTexts().value(0), rig.path() + " (Disk)");
    rig.state.treemapZoom().setRoot(nullptr);
}

// The File View tab's settings follow the preferences it reads, once per change of what it shows,
// and become the list's inputs.
TEST(FileViewTabModel, FollowsOnlyWhatTheListShowsAndHandsItToTheList) {
    TabRig rig;
    rig.scan();
    FileViewTabModel model(rig.prefs);
    QSignalSpy sent(&model.settingsWatch(), &SettingsWatch::changed);
    FileListInputs in = model.listInputs(rig.state.scanControl().effectiveRoots(), QStringLiteral("*.txt"), true);
    EXPECT_EQ(in.roots.size(), 1u);
    EXPECT_EQ(in.filterText, "*.txt");
    EXPECT_TRUE(in.isActive);
    EXPECT_EQ(in.maxFiles, 1000) << "the stored default, 1,000 rows";
    EXPECT_EQ(in.dupMethod, DuplicateMethod::nameSizeDate);
    EXPECT_TRUE(in.matchEntirePath);
    EXPECT_FALSE(in.includeFolders);

    const struct {
        const char* what;
        std::function<void()> change;
        int sends;
    } cases[] = {
        {"the Tweaks sheet's OK without a change", [&] { storeTweaks(rig.prefs, loadTweaks(rig.prefs)); }, 0},
        {"a setting only the Tree View shows", [&] { rig.prefs.set(PreferenceKeys::tweakGradientEnabled, false); }, 0},
        {"folders listed", [&] { rig.prefs.set(PreferenceKeys::fileIncludeFolders, true); }, 1},
        {"a cap that is no choice, read as 1,000", [&] { rig.prefs.set(PreferenceKeys::fileMaxFilesOption, QStringLiteral("all")); }, 0},
        {"every row", [&] { rig.prefs.set(PreferenceKeys::fileMaxFilesOption, QStringLiteral("ALL")); }, 1},
        {"a method that names none", [&] { rig.prefs.set(PreferenceKeys::fileDupMethod, int64_t(7)); }, 1},
        {"double clicks", [&] { rig.prefs.set(PreferenceKeys::tweakEnableDoubleClickOpen, false); }, 1},
        {"binary units", [&] { rig.prefs.set(PreferenceKeys::byteUnitBase, int64_t(1024)); }, 1},
    };
    for (const auto& c : cases) {
        sent.clear();
        c.change();
        EXPECT_EQ(sent.count(), c.sends) << c.what;
    }
    in = model.listInputs({}, {}, false);
    EXPECT_TRUE(in.includeFolders);
    EXPECT_EQ(in.maxFiles, std::nullopt);
    EXPECT_EQ(in.dupMethod, DuplicateMethod::none);
    EXPECT_EQ(in.byteUnitBase, ByteUnitBase::binary);
    EXPECT_FALSE(model.settings().enableDoubleClickOpen);
    EXPECT_EQ(model.settings(), FileViewTabSettings::of(rig.prefs));
}

}  // namespace
}  // namespace zelvane

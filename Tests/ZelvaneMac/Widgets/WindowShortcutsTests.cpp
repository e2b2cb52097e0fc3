// Real windows: Ctrl+C and Shift+F5 act on the window they were pressed in and leave a focused
// text field its own copy; a window opens on its remembered frame before its split lays out its
// panes; and each menu as the user sees it, grabbed to a picture.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <set>
#include <string>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Models/SplitPanePersistence.hpp"
#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ShownWindow.hpp"
#include "ScriptedUser.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "WindowParts.hpp"
#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowFrameKeeper.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using zelvane::testing::ScriptedUser;
using fixtures::writeFile;

QString grabPath(const char* name) {
    const QString dir = QDir::temp().filePath(QStringLiteral("zelvane-grabs"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QString::fromUtf8(name));
}

FileNode* scanAndPick(MainWindow& window, const TempDir& tree, const char* name) {
    const QString path = QString::fromStdString(tree.path().string());
    window.viewModel().selectRoot(path, path);
    window.scanControl().startScan();
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !window.scanControl().effectiveRoots().empty(); }));
    if (window.scanControl().effectiveRoots().empty()) return nullptr;
    for (FileNode* c : window.scanControl().effectiveRoots()[0]->children())
        if (c->name() == name) return c;
    return nullptr;
}

void activate(MainWindow& window) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

QList<QUrl> clipboardUrls() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data ? data->urls() : QList<QUrl>{};
}

// Two windows over two trees, each with its own selection.
struct TwoWindows {
    QApplication& app = qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs{dir.filePath("p.plist")};
    TempDir treeA, treeB;
    MainWindow first{prefs, {}}, second{prefs, {}};
    FileNode* pickedA = nullptr;
    FileNode* pickedB = nullptr;

    TwoWindows() {
        // No volume is picked on appearing: that would replace the scanned trees.
        first.setStartupHooks({});
        second.setStartupHooks({});
        writeFile(treeA / "alpha/a.txt", 10);
        writeFile(treeB / "beta/b.txt", 10);
        pickedA = scanAndPick(first, treeA, "alpha");
        pickedB = scanAndPick(second, treeB, "beta");
        first.treeSelection().set({pickedA});
        second.treeSelection().set({pickedB});
        first.show();
        second.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&first));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&second));
    }
};

TEST(WindowShortcuts, CopyActsOnTheWindowItWasPressedInAndYieldsToTextFields) {
    TwoWindows w;
    ASSERT_TRUE(w.pickedA && w.pickedB);
    const QUrl urlA = QUrl::fromLocalFile(QString::fromStdString(w.pickedA->fullPath()));
    const QUrl urlB = QUrl::fromLocalFile(QString::fromStdString(w.pickedB->fullPath()));

    // With both windows open, Ctrl+C copies the selection of the window it was pressed in.
    activate(w.second);
    QTest::keyClick(&w.second, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{urlB});
    activate(w.first);
    QTest::keyClick(&w.first, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{urlA});

    // The focused outline has no copy of its own: the window copies its selected files.
    QGuiApplication::clipboard()->clear();
    QWidget& outline = w.first.contentView()->treeViewTab()->outline()->outline();
    outline.setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline.hasFocus(); }));
    QTest::keyClick(&outline, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{urlA});

    // A focused text field copies its own selected text, whatever kind of field it is; the
    // window's selection stays off the clipboard.
    w.first.panes().setShowFilterPanel(true);
    FilterSyntaxTextField& include = w.first.contentView()->filterPanel()->includeField();
    auto* line = new QLineEdit(QStringLiteral("line text"), w.first.contentView()->statusBar());
    auto* spin = new QSpinBox(w.first.contentView()->statusBar());
    spin->setRange(0, 9999);
    spin->setValue(4321);
    line->show();
    spin->show();
    include.setPlainText(QStringLiteral("size>10MB"));
    include.selectAll();
    line->selectAll();
    spin->selectAll();
    const std::vector<std::pair<QWidget*, QString>> fields{{&include, "size>10MB"}, {line, "line text"}, {spin, "4321"}};
    for (const auto& [field, text] : fields) {
        QGuiApplication::clipboard()->clear();
        field->setFocus();
        ASSERT_TRUE(pumpWidgetsUntil([&] { return field->hasFocus(); }));
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
        EXPECT_TRUE(clipboardUrls().isEmpty());
    }
    // Delete and Shift+Delete edit the focused field; the selected folder stays where it is.
    for (QWidget* field : {static_cast<QWidget*>(&include), static_cast<QWidget*>(line)}) {
        field->setFocus();
        ASSERT_TRUE(pumpWidgetsUntil([&] { return field->hasFocus(); }));
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClick(field, Qt::Key_Delete, Qt::ShiftModifier);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(include.toPlainText().isEmpty());
    EXPECT_TRUE(line->text().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(w.pickedA->fullPath())));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The menu item copies the window's selection even with a field focused.
    w.first.menus().action(ZelvaneMenuAction::copy)->trigger();
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{urlA});
}

// Every file under `root`, in the order of their paths' bytes (the order the window copies them in).
std::vector<FileNode*> filesByPath(FileNode* root) {
    std::vector<FileNode*> files;
    std::vector<FileNode*> stack{root};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        if (!n->isDir()) files.push_back(n);
        for (FileNode* c : n->children()) stack.push_back(c);
    }
    std::sort(files.begin(), files.end(), [](FileNode* a, FileNode* b) { return a->pathBytes() < b->pathBytes(); });
    return files;
}

bool copyIdle() { return QApplication::overrideCursor() == nullptr; }

// A window over a tree of more files than a copy makes on the spot, odd names included.
struct ManyFilesWindow {
    QApplication& app = qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs{dir.filePath("p.plist")};
    TempDir tree;
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(prefs, CLIAutomation::Options{});
    std::vector<FileNode*> files;

    ManyFilesWindow() {
        window->setStartupHooks({});
        for (int f = 0; f < 12; ++f)
            for (int i = 0; i < 110; ++i)
                writeFile(tree / ("dir " + std::to_string(f)) / ("p#" + std::to_string(i) + " \xc3\xa9.jpg"), 1 + i);
        writeFile(tree / "bad\xff name.jpg", 3);
        EXPECT_TRUE(scanAndPick(*window, tree, "dir 0"));
        files = filesByPath(window->scanControl().effectiveRoots()[0].get());
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void selectAllFiles() { window->treeSelection().set(NodeSet(files.begin(), files.end())); }
    void copy() { window->menus().action(ZelvaneMenuAction::copy)->trigger(); }
};

TEST(WindowShortcuts, CopyOfManyFilesPutsTheirUrlsInPathOrderAndYieldsToANewerSelection) {
    ManyFilesWindow w;
    ASSERT_EQ(w.files.size(), 12u * 110u + 1u);
    QList<QUrl> expected;
    QByteArray copied = "copy";
    for (FileNode* f : w.files) {
        expected << fileUrlFromPathBytes(f->pathBytes());
        copied += "\n" + expected.back().toEncoded();
    }
    // The list of URLs is the same lines after "copy": ended by LF alone, which every reader of
    // the type takes as it takes CR LF.
    const QByteArray uriList = copied.mid(5);

    // The same URLs, in the same order, and the desktop's copied-files list, whether the copy is
    // made at once or in the background.
    QGuiApplication::clipboard()->clear();
    w.selectAllFiles();
    w.copy();
    ASSERT_TRUE(pumpWidgetsUntil([] { return !clipboardUrls().isEmpty(); }));
    EXPECT_TRUE(copyIdle());
    EXPECT_EQ(clipboardUrls(), expected);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->data(QStringLiteral("x-special/gnome-copied-files")), copied);
    // The types a paste can ask for, and the list of URLs as its type lays it out. A paste of text
    // gets the same list, from the same buffer: made anew by the platform for each such request,
    // ten million URLs held the window for twenty seconds and took gigabytes.
    EXPECT_EQ(data->formats(), (QStringList{QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files"),
                                            QStringLiteral("text/plain")}));
    EXPECT_EQ(data->data(QStringLiteral("text/uri-list")), uriList);
    EXPECT_EQ(data->data(QStringLiteral("text/plain")).constData(), data->data(QStringLiteral("text/uri-list")).constData());
    EXPECT_EQ(data->data(QStringLiteral("text/plain")), uriList);
    // Every paste of either type is handed the bytes laid out with the copy, not ones made anew:
    // both types share one buffer.
    const QByteArray once = data->data(QStringLiteral("text/uri-list"));
    const QByteArray again = data->data(QStringLiteral("text/uri-list"));
    EXPECT_EQ(once.constData(), again.constData());
    EXPECT_EQ(again, uriList);
    const QByteArray files = data->data(QStringLiteral("x-special/gnome-copied-files"));
    EXPECT_EQ(files, copied);
    EXPECT_EQ(files.constData(), data->data(QStringLiteral("x-special/gnome-copied-files")).constData());
    EXPECT_EQ(once.constData(), files.constData() + 5);
    EXPECT_EQ(clipboardUrls(), expected);

    // A copy still under way when the selection changes leaves the clipboard as it was.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    w.copy();
    w.window->treeSelection().set({w.files.front()});
    ASSERT_TRUE(pumpWidgetsUntil(copyIdle));
    QTest::qWait(50);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_TRUE(clipboardUrls().isEmpty());

    // A newer copy wins over one still under way, whichever ends first.
    w.selectAllFiles();
    w.copy();
    w.window->treeSelection().set({w.files.back()});
    w.copy();
    ASSERT_TRUE(pumpWidgetsUntil(copyIdle));
    QTest::qWait(50);
    EXPECT_EQ(clipboardUrls(), QList<QUrl>{expected.back()});
}

TEST(WindowShortcuts, CopyOrCopyPathBeyondWhatTheClipboardCarriesLeavesItAsItWasAndSaysSo) {
    ManyFilesWindow w;
    ScriptedUser user;
    QByteArray copied = "copy";
    for (FileNode* f : w.files) copied += "\n" + fileUrlFromPathBytes(f->pathBytes()).toEncoded();
    // The real limit is 2 GiB, which a paste of ten million files reaches; the window's copies are
    // given a lower one here.
    const QList<FileActionMenu*> menus = w.window->findChildren<FileActionMenu*>();
    ASSERT_FALSE(menus.isEmpty());
    const auto limitTo = [&](qsizetype bytes) {
        for (FileActionMenu* menu : menus) menu->actions().setClipboardLimit(bytes);
    };
    const auto act = [&](ZelvaneMenuAction action) {
        user.clear();
        w.window->menus().action(action)->trigger();
        return pumpWidgetsUntil(copyIdle) && pumpWidgetsUntil([&] { return !user.alerts.empty() || !QGuiApplication::clipboard()->text().startsWith(u"before"); }, 2000);
    };
    w.selectAllFiles();

    // One byte short: the clipboard keeps what it held, and the user is told why.
    limitTo(copied.size() - 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    ASSERT_TRUE(act(ZelvaneMenuAction::copy));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].text.startsWith(u"The clipboard carries at most")) << user.alerts[0].text.toStdString();

    // Exactly the limit goes on the clipboard whole.
    limitTo(copied.size());
    ASSERT_TRUE(act(ZelvaneMenuAction::copy));
    EXPECT_TRUE(user.alerts.empty());
    ASSERT_TRUE(QGuiApplication::clipboard()->mimeData());
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("x-special/gnome-copied-files")), copied);

    // Copy Path the same: its text, then one byte less.
    limitTo(copied.size());
    ASSERT_TRUE(act(ZelvaneMenuAction::copyPath));
    const QByteArray paths = QGuiApplication::clipboard()->text().toUtf8();
    ASSERT_GT(paths.size(), 1000);
    EXPECT_TRUE(user.alerts.empty());
    limitTo(paths.size() - 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    ASSERT_TRUE(act(ZelvaneMenuAction::copyPath));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].text.startsWith(u"The clipboard carries at most"));

    // Copy File and Size Info the same: one byte short, then its whole text.
    const QByteArray summary = clipboardSummaryText(w.window->exportContext()).toUtf8();
    ASSERT_GT(summary.size(), 1000);
    w.window->menus().setClipboardLimit(summary.size() - 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    ASSERT_TRUE(act(ZelvaneMenuAction::copyFileAndSizeInfo));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_TRUE(user.alerts[0].text.startsWith(u"The clipboard carries at most"));
    w.window->menus().setClipboardLimit(summary.size());
    ASSERT_TRUE(act(ZelvaneMenuAction::copyFileAndSizeInfo));
    EXPECT_TRUE(user.alerts.empty());
    EXPECT_EQ(QGuiApplication::clipboard()->text().toUtf8(), summary);
}

TEST(WindowShortcuts, RescanOrClosingTheWindowWhileACopyRunsLeavesTheClipboardAlone) {
    ManyFilesWindow w;
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    w.selectAllFiles();
    w.copy();
    // The rescan replaces the tree the copy reads: its result is dropped, nothing is read freed.
    QSignalSpy rescanned(&w.window->scanControl(), &ScanController::effectiveRootsChanged);
    w.window->scanControl().startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        const auto& roots = w.window->scanControl().effectiveRoots();
        return !rescanned.isEmpty() && !roots.empty() && copyIdle();
    }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

    w.files = filesByPath(w.window->scanControl().effectiveRoots()[0].get());
    w.selectAllFiles();
    w.copy();
    w.window.reset();
    ASSERT_TRUE(pumpWidgetsUntil(copyIdle));
    QTest::qWait(100);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

// The path a file URL names, its bytes as they are on disk.
std::string pathOfFileUrl(const QByteArray& line) {
    EXPECT_TRUE(line.startsWith("file:///")) << line.toStdString();
    return QByteArray::fromPercentEncoding(line.mid(7)).toStdString();
}

// Ctrl+C on every row of the File View, more rows than are copied on the spot, odd names among
// them: a program pasting either type reads back the very paths of the files, and bytes it was
// handed stay whole after a newer copy replaced these on the clipboard (a large paste over X11 is
// handed out in pieces after the request).
TEST(WindowShortcuts, FileViewCopyOfEveryRowGivesBothPasteTypesThePathsOfTheFiles) {
    TempDir tree;
    std::set<std::string> paths;
    for (int i = 0; i < 1'050; ++i) {
        writeFile(tree / ("d" + std::to_string(i % 4)) / ("f" + std::to_string(i) + ".dat"), 1);
        paths.insert((tree / ("d" + std::to_string(i % 4)) / ("f" + std::to_string(i) + ".dat")).native());
    }
    for (const char* odd : {"with space.txt", "100%25 %.txt", "new\nline.txt", "bad\xff\xfe name.txt", "#hash?&=.txt",
                            "sp ace %/in\r\nside.txt", "\xc3\xa9t\xc3\xa9.txt"}) {
        writeFile(tree / odd, 2);
        paths.insert((tree / odd).native());
    }
    fixtures::ShownWindow w({fixtures::qPath(tree.path())});
    ASSERT_TRUE(w.waitForResult());
    w.prefs().set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.pipeline().displayed().size() == paths.size(); }, 20000));
    list.outline().setFocus();
    QTest::keyClick(&list.outline(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(w.window().fileSelection().nodes().size(), paths.size());
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(&list.outline(), Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(pumpWidgetsUntil([] { return !clipboardUrls().isEmpty(); }, 20000));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    const QByteArray uriList = data->data(QStringLiteral("text/uri-list"));
    const QByteArray files = data->data(QStringLiteral("x-special/gnome-copied-files"));
    // The URL list: one URL a line, whatever ends the lines.
    std::set<std::string> fromUriList;
    for (const QByteArray& line : uriList.split('\n'))
        if (!line.trimmed().isEmpty()) fromUriList.insert(pathOfFileUrl(line.trimmed()));
    EXPECT_EQ(fromUriList, paths);
    // The file managers' list: "copy", then one URL a line.
    const QList<QByteArray> lines = files.split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.front(), "copy");
    std::set<std::string> fromFiles;
    for (qsizetype i = 1; i < lines.size(); ++i) fromFiles.insert(pathOfFileUrl(lines[i]));
    EXPECT_EQ(lines.size() - 1, qsizetype(paths.size()));
    EXPECT_EQ(fromFiles, paths);
    // As a program of this toolkit reads them.
    std::set<std::string> fromUrls;
    for (const QUrl& url : data->urls()) fromUrls.insert(pathOfFileUrl(url.toEncoded()));
    EXPECT_EQ(fromUrls, paths);

    // A newer copy replaces these; what was handed out stays as it was.
    const QByteArray uriListBefore(uriList.constData(), uriList.size());
    const QByteArray filesBefore(files.constData(), files.size());
    QGuiApplication::clipboard()->setText(QStringLiteral("newer"));
    ASSERT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("newer"));
    EXPECT_EQ(uriList, uriListBefore);
    EXPECT_EQ(files, filesBefore);
}

TEST(WindowShortcuts, FileAndSizeInfoOfManyFilesListsWhatTheTreeShowsAndYieldsToANewerSelection) {
    ManyFilesWindow w;
    FileNode* root = w.window->scanControl().effectiveRoots()[0].get();
    FileTreeOutlineView& view = *w.window->contentView()->treeViewTab()->outline();
    view.outline().expand(view.model().indexForNode(root));
    FileNode* open = nullptr;
    for (FileNode* c : root->children())
        if (c->name() == "dir 3") open = c;
    ASSERT_TRUE(open);
    view.outline().expand(view.model().indexForNode(open));
    ASSERT_TRUE(view.isNodeExpanded(open));
    // The row of its small files, open too.
    FileNode* group = view.model().syntheticGroupOf(open);
    ASSERT_TRUE(group);
    view.outline().expand(view.model().indexForNode(group));
    ASSERT_TRUE(view.isGroupExpanded(open));
    NodeSet chosen(w.files.begin(), w.files.end());
    chosen.insert(root);
    w.window->treeSelection().set(chosen);
    // What the window's own state lists at once, read while nothing changes: every file and the
    // root, then below the root its 13 rows, below "dir 3" its group row, below that its 110 files.
    const QString expected = clipboardSummaryText(w.window->exportContext());
    ASSERT_EQ(expected.count(u'\n'), qsizetype(w.files.size() + 1 + 13 + 1 + 110)) << qPrintable(expected.left(2000));
    const QStringList lines = expected.split(u'\n');
    const qsizetype at = lines.indexOf(QRegularExpression(".*/dir 3$"));
    ASSERT_GE(at, 0);
    EXPECT_TRUE(lines[at + 2].startsWith(QString(20, u' ').left(20 - 9) + "110 Bytes" + QString(8, u' ')))
        << qPrintable(lines[at + 2]);

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    w.window->menus().action(ZelvaneMenuAction::copyFileAndSizeInfo)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([] { return QGuiApplication::clipboard()->text() != QStringLiteral("before"); }));
    EXPECT_TRUE(copyIdle());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    // A program pasting it is handed the bytes the clipboard holds, not the text converted anew.
    const QMimeData* pasted = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(pasted->data(QStringLiteral("text/plain")).constData(), pasted->data(QStringLiteral("text/plain")).constData());

    // A listing still being made when the selection changes leaves the clipboard as it was.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    w.window->menus().action(ZelvaneMenuAction::copyFileAndSizeInfo)->trigger();
    w.window->treeSelection().set({w.files.front()});
    ASSERT_TRUE(pumpWidgetsUntil(copyIdle));
    QTest::qWait(50);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST(WindowShortcuts, ShiftF5AppliesTheFiltersOfItsOwnWindowFromAFilterField) {
    TwoWindows w;
    w.first.panes().setShowFilterPanel(true);
    w.second.panes().setShowFilterPanel(true);
    w.prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("name=a*"));
    FilterSyntaxTextField& field = w.first.contentView()->filterPanel()->includeField();
    activate(w.first);
    field.setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return field.hasFocus(); }));

    // Shift+Alt+F5 is not the shortcut.
    QTest::keyClick(&field, Qt::Key_F5, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(w.first.scanControl().filteredCopy().applied().includeText, QString());
    QTest::keyClick(&field, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(w.first.scanControl().filteredCopy().applied().includeText, "name=a*");
    EXPECT_EQ(w.second.scanControl().filteredCopy().applied().includeText, QString());

    // Control alongside does not change it; the other window applies only its own.
    w.prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("name=b*"));
    activate(w.second);
    QTest::keyClick(&w.second, Qt::Key_F5, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(w.second.scanControl().filteredCopy().applied().includeText, "name=b*");
    EXPECT_EQ(w.first.scanControl().filteredCopy().applied().includeText, "name=a*");
}

// Return presses Scan from the window's lists, but a focused one-line field takes it itself: the
// inline rename commits with it, and a field's own Return reaches the field.
TEST(WindowShortcuts, ReturnCommitsAnInlineRenameAndPressesScanOnlyOutsideTextFields) {
    TwoWindows w;
    w.prefs.set(PreferenceKeys::tweakEnableRename, true);
    activate(w.first);
    ContextMenuOutlineView& outline = w.first.contentView()->treeViewTab()->outline()->outline();
    w.first.menus().handleMenuAction(ZelvaneMenuAction::rename);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline.isRenaming(); }));
    QLineEdit* field = outline.renameField();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return field->hasFocus(); }));
    field->setText(QStringLiteral("renamed"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(outline.isRenaming());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString((w.treeA / "renamed").string())));
    EXPECT_FALSE(w.first.commands().isRenamingInline());

    auto* line = new QLineEdit(w.first.contentView()->statusBar());
    line->show();
    int returns = 0;
    QObject::connect(line, &QLineEdit::returnPressed, [&] { ++returns; });
    int scans = 0;
    QObject::connect(&w.first.viewModel(), &ScanViewModel::scanStateChanged, [&](const ScanState& s) {
        if (s.isScanning()) ++scans;
    });
    line->setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return line->hasFocus(); }));
    QTest::keyClick(line, Qt::Key_Return);
    QTest::keyClick(line, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(returns, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(scans, 0);

    // From the outline, Return scans again.
    outline.setFocus();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline.hasFocus(); }));
    QTest::keyClick(&outline, Qt::Key_Return);
    EXPECT_GE(scans, 1);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !w.first.viewModel().scanState().isScanning(); }));
}

TEST(WindowFrame, AWindowOpensOnItsRememberedFrameAndKeepsItsMovesPerArrangement) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    std::vector<ScreenArea> screens;
    for (const QScreen* s : QGuiApplication::screens()) screens.push_back({s->geometry(), s->availableGeometry(), s->devicePixelRatio()});
    const QString key = windowFrameKey(screens);
    {
        // Nothing stored: open at the default place; the first move is written once it settles.
        MainWindow window(prefs, {});
        window.frameKeeper().setSaveDelay(20);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(window.frameKeeper().hasRestored());
        EXPECT_FALSE(window.panes().awaitsWindowFrameRestore());
        window.resize(1100, 700);
        window.move(30, 40);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return prefs.stringValue(key) == QString("30,40,1100,700"); }));
        // A change not yet written is written when the window closes.
        window.frameKeeper().setSaveDelay(60000);
        window.resize(1110, 710);
        window.move(35, 45);
        QCoreApplication::processEvents();
        window.close();
        EXPECT_EQ(prefs.stringValue(key), QString("35,45,1110,710"));
    }
    {
        MainWindow window(prefs, {});
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.pos(), QPoint(35, 45));
        EXPECT_EQ(window.size(), QSize(1110, 710));
    }
    {
        // A frame off every screen is not applied.
        prefs.setObject(key, QStringLiteral("90000,90000,1100,700"));
        MainWindow window(prefs, {});
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_NE(window.pos(), QPoint(90000, 90000));
    }
}

TEST(WindowFrame, TheTreeSplitTakesItsStoredHeightOnlyOnceTheFrameIsRestored) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    fixtures::WindowParts parts(prefs);
    parts.panes().setShowTreemap(true);
    parts.panes().setAwaitsWindowFrameRestore(true);
    TreeViewTab tab(parts.treeViewParts(), parts.menuCommands());
    ASSERT_NE(tab.treeSplit(), nullptr);
    const QString name = tab.treeSplit()->fullName();
    prefs.setObject(splitPaneFramesKey(name), QVariantList{"0, 0, 900, 300", "0, 301, 900, 180"});

    // Shown at a first size while the window still settles: the panes wait.
    tab.resize(900, 500);
    tab.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tab));
    EXPECT_FALSE(tab.treeSplit()->hasAppliedInitialSizes());
    // The frame lands at another size, then the restore is announced: the stored bottom height
    // is applied to the final size.
    tab.resize(900, 760);
    QCoreApplication::processEvents();
    parts.panes().setAwaitsWindowFrameRestore(false);
    QCoreApplication::processEvents();
    ASSERT_TRUE(tab.treeSplit()->hasAppliedInitialSizes());
    EXPECT_EQ(tab.treeSplit()->sizes()[1], 180);
}

// The window with one menu open, drawn where the menu sits over it.
QImage grabWithMenu(MainWindow& window, QMenu* menu, QPoint at) {
    menu->popup(window.mapToGlobal(at));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(menu));
    QImage image = window.grab().toImage();
    QPainter painter(&image);
    painter.drawPixmap(menu->pos() - window.mapToGlobal(QPoint(0, 0)), menu->grab());
    return image;
}

TEST(MenuBar, EachMenuOpenOverTheWindow) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    TempDir tree;
    writeFile(tree / "docs/a.txt", 100);
    MainWindow window(prefs, {});
    window.setStartupHooks({});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    scanAndPick(window, tree, "docs");
    window.menus().refresh();
    QMenuBar* bar = window.menuBar();
    const QPoint fileAt = bar->actionGeometry(window.menus().fileMenu()->menuAction()).bottomLeft();
    const QPoint optionsAt = bar->actionGeometry(window.menus().optionsMenu()->menuAction()).bottomLeft();
    EXPECT_TRUE(grabWithMenu(window, window.menus().fileMenu(), fileAt).save(grabPath("menu-file.png")));
    window.menus().fileMenu()->hide();
    EXPECT_TRUE(grabWithMenu(window, window.menus().optionsMenu(), optionsAt).save(grabPath("menu-options.png")));
    QMenu* language = nullptr;
    for (QAction* a : window.menus().optionsMenu()->actions())
        if (a->menu()) language = a->menu();
    ASSERT_NE(language, nullptr);
    const QRect item = window.menus().optionsMenu()->actionGeometry(language->menuAction());
    const QPoint languageAt = window.mapFromGlobal(window.menus().optionsMenu()->mapToGlobal(item.topRight()));
    QImage image = grabWithMenu(window, window.menus().optionsMenu(), optionsAt);
    language->popup(window.mapToGlobal(languageAt));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(language));
    {
        QPainter painter(&image);
        painter.drawPixmap(language->pos() - window.mapToGlobal(QPoint(0, 0)), language->grab());
    }
    EXPECT_TRUE(image.save(grabPath("menu-language.png")));
    language->hide();
    window.menus().optionsMenu()->hide();
}

}  // namespace
}  // namespace zelvane

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "../Actions/ActionTestSupport.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using fixtures::TempDir;

QStringList titles(const QMenu& menu) {
    QStringList out;
    for (QAction* a : menu.actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

TEST(FileActionMenu, ItemsTitlesAndEnablingFollowTheTargets) {
    qtWidgetApp();
    TempDir dir;
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) writeText(dir / n, n);
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    std::vector<FileNode*> nodes(root->children().begin(), root->children().end());
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    QWidget owner;
    FileActionMenu menus(&owner, desktop, prompter);

    std::vector<FileNode*> current;
    std::unique_ptr<QMenu> menu(menus.makeContextMenu([&] { return current; }));
    std::unique_ptr<QMenu> other(menus.makeContextMenu([] { return std::vector<FileNode*>{}; }));
    EXPECT_NE(menu.get(), other.get());
    const QStringList expected = {
        "Open", "Show in File Manager", "-", "Move to Trash", "-", "Get Info", "Compress", "Duplicate", "Make Link",
        "Quick Look", "Copy", "Copy Path", "-", "Tags\u2026", "-", "New Terminal at Folder",
        "Export to .CSV file\u2026", "Zelvane", "-", "Zoom in Treemap", "Zoom out Treemap"};
    EXPECT_EQ(titles(*menu), expected);

    // The tags submenu: seven colours carrying their English names, a separator, "None".
    QMenu* tags = menu->actions()[13]->menu();
    ASSERT_NE(tags, nullptr);
    ASSERT_EQ(tags->actions().size(), 9);
    const char* colours[] = {"Red", "Orange", "Yellow", "Green", "Blue", "Purple", "Gray"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(tags->actions()[i]->data().toString(), QLatin1String(colours[i]));
        EXPECT_FALSE(tags->actions()[i]->icon().isNull());
    }
    EXPECT_TRUE(tags->actions()[7]->isSeparator());
    EXPECT_EQ(tags->actions()[8]->text(), QStringLiteral("None"));
    EXPECT_EQ(tags->actions()[8]->data().toString(), QString());

    // Appended items follow the same rule; no targets disables everything.
    menu->addSeparator();
    QAction* own = menu->addAction(QStringLiteral("Owner's item"));
    FileActionMenu::updateMenu(*menu, current);
    for (QAction* a : menu->actions()) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_EQ(menu->actions()[3]->text(), QStringLiteral("Move to Trash"));

    current = {nodes[0]};
    FileActionMenu::updateMenu(*menu, current);
    for (QAction* a : menu->actions()) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    EXPECT_EQ(menu->actions()[3]->text(), QStringLiteral("Move to Trash"));
    EXPECT_TRUE(own->isEnabled());

    current = nodes;
    FileActionMenu::updateMenu(*menu, current);
    EXPECT_EQ(menu->actions()[3]->text(), QStringLiteral("Move 3 Items to Trash"));
    // A deleted node is no target: the title counts what the action will really touch.
    nodes[1]->flagDeletedRecursively();
    FileActionMenu::updateMenu(*menu, current);
    EXPECT_EQ(menu->actions()[3]->text(), QStringLiteral("Move 2 Items to Trash"));
    // The other menu is independent and untouched.
    EXPECT_EQ(other->actions()[3]->text(), QStringLiteral("Move to Trash"));

    // The views' entry point: a menu for these nodes, with the owner's items, deleting itself.
    QMenu* shown = menus.popUp({nodes[0], nodes[2]}, QPoint(10, 10), [](QMenu& m) {
        m.addSeparator();
        m.addAction(QStringLiteral("Treemap item"));
    });
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shown->isVisible(); }));
    EXPECT_EQ(shown->actions()[3]->text(), QStringLiteral("Move 2 Items to Trash"));
    EXPECT_TRUE(shown->actions().back()->isEnabled());
    QImage picture = shown->grab().toImage();
    EXPECT_FALSE(picture.isNull());
    picture.save(QStringLiteral("file-action-menu.png"));
    shown->close();
}

TEST(FileActionMenu, QuickLookFillsThePreviewWindowInTargetOrder) {
    qtWidgetApp();
    TempDir dir;
    writeText(dir / "notes\xff.txt", "first line\nsecond line\n");
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString((dir / "picture.png").string())));
    writeText(dir / "data.bin", std::string("\x00\x01\x02 binary", 10));
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    QWidget owner;
    FileActionMenu menus(&owner, desktop, prompter);

    menus.quickLook({});
    EXPECT_EQ(menus.previewWindow(), nullptr);

    FileNode* text = child(root.get(), "notes\xff.txt");
    FileNode* picture = child(root.get(), "picture.png");
    FileNode* binary = child(root.get(), "data.bin");
    EXPECT_EQ(menus.actions().quickLook({text, picture, binary}),
              (std::vector<std::string>{(dir / "notes\xff.txt").native(), (dir / "picture.png").native(), (dir / "data.bin").native()}));
    menus.quickLook({text, picture, binary});
    PreviewWindow* window = menus.previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->itemCount(), 3);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->currentContent().kind, PreviewContent::Kind::text);
    EXPECT_EQ(window->currentContent().text, QStringLiteral("first line\nsecond line\n"));
    window->grab().save(QStringLiteral("preview-text.png"));

    window->showItem(1);
    EXPECT_EQ(window->currentContent().kind, PreviewContent::Kind::image);
    EXPECT_EQ(window->currentContent().image.size(), QSize(64, 32));
    window->showItem(2);
    EXPECT_EQ(window->currentContent().kind, PreviewContent::Kind::facts);
    EXPECT_EQ(window->currentContent().size, 10);
    window->grab().save(QStringLiteral("preview-facts.png"));

    // An empty Quick Look leaves the window as it was.
    menus.quickLook({});
    EXPECT_EQ(window->itemCount(), 3);
}

TEST(FileActionMenu, HooksOfAMenuThatIsGoneDoNothing) {
    qtWidgetApp();
    TempDir dir;
    writeText(dir / "a.txt", "a");
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileNode* file = child(root.get(), "a.txt");
    RecordingDesktop desktop;
    ScriptedPrompter prompter;
    QWidget owner;
    auto menus = std::make_unique<FileActionMenu>(&owner, desktop, prompter);
    const FileActionHooks hooks = fileActionHooks(*menus);

    std::unique_ptr<QMenu> menu(hooks.makeContextMenu(&owner, [file] { return std::vector<FileNode*>{file}; }));
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().front()->isEnabled());

    // A view may outlive its menu while the window closes; a late key or click must not reach it.
    menus.reset();
    EXPECT_EQ(hooks.makeContextMenu(&owner, [file] { return std::vector<FileNode*>{file}; }), nullptr);
    EXPECT_FALSE(hooks.rename(&owner, file, QStringLiteral("b.txt")));
    hooks.quickLook(&owner, {file});
    EXPECT_TRUE(std::filesystem::exists(dir / "a.txt"));
}

TEST(ActionAlertPrompter, ShowsNamesAsPlainTextAndOnlyTheFirstButtonProceeds) {
    qtWidgetApp();
    QWidget owner;
    ActionAlertPrompter prompter(&owner);
    AlertRequest alert{QStringLiteral("Move \"<b>bold</b> & \uFFFD\" to the Trash?"),
                       QStringLiteral("You can recover this from the Trash until it's emptied."),
                       {QStringLiteral("Move to Trash"), QStringLiteral("Cancel")}};
    QStringList seen;
    auto answer = [&](const QString& button) {
        QTimer::singleShot(0, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QLabel* l : box->findChildren<QLabel*>())
                if (!l->text().isEmpty()) seen << QString::number(int(l->textFormat())) + l->text();
            if (button == QLatin1String("grab")) {
                box->grab().save(QStringLiteral("file-action-alert.png"));
                box->reject();
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == button) b->click();
        });
    };
    answer(QStringLiteral("Move to Trash"));
    EXPECT_TRUE(prompter.ask(alert));
    EXPECT_TRUE(seen.contains(QString::number(int(Qt::PlainText)) + alert.message));
    answer(QStringLiteral("Cancel"));
    EXPECT_FALSE(prompter.ask(alert));
    answer(QStringLiteral("grab"));  // closed with Escape
    EXPECT_FALSE(prompter.ask(alert));
}

}  // namespace
}  // namespace zelvane

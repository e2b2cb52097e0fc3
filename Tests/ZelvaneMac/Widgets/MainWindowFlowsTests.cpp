// Real main windows driven as a user drives them, on folders scanned from disk: the multi-root
// sheet from the keyboard, the File View's order across a restart, the search history's entries,
// the treemap picture's sizes and the maker the window names.

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>

#include <memory>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/AboutPage.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/BrandingPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TabStrip.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

QString q(const TempDir& dir) { return QString::fromStdString(dir.path().string()); }

std::unique_ptr<MainWindow> openWindow(Preferences& preferences) {
    qtWidgetApp();
    auto window = std::make_unique<MainWindow>(preferences, CLIAutomation::Options{});
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // The appearance steps (volumes, the stored tab) run on the next turn of the event loop.
    pumpWidgetsUntil([&] { return window->startup().hasRun() && !window->controller().isRestoringSelectedTab(); }, 5000);
    return window;
}

void scan(MainWindow& window, const QString& path) {
    window.scanControl().scanChosenFolder(path);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return window.viewModel().scanState().tag() == ScanState::Tag::completed &&
               !window.scanControl().effectiveRoots().empty();
    }));
}

// The multi-root sheet, opened from the menu; null when it did not show.
SelectMultipleDialog* openSelectMultiple(MainWindow& window) {
    window.menus().action(ZelvaneMenuAction::selectMultiple)->trigger();
    SelectMultipleDialog* sheet = nullptr;
    pumpWidgetsUntil([&] {
        sheet = window.findChild<SelectMultipleDialog*>();
        return sheet && sheet->isVisible();
    });
    return sheet && sheet->isVisible() ? sheet : nullptr;
}

QMessageBox* visibleBox(QWidget& window) {
    for (QMessageBox* box : window.findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

TEST(SelectMultipleSheet, TheKeyboardMovesTheHighlightTheButtonsActOnAndSpaceTicks) {
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    TempDir a, b, c;
    writeFile(a / "one.txt", 1000);
    writeFile(b / "two.txt", 2000);
    writeFile(c / "three/four.txt", 3000);
    prefs.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {q(a), q(b), q(c)});
    auto window = openWindow(prefs);

    SelectMultipleDialog* sheet = openSelectMultiple(*window);
    ASSERT_TRUE(sheet);
    QListWidget* list = sheet->list();
    const auto rowOf = [&](const QString& id) {
        const auto& items = sheet->selection().items();
        for (int i = 0; i < items.size(); ++i)
            if (items[i].id == id) return i;
        return -1;
    };
    const auto checked = [&](const QString& id) { return sheet->selection().items()[rowOf(id)].isChecked; };
    ASSERT_GE(rowOf(q(a)), 0);
    ASSERT_EQ(rowOf(q(b)), rowOf(q(a)) + 1);

    // A click highlights and ticks; the arrow key moves the highlight only.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(rowOf(q(a)))).center());
    EXPECT_TRUE(checked(q(a)));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->currentRow(), rowOf(q(b)));
    EXPECT_FALSE(checked(q(b)));
    auto* remove = sheet->findChildren<QPushButton*>().at(1);
    ASSERT_EQ(remove->text(), "Remove Folder");
    EXPECT_TRUE(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(rowOf(q(b)), -1) << "the highlighted folder goes";
    EXPECT_GE(rowOf(q(a)), 0) << "not the one clicked earlier";

    // Space ticks the highlighted row; Return confirms and the two folders are scanned.
    // Nothing is highlighted after the removal: the first End highlights the first row, as in
    // any list, the second the last.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    QTest::keyClick(list, Qt::Key_End);
    ASSERT_EQ(list->currentRow(), rowOf(q(c)));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(checked(q(c)));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(checked(q(c)));
    QTest::keyClick(list, Qt::Key_Space);
    // Ctrl+Space takes the highlight away in a list: then nothing is highlighted to remove.
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_GE(rowOf(q(c)), 0);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return window->viewModel().scanState().tag() == ScanState::Tag::completed &&
               window->scanControl().effectiveRoots().size() == 2;
    }));
    QStringList scanned;
    for (const RootRef& root : window->scanControl().effectiveRoots())
        scanned << QString::fromStdString(root->fullPath());
    EXPECT_EQ(scanned, (QStringList{q(a), q(c)}));
    EXPECT_EQ(prefs.stringList(PreferenceKeys::selectMultipleCustomFoldersJSON), (QStringList{q(a), q(c)}));
}

// The refusal of two folders one inside the other names them as they are, even where their names
// look like markup.
TEST(SelectMultipleSheet, TheOverlapAlertNamesTheFoldersAsWritten) {
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    TempDir a;
    writeFile(a / "<h1>Outer/<b>Inner/f.txt", 10);
    const QString outer = q(a) + "/<h1>Outer", inner = outer + "/<b>Inner";
    prefs.setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {outer, inner});
    auto window = openWindow(prefs);

    SelectMultipleDialog* sheet = openSelectMultiple(*window);
    ASSERT_TRUE(sheet);
    QListWidget* list = sheet->list();
    list->setFocus();
    const auto& items = sheet->selection().items();
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].id != outer && items[i].id != inner) continue;
        list->setCurrentRow(i);
        QTest::keyClick(list, Qt::Key_Space);
    }
    QTest::keyClick(list, Qt::Key_Return);
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (alert = visibleBox(*sheet)) != nullptr; }));
    const auto* label = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_TRUE(label);
    const bool drawnAsMarkup = label->textFormat() == Qt::RichText ||
                               (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    const QString shown = drawnAsMarkup ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
    EXPECT_EQ(shown, "\"" + inner + "\"\nis included within\n\"" + outer + "\"\n\nThey cannot both be selected.");
    alert->buttons().first()->click();
}

TEST(FileView, TheOrderChosenByAHeaderClickIsKeptForTheNextRun) {
    QTemporaryDir prefsDir;
    const QString file = prefsDir.filePath("prefs.plist");
    TempDir tree;
    writeFile(tree / "b-middle.dat", 20000);
    writeFile(tree / "c-small.dat", 1000);
    writeFile(tree / "a-large.dat", 90000);
    const auto names = [](MainWindow& w) {
        QStringList out;
        for (const FileNode* n : w.contentView()->fileViewTab()->fileList().pipeline().displayed())
            out << QString::fromStdString(std::string(n->name()));
        return out;
    };
    const auto showFileView = [&](MainWindow& w) {
        QTest::mouseClick(w.contentView()->tabStrip()->button(ContentTab::fileView), Qt::LeftButton);
        scan(w, q(tree));
        return pumpWidgetsUntil([&] { return names(w).size() == 3; });
    };
    {
        Preferences prefs(file);
        auto window = openWindow(prefs);
        ASSERT_TRUE(showFileView(*window));
        EXPECT_EQ(names(*window), (QStringList{"a-large.dat", "b-middle.dat", "c-small.dat"})) << "largest first";
        QHeaderView* header = window->contentView()->fileViewTab()->fileList().outline().header();
        const int x = header->sectionViewportPosition(FileListModel::nameColumn) +
                      header->sectionSize(FileListModel::nameColumn) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        ASSERT_TRUE(pumpWidgetsUntil([&] { return names(*window).front() == "c-small.dat"; }));
        window.reset();
        ASSERT_EQ(prefs.synchronize(), QString());
    }
    // The next run reads the settings from disk, as a new process would.
    Preferences prefs(file);
    auto window = openWindow(prefs);
    ASSERT_TRUE(showFileView(*window));
    EXPECT_EQ(names(*window), (QStringList{"c-small.dat", "b-middle.dat", "a-large.dat"}));
    const QHeaderView* header = window->contentView()->fileViewTab()->fileList().outline().header();
    EXPECT_EQ(header->sortIndicatorSection(), int(FileListModel::nameColumn));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST(FilterHistory, AnEntryWithAnAmpersandReadsAsItWasTyped) {
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    auto window = openWindow(prefs);
    QTest::mouseClick(window->contentView()->tabStrip()->button(ContentTab::fileView), Qt::LeftButton);
    FileViewTab* tab = window->contentView()->fileViewTab();
    FilterSyntaxTextField& field = tab->searchField();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return field.hasFocus(); })) << "the tab gives the field the focus";
    QTest::keyClicks(&field, "name&co");
    QTest::keyClick(&field, Qt::Key_Tab);  // leaving the field records the search

    QTest::mouseClick(&tab->historyMenu(), Qt::LeftButton);
    QMenu* menu = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        for (QMenu* m : tab->historyMenu().findChildren<QMenu*>())
            if (m->isVisible()) menu = m;
        return menu != nullptr;
    }));
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 3) << "the entry, a separator and Clear";
    EXPECT_TRUE(QKeySequence::mnemonic(entries[0]->text()).isEmpty()) << "no letter taken for a shortcut";
    EXPECT_EQ(entries[0]->text().replace("&&", "&"), "name&co") << "every character is shown";
    EXPECT_TRUE(menu->grab().save(grabPath("search-history-menu.png")));
    entries[0]->trigger();
    EXPECT_EQ(field.text(), "name&co");
    menu->close();

    // A pasted tab shows as its mark: in a menu it would start the shortcut's column.
    field.setFocus();
    field.selectAll();
    QGuiApplication::clipboard()->setText(QStringLiteral("left\tright"));
    field.paste();
    QTest::keyClick(&field, Qt::Key_Tab);
    QTest::mouseClick(&tab->historyMenu(), Qt::LeftButton);
    menu = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        for (QMenu* m : tab->historyMenu().findChildren<QMenu*>())
            if (m->isVisible()) menu = m;
        return menu != nullptr;
    }));
    ASSERT_GE(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("left\u2409right"));
    menu->actions()[0]->trigger();
    EXPECT_EQ(field.text(), QStringLiteral("left\tright")) << "the entry itself is kept as pasted";
    menu->close();
}

// Opens the treemap export from the menu, types the size into the dialog's fields as a user
// would, and saves under `path`. Returns once the dialog is closed.
void exportTreemap(MainWindow& window, const QString& width, const QString& height, const QString& path) {
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QFileDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) dialog = d;
        if (!dialog) return;
        driver.stop();
        auto* options = dialog->findChild<ExportTreemapImageView*>();
        ASSERT_TRUE(options);
        const std::pair<QLineEdit*, QString> fields[] = {{options->widthField(), width}, {options->heightField(), height}};
        for (const auto& [field, text] : fields) {
            field->setFocus();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::keyClicks(field, text);
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    driver.start();
    window.menus().action(ZelvaneMenuAction::exportTreemapImage)->trigger();
}

TEST(TreemapImageExport, TheFieldsSizeIsTheOneUsedAndAnUnusableSizeIsRefusedWithItsLimits) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::treemapExportWidth, 320);
    prefs.set(PreferenceKeys::treemapExportHeight, 200);
    TempDir tree;
    fixtures::writePhotosMusicAndNotes(tree.path());
    auto window = openWindow(prefs);
    scan(*window, q(tree));
    const QString limits = "The width and height must each be between 1 and 32,768 pixels, and the picture at most "
                           "268,435,456 pixels in all.";

    struct Case {
        const char* width;
        const char* height;
    } refused[] = {{"", "200"}, {"0", "200"}, {"320", "40000"}};  // the last is stored: there is no upper limit
    for (const Case& c : refused) {
        SCOPED_TRACE(std::string(c.width) + " x " + c.height);
        const QString path = prefsDir.filePath("refused.png");
        exportTreemap(*window, c.width, c.height, path);
        QMessageBox* alert = nullptr;
        ASSERT_TRUE(pumpWidgetsUntil([&] { return (alert = visibleBox(*window)) != nullptr; }));
        EXPECT_EQ(alert->text(), "Couldn't Export");
        EXPECT_EQ(alert->informativeText(), "Couldn't render the treemap image.\n\n" + limits);
        alert->buttons().first()->click();
        EXPECT_FALSE(QFile::exists(path));
    }
    EXPECT_EQ(prefs.value(PreferenceKeys::treemapExportWidth), 320) << "an empty or zero field stores nothing";

    // A size the fields show is the picture's size; the picture is written in the background.
    const QString path = prefsDir.filePath("map.png");
    exportTreemap(*window, "640", "360", path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !QImage(path).isNull(); }, 30000));
    EXPECT_EQ(QImage(path).size(), QSize(640, 360));
    EXPECT_EQ(visibleBox(*window), nullptr);
    EXPECT_EQ(prefs.value(PreferenceKeys::treemapExportWidth), 640);

    // Exported at the size of the window's treemap, the file holds the picture the window shows:
    // every box, label and bevel, on the background where the window shows its own.
    auto* canvas = window->findChild<TreemapCanvas*>();
    ASSERT_TRUE(canvas);
    const TreemapCanvasModel& model = canvas->model();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return model.overlaysShown() && model.busyRegenerationCount() == 0; }, 30000));
    const QImage shown = model.image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(shown.devicePixelRatio(), 1.0);
    const QString same = prefsDir.filePath("same.png");
    exportTreemap(*window, QString::number(shown.width()), QString::number(shown.height()), same);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !QImage(same).isNull(); }, 30000));
    const QImage written = QImage(same).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(written.size(), shown.size());
    int boxes = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            if (qAlpha(shown.pixel(x, y)) != 255) continue;
            ++boxes;
            ASSERT_EQ(written.pixel(x, y), shown.pixel(x, y)) << x << "," << y;
        }
    EXPECT_GT(boxes, shown.width() * shown.height() / 2);
}

TEST(Branding, TheAboutPageAndTheTopBarNameTheSameMaker) {
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    auto window = openWindow(prefs);
    const auto notices = [](QWidget* within) {
        QStringList out;
        for (const QLabel* label : within->findChildren<QLabel*>())
            if (label->text().startsWith(QChar(0x00A9))) out << label->text();
        return out;
    };
    const QStringList about = notices(window->contentView()->aboutPage());
    const QStringList top = notices(window->contentView()->topBar());
    ASSERT_EQ(about.size(), 1);
    ASSERT_EQ(top.size(), 1);
    EXPECT_EQ(about.front(), top.front());
    EXPECT_TRUE(about.front().endsWith(" Zelvane Software")) << about.front().toStdString();
}

}  // namespace
}  // namespace zelvane

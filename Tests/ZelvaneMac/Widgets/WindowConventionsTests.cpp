// A real main window on a scanned folder, checked for what a user sees and expects of it: the
// file-type table's export item, the preview window's pictures and keys, the search matches of the
// File View, the Tweaks steppers and the treemap picture's background and what it leaves out.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "QtWidgetTestApp.hpp"
#include "ScriptedUser.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Dialogs/TweaksSheet.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {
namespace {

using fixtures::qPath;
using fixtures::ShownWindow;
using fixtures::TempDir;
using testing::ScriptedUser;

// Saves the next save panel that opens as `path`, the way a user types a name and presses Save.
class SavePanelUser final {
public:
    explicit SavePanelUser(QString path) : path_(std::move(path)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* panel = qobject_cast<QFileDialog*>(w);
                if (!panel || !panel->isVisible()) continue;
                title = panel->windowTitle();
                // The panel reads its folder in the background: the name is typed again until
                // the panel takes it, then Save is pressed. A panel that never takes it is
                // cancelled, so that the test goes on to fail.
                if (++ticks_ > 250) {
                    timer_.stop();
                    refused = panel->selectedFiles().join(' ');
                    panel->reject();
                    return;
                }
                if (panel->selectedFiles().value(0) != path_) {
                    // Typed into the name field: selectFile() leaves a focused field alone.
                    panel->setDirectory(QFileInfo(path_).absolutePath());
                    if (auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                        name->setText(QFileInfo(path_).fileName());
                    return;
                }
                timer_.stop();
                QMetaObject::invokeMethod(panel, "accept");
                return;
            }
        });
        timer_.start();
    }
    QString title;    // of the panel that opened; empty while none did
    QString refused;  // what the panel held instead when it was cancelled

private:
    int ticks_ = 0;
    QString path_;
    QTimer timer_;
};

void writePicture(const std::filesystem::path& file, QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(qPath(file)));
}

// The bounding box of the pixels of `color` in `image`.
QRect areaOf(const QImage& image, QColor color) {
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color) area |= QRect(x, y, 1, 1);
    return area;
}

TEST(FileTypeTable, ItsExportItemOpensTheSavePanelAndWritesTheTable) {
    TempDir tree;
    fixtures::writePhotosMusicAndNotes(tree.path());
    ShownWindow w;
    ASSERT_TRUE(w.scan(tree.path()));
    ExtensionTableView* table = w.tree().fileTypeTable();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return table->model()->rowCount() == 3; }));

    const QString csv = qPath(tree / "types.csv");
    ScriptedUser user;
    user.choose({QStringLiteral("Export File Types to CSV File\u2026")});
    SavePanelUser saver(csv);
    testing::rightClick(table->viewport(), table->visualRect(table->model()->index(0, 1)).center());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QFile::exists(csv); }, 10000)) << "no save panel: " << user.menusSeen.join(", ").toStdString() << " / " << saver.refused.toStdString();
    EXPECT_EQ(saver.title, QStringLiteral("Export File Types to CSV File"));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    for (const char* ext : {"jpg", "mp3", "txt"}) EXPECT_TRUE(written.contains(ext)) << ext << " in\n" << written.toStdString();
}

TEST(QuickLook, PicturesShowAtTheirOwnSizeAndTheArrowKeysStepWhereverTheFocusIs) {
    TempDir tree;
    writePicture(tree / "red.png", {340, 250}, Qt::red);
    writePicture(tree / "blue.png", {120, 80}, Qt::blue);
    fixtures::writeFile(tree / "notes.txt", 300);
    ShownWindow w;
    ASSERT_TRUE(w.scan(tree.path()));
    ContextMenuOutlineView& outline = w.outline().outline();

    // The first preview of the program is a picture: drawn at its size, in the middle of the room.
    w.window().treeSelection().set(NodeSet{w.node(tree / "red.png")});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes().size() == 1; }));
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_Space);
    auto* preview = w.window().findChild<PreviewWindow*>();
    ASSERT_TRUE(preview);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    QApplication::processEvents();
    EXPECT_EQ(preview->shownImageRect().size(), QSize(340, 250));
    const QImage shown = preview->grab().toImage();
    EXPECT_EQ(areaOf(shown, Qt::red).size(), QSize(340, 250));
    shown.save(grabPath("preview-picture.png"));

    // A picture larger than the window is shrunk to fit, its proportions kept.
    preview->resize(300, 300);
    QApplication::processEvents();
    const QRect fitted = preview->shownImageRect();
    EXPECT_LE(fitted.width(), 300);
    EXPECT_NEAR(double(fitted.width()) / fitted.height(), 340.0 / 250.0, 0.02);
    preview->resize(640, 480);
    preview->close();

    // Three items: Right and Left step through them from the buttons and from the text alike.
    w.window().treeSelection().set(NodeSet{w.node(tree / "red.png"), w.node(tree / "blue.png"), w.node(tree / "notes.txt")});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes().size() == 3; }));
    w.activate();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_Space);
    ASSERT_EQ(preview->itemCount(), 3);
    // The preview really holds the keyboard (a window of the main window counts as active with
    // it, so being active is not enough).
    ASSERT_TRUE(pumpWidgetsUntil([&] { return QApplication::activeWindow() == preview; }));
    const auto press = [&](Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus && preview->isAncestorOf(focus) ? focus : preview, key);
    };
    // The "next" arrow holds the focus, as after a click on it: the only arrow enabled at first.
    QPushButton* next = nullptr;
    for (QPushButton* b : preview->findChildren<QPushButton*>())
        if (b->isVisible() && b->isEnabled() && b->text().isEmpty()) next = b;
    ASSERT_TRUE(next);
    next->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), next);
    press(Qt::Key_Right);
    EXPECT_EQ(preview->currentIndex(), 1);
    press(Qt::Key_Right);
    EXPECT_EQ(preview->currentIndex(), 2);
    press(Qt::Key_Right);
    EXPECT_EQ(preview->currentIndex(), 2) << "the last item stays";
    press(Qt::Key_Left);
    EXPECT_EQ(preview->currentIndex(), 1);
    // From wherever the text item is shown, with the focus in its text.
    int textAt = -1;
    for (int i = 0; i < 3; ++i) {
        preview->showItem(i);
        if (preview->currentContent().kind == PreviewContent::Kind::text) textAt = i;
    }
    ASSERT_GE(textAt, 0);
    preview->showItem(textAt);
    auto* text = preview->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(text);
    text->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), text);
    press(textAt > 0 ? Qt::Key_Left : Qt::Key_Right);
    EXPECT_EQ(preview->currentIndex(), textAt > 0 ? textAt - 1 : 1);
    // Each picture stepped to is whole too.
    for (int i = 0; i < 3; ++i) {
        preview->showItem(i);
        if (preview->currentContent().kind == PreviewContent::Kind::image) {
            EXPECT_EQ(preview->shownImageRect().size(), preview->currentContent().image.size());
        }
    }
    press(Qt::Key_Escape);
    EXPECT_FALSE(preview->isVisible());
}

TEST(FileViewSearch, MatchesAreBoldInTheHighlightColourOnTheRowsOwnBackground) {
    TempDir tree;
    fixtures::writePhotosMusicAndNotes(tree.path());
    ShownWindow w;
    ASSERT_TRUE(w.scan(tree.path()));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileViewTab* tab = w.window().contentView()->fileViewTab();
    tab->searchField().setFocus();
    QTest::keyClicks(&tab->searchField(), "track");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 3; }));
    QApplication::processEvents();
    ContextMenuOutlineView& list = tab->fileList().outline();
    list.clearSelection();
    QApplication::processEvents();

    const QRect nameCell = list.visualRect(list.model()->index(0, FileListModel::nameColumn));
    const QImage shown = list.viewport()->grab(nameCell).toImage();
    shown.save(grabPath("file-view-matches.png"));
    int blue = 0, yellow = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            if (c.blue() > 220 && c.red() < 110 && c.green() < 110) ++blue;
            if (c.red() > 200 && c.green() > 150 && c.blue() < 120) ++yellow;
        }
    EXPECT_GT(blue, 20) << "the five matched characters in the highlight blue";
    EXPECT_EQ(yellow, 0) << "no coloured band behind them";

    // Selected, the row draws its matches in the selection's text colour: no blue on the band.
    list.setFocus();
    list.selectionModel()->select(list.model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QApplication::processEvents();
    const QImage selected = list.viewport()->grab(nameCell).toImage();
    selected.save(grabPath("file-view-matches-selected.png"));
    int lightPixels = 0, bluePixels = 0;
    for (int y = 0; y < selected.height(); ++y)
        for (int x = 0; x < selected.width(); ++x) {
            const QColor c = selected.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) > 225) ++lightPixels;
            if (c.blue() > 220 && c.red() < 110 && c.green() < 110) ++bluePixels;
        }
    EXPECT_GT(lightPixels, 20) << "the name in the selection's light text colour";
    EXPECT_EQ(bluePixels, 0);
}

TEST(TweaksSheet, EachStepperShowsItsValueOnceInItsLabel) {
    ShownWindow w;
    w.prefs().set(PreferenceKeys::tweakDecimalPlaces, 2);
    w.window().menus().handleMenuAction(ZelvaneMenuAction::tweaks);
    auto* sheet = qobject_cast<TweaksSheet*>(w.window().sheets().sheet(AskedSheet::tweaks));
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    QSpinBox* decimals = sheet->decimalPlacesStepper();
    const auto shownTexts = [&] {
        QStringList texts;
        for (QLabel* label : sheet->findChildren<QLabel*>())
            if (label->isVisible()) texts << label->text();
        for (QLineEdit* field : sheet->findChildren<QLineEdit*>())
            if (field->isVisible()) texts << field->text();
        return texts;
    };
    EXPECT_EQ(shownTexts().filter(QStringLiteral("2")), QStringList{"Number of decimal places to display: 2"});
    EXPECT_LT(decimals->width(), 40) << "only the arrows";

    // The keys a stepper takes step it; digits go nowhere; Return still confirms the sheet.
    decimals->setFocus();
    QTest::keyClick(decimals, Qt::Key_Up);
    QTest::keyClicks(decimals, "9");
    EXPECT_EQ(decimals->value(), 3);
    EXPECT_TRUE(shownTexts().contains(QStringLiteral("Number of decimal places to display: 3")));
    sheet->grab().save(grabPath("tweaks-steppers.png"));
    QTest::keyClick(decimals, Qt::Key_Return);
    EXPECT_EQ(w.window().sheets().sheet(AskedSheet::tweaks), nullptr);
    EXPECT_EQ(w.prefs().value(PreferenceKeys::tweakDecimalPlaces), 3);
}

// The PNG lies on the treemap's background colour, as the window's treemap does: the folders'
// label strips and the pixels no box covers show it, with the white folder names on it, whatever
// the file is laid over. Items shown deleted are left out of it as out of every export: after a
// file and a folder went on disk, the picture is the one a scan of what is left gives.
TEST(TreemapImageExport, TheWholePictureLiesOnTheTreemapBackgroundWithoutDeletedItems) {
    TempDir tree, out;
    fixtures::writePhotosMusicAndNotes(tree.path());
    fixtures::writeFile(tree / "Photos/old.jpg", 60000);
    for (int i = 0; i < 3; ++i) fixtures::writeFile(tree / ("Older/shot" + std::to_string(i) + ".jpg"), 30000);
    ShownWindow w;
    w.prefs().set(PreferenceKeys::treemapExportWidth, 400);
    w.prefs().set(PreferenceKeys::treemapExportHeight, 300);
    ASSERT_TRUE(w.scan(tree.path()));
    ASSERT_TRUE(w.waitUntilWatching());
    int exports = 0;
    const auto exported = [&] {
        const QString png = qPath(out / ("map" + std::to_string(++exports) + ".png"));
        SavePanelUser saver(png);
        w.window().menus().action(ZelvaneMenuAction::exportTreemapImage)->trigger();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !QImage(png).isNull(); }, 30000)) << saver.refused.toStdString();
        return QImage(png).convertToFormat(QImage::Format_ARGB32);
    };

    const QImage written = exported();
    ASSERT_EQ(written.size(), QSize(400, 300));
    const QRgb background = treemapBackgroundColor().toQColor().rgb();
    int notOpaque = 0, strip = 0, white = 0;
    for (int y = 0; y < written.height(); ++y)
        for (int x = 0; x < written.width(); ++x) {
            const QRgb p = written.pixel(x, y);
            notOpaque += qAlpha(p) != 255;
            strip += (p | 0xff000000u) == background;
            white += qGray(p) > 170 && std::abs(qRed(p) - qGreen(p)) < 20 && std::abs(qGreen(p) - qBlue(p)) < 20;
        }
    EXPECT_EQ(notOpaque, 0);
    EXPECT_GT(strip, 100) << "the folders' label strips hold no box";
    EXPECT_GT(white, 10) << "the folder names";
    written.save(grabPath("treemap-export.png"));

    // Gone on disk: shown deleted in the window, left out of the picture.
    FileNode* old = w.node(tree / "Photos/old.jpg");
    FileNode* older = w.node(tree / "Older");
    ASSERT_TRUE(old && older);
    std::filesystem::remove(tree / "Photos/old.jpg");
    std::filesystem::remove_all(tree / "Older");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return old->isDeleted() && older->isDeleted(); }, 20000));
    const QImage afterDeletion = exported();
    afterDeletion.save(grabPath("treemap-export-after-deletion.png"));
    ASSERT_TRUE(w.scan(tree.path()));
    const QImage rescanned = exported();
    rescanned.save(grabPath("treemap-export-rescanned.png"));
    EXPECT_TRUE(afterDeletion == rescanned) << "the deleted items take no room and no colour";

    // Zoomed into a folder that then goes with the folder above it: nothing of it is drawn, its
    // name on its strip neither; what is left of it is the background.
    FileNode* album = w.node(tree / "Music/Album");
    ASSERT_TRUE(album);
    w.window().treeSelection().set(NodeSet{album});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes().size() == 1; }));
    w.window().menus().handleMenuAction(ZelvaneMenuAction::zoomTreemap);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().treemapZoom().root() == album; }));
    ASSERT_TRUE(w.waitUntilWatching());
    const QImage zoomed = exported();
    zoomed.save(grabPath("treemap-export-zoomed.png"));
    EXPECT_FALSE(zoomed == QImage(zoomed.size(), zoomed.format())) << "the zoomed folder is drawn";
    std::filesystem::remove_all(tree / "Music");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return album->isDeleted(); }, 20000));
    ASSERT_EQ(w.window().treemapZoom().root(), album) << "the window stays zoomed into the deleted folder";
    const QImage zoomedGone = exported();
    zoomedGone.save(grabPath("treemap-export-zoomed-deleted.png"));
    int drawn = 0;
    for (int y = 0; y < zoomedGone.height(); ++y)
        for (int x = 0; x < zoomedGone.width(); ++x) drawn += zoomedGone.pixel(x, y) != background;
    EXPECT_EQ(drawn, 0) << "nothing but the background";
}

}  // namespace
}  // namespace zelvane

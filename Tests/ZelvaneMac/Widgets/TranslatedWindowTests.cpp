// The main window, its File View, the Tweaks and Colors sheets, an alert and the export dialogs in
// every language the Language menu offers, over a real scanned folder: no title, label or button
// may be narrower than its text, and Arabic and Hebrew lay the window out right to left, with
// names and paths in their written order. Pictures of a few languages land
// in the grabs folder to be looked at.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileSystemModel>
#include <QFileDialog>
#include <QListWidget>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QGlyphRun>
#include <QHash>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <array>
#include <functional>

#include "TestTrees.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/StringsFile.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ShownWindow.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"
#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Models/ExtensionTableModel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/VolumeDropdown.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

// English again, left to right, after each language.
struct LanguageGuard {
    ~LanguageGuard() {
        installStringsTable(nullptr);
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    }
};

void installLanguage(const QString& code) {
    std::shared_ptr<const StringsTable> table;
    if (code != QLatin1String("en")) {
        QStringList problems;
        table = AppLanguages::loadStringsTable(QStringLiteral(ZELVANE_RESOURCES), code, &problems);
        ASSERT_TRUE(table) << code.toStdString();
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    }
    installStringsTable(table);
    QGuiApplication::setLayoutDirection(QLocale(code).textDirection());
}

// Where a word-wrapped label's text does not fit: the label reaching out of its window, or a
// wrapped line wider than the label, which a right-to-left label pushes out at its left edge.
QStringList cutWrappedLabel(const QLabel& label) {
    QStringList out;
    const QRect inWindow(label.mapTo(label.window(), QPoint(0, 0)), label.size());
    if (!label.window()->rect().contains(inWindow))
        out << QStringLiteral("QLabel \"%1\": at %2,%3 %4 wide, outside its window %5 wide")
                   .arg(label.text())
                   .arg(inWindow.x())
                   .arg(inWindow.y())
                   .arg(inWindow.width())
                   .arg(label.window()->width());
    const int room = label.contentsRect().width() - 2 * label.margin();
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setTextDirection(label.layoutDirection());
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room);
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    if (widest > room)
        out << QStringLiteral("QLabel \"%1\": a line %2 wide in %3").arg(label.text()).arg(widest).arg(room);
    // A line that fills the label to the pixel has the glyph at its end cut at the label's edge:
    // the left one when the text runs right to left.
    const QImage drawn = const_cast<QLabel&>(label).grab().toImage();
    const QRgb background = drawn.pixel(drawn.width() / 2, 0);
    const int end = label.text().isRightToLeft() ? 0 : drawn.width() - 1;
    for (int y = 0; y < drawn.height(); ++y)
        if (drawn.pixel(end, y) != background) {
            out << QStringLiteral("QLabel \"%1\": text drawn up to its edge at x %2").arg(label.text()).arg(end);
            break;
        }
    return out;
}

// Texts of `root` that do not fit: a label or button narrower than its text, a wrapped label
// outside its window or with a line wider than itself, a column narrower than its title. Texts
// the window elides on purpose are left out.
QStringList cutTexts(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty()) continue;
            if (label->wordWrap()) {
                if (label->textFormat() != Qt::RichText && !Qt::mightBeRichText(label->text())) out << cutWrappedLabel(*label);
                continue;
            }
            if (label->text().contains(QChar(0x2026))) continue;
            text = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
            if (text.isEmpty()) continue;
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            if (header->orientation() != Qt::Horizontal || !header->model()) continue;
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i)) continue;
                const QString title = header->model()->headerData(i, Qt::Horizontal).toString();
                if (!title.isEmpty() && header->sectionSize(i) < header->fontMetrics().horizontalAdvance(title) + 8)
                    out << QStringLiteral("column \"%1\": %2 < text").arg(title).arg(header->sectionSize(i));
            }
            continue;
        } else {
            continue;
        }
        if (w->width() < w->sizeHint().width())
            out << QStringLiteral("%1 \"%2\": %3 < %4")
                       .arg(QString::fromLatin1(w->metaObject()->className()), text)
                       .arg(w->width())
                       .arg(w->sizeHint().width());
    }
    return out;
}

// Whether a push button draws its text and icon inside its contents, off its frame: what the
// label adds to the bare button stays within the style's contents rectangle.
bool drawnWithinItsContents(QPushButton& button) {
    const QImage full = button.grab().toImage();
    const QString text = button.text();
    const QIcon icon = button.icon();
    button.setText(QString());
    button.setIcon(QIcon());
    const QImage bare = button.grab().toImage();
    button.setText(text);
    button.setIcon(icon);
    // The frame and the margin the style keeps between it and the label.
    QStyleOptionButton option;
    option.initFrom(&button);
    const int margin = button.style()->pixelMetric(QStyle::PM_ButtonMargin, &option, &button) / 2 + 1;
    const QRect contents = button.rect().adjusted(margin, 0, -margin, 0);
    for (int y = 0; y < full.height(); ++y)
        for (int x = 0; x < full.width(); ++x)
            if (full.pixel(x, y) != bare.pixel(x, y) && !contents.contains(x, y)) return false;
    return true;
}

QString report(const QString& where, const QStringList& cut) {
    return where + QStringLiteral(":\n  ") + cut.join(QStringLiteral("\n  "));
}

void scan(MainWindow& window, const TempDir& tree) {
    const QString path = QString::fromStdString(tree.path().string());
    window.viewModel().selectRoot(path, path);
    window.scanControl().startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !window.scanControl().effectiveRoots().empty(); }));
}

// Runs `open`, which opens a modal file dialog, and hands the dialog to `look` while it is up
// until `look` has seen what it waits for; then the dialog is cancelled. False when none opened.
bool lookAtFileDialog(const std::function<void()>& open, const std::function<bool(QFileDialog&)>& look) {
    bool seen = false;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible() && look(*dialog)) {
                driver.stop();
                seen = true;
                dialog->reject();
                return;
            }
    });
    driver.start();
    open();
    return seen;
}

TEST(TranslatedWindow, EveryLanguageFitsTheWindowSheetsAndAlerts) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "Fotos/Urlaub/bild.jpg", 300000);
    writeFile(tree / "Musik/lied.mp3", 120000);
    writeFile(tree / "Dokumente/bericht.pdf", 50000);
    const QStringList looked = {QStringLiteral("en"), QStringLiteral("de"), QStringLiteral("ja"), QStringLiteral("ru"),
                               QStringLiteral("ar"), QStringLiteral("he")};
    for (const QString& code : AppLanguages::supportedLanguageCodes()) {
        SCOPED_TRACE(code.toStdString());
        LanguageGuard guard;
        installLanguage(code);
        QTemporaryDir dir;
        Preferences preferences(dir.filePath("prefs.plist"));
        MainWindow window(preferences, {});
        ASSERT_TRUE(showExposed(window, 1436, 758));
        EXPECT_EQ(window.layoutDirection(), QLocale(code).textDirection());
        scan(window, tree);
        // Labels filled by the scan's result take their width at the next layout pass, which a
        // loaded machine may run late: wait for it instead of a fixed time.
        pumpWidgetsUntil([&] { return cutTexts(&window).isEmpty(); }, 3000);
        const bool keep = looked.contains(code);
        const auto name = [&](const char* what) { return (QString::fromLatin1(what) + QLatin1Char('-') + code + QStringLiteral(".png")).toUtf8(); };

        EXPECT_EQ(cutTexts(&window), QStringList()) << report(QStringLiteral("tree view"), cutTexts(&window)).toStdString();
        if (keep) window.grab().save(grabPath(name("window").constData()));
        window.controller().setSelectedTab(ContentTab::fileView);
        pumpWidgetsUntil([&] { return cutTexts(&window).isEmpty(); }, 3000);
        EXPECT_EQ(cutTexts(&window), QStringList()) << report(QStringLiteral("file view"), cutTexts(&window)).toStdString();
        if (keep) window.grab().save(grabPath(name("fileview").constData()));
        window.panes().setShowFilterPanel(true);
        pumpWidgetsUntil([&] { return cutTexts(&window).isEmpty(); }, 3000);
        EXPECT_EQ(cutTexts(&window), QStringList()) << report(QStringLiteral("filter panel"), cutTexts(&window)).toStdString();

        const auto checkSheet = [&](AskedSheet which, const char* what) {
            window.sheets().present(which);
            QDialog* sheet = window.sheets().sheet(which);
            ASSERT_NE(sheet, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
            EXPECT_EQ(cutTexts(sheet), QStringList()) << report(QString::fromLatin1(what), cutTexts(sheet)).toStdString();
            if (keep) sheet->grab().save(grabPath(name(what).constData()));
            sheet->reject();
        };
        checkSheet(AskedSheet::tweaks, "tweaks");
        checkSheet(AskedSheet::colors, "colors");

        window.sheets().present(AskedSheet::resetPermissions);
        QMessageBox* alert = nullptr;
        ASSERT_TRUE(pumpWidgetsUntil([&] {
            for (QMessageBox* box : window.findChildren<QMessageBox*>())
                if (box->isVisible()) alert = box;
            return alert != nullptr;
        }));
        EXPECT_EQ(alert->text(), localized("Reset All Permissions?"));
        EXPECT_EQ(cutTexts(alert), QStringList()) << report(QStringLiteral("alert"), cutTexts(alert)).toStdString();
        if (keep) alert->grab().save(grabPath(name("alert").constData()));
        alert->reject();
        QCoreApplication::processEvents();

        // The export dialogs, opened from the menu as a user does: their options fit.
        const auto checkExportDialog = [&](ZelvaneMenuAction action, const char* what,
                                           const std::function<QWidget*(QFileDialog&)>& options) {
            const bool seen = lookAtFileDialog([&] { window.menus().action(action)->trigger(); }, [&](QFileDialog& dialog) {
                if (QWidget* view = options(dialog))
                    EXPECT_EQ(cutTexts(view), QStringList()) << report(QString::fromLatin1(what), cutTexts(view)).toStdString();
                else
                    ADD_FAILURE() << what << ": no options";
                // The dialog's own buttons stand whole inside it.
                for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
                    if (!button->isVisible()) continue;
                    const QRect at(button->mapTo(&dialog, QPoint(0, 0)), button->size());
                    EXPECT_TRUE(dialog.rect().contains(at))
                        << what << ": \"" << button->text().toStdString() << "\" at " << at.x() << "," << at.y() << " "
                        << at.width() << " wide in a dialog " << dialog.width() << " wide";
                    EXPECT_TRUE(drawnWithinItsContents(*button)) << what << ": \"" << button->text().toStdString() << "\"";
                }
                if (keep) dialog.grab().save(grabPath(name(what).constData()));
                return true;
            });
            EXPECT_TRUE(seen) << what;
        };
        checkExportDialog(ZelvaneMenuAction::exportToCSV, "export-csv",
                          [](QFileDialog& d) -> QWidget* { return d.findChild<ExportOptionsView*>(); });
        checkExportDialog(ZelvaneMenuAction::exportTreemapImage, "export-png",
                          [](QFileDialog& d) -> QWidget* { return d.findChild<ExportTreemapImageView*>(); });
    }
}

// The export dialogs put their options under the file browser; the browser keeps room for a
// list of files rather than being squeezed to a row or two.
TEST(TranslatedWindow, ExportDialogsLeaveTheFileBrowserRoomForItsFiles) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "Fotos/bild.jpg", 300000);
    LanguageGuard guard;
    installLanguage(QStringLiteral("en"));
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    MainWindow window(preferences, {});
    ASSERT_TRUE(showExposed(window, 1436, 758));
    scan(window, tree);
    for (const ZelvaneMenuAction action : {ZelvaneMenuAction::exportToCSV, ZelvaneMenuAction::exportTreemapImage}) {
        const bool seen = lookAtFileDialog([&] { window.menus().action(action)->trigger(); }, [&](QFileDialog& dialog) {
            auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
            if (!files || !files->isVisible()) return false;
            EXPECT_GE(files->viewport()->height(), 8 * files->fontMetrics().height())
                << "file browser " << files->viewport()->height() << " px high";
            return true;
        });
        EXPECT_TRUE(seen);
    }
}

// Where the characters of a label's text land when the label lays it out in its own direction:
// the leftmost and rightmost x of the characters from `from` up to `to`.
class LaidOutText final {
public:
    explicit LaidOutText(const QLabel& label) : LaidOutText(label.text(), label.font(), label.layoutDirection()) {}
    LaidOutText(const QString& text, const QFont& font, Qt::LayoutDirection direction) : layout_(text, font) {
        QTextOption option;
        option.setTextDirection(direction);
        layout_.setTextOption(option);
        layout_.beginLayout();
        line_ = layout_.createLine();
        line_.setLineWidth(100000);
        layout_.endLayout();
    }
    std::pair<qreal, qreal> span(qsizetype from, qsizetype to) const {
        qreal left = 1e9, right = -1e9;
        for (qsizetype i = from; i < to; ++i)
            for (const auto edge : {QTextLine::Leading, QTextLine::Trailing}) {
                const qreal x = line_.cursorToX(int(i), edge);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        return {left, right};
    }

    // Whether the visible characters from `from` up to `to` stand left to right in their order,
    // by where their glyphs are drawn.
    bool readsInOrder(qsizetype from, qsizetype to) const {
        qreal last = -1e9;
        for (qsizetype i = from; i < to; ++i) {
            QRectF drawn;
            for (const QGlyphRun& run : line_.glyphRuns(int(i), 1)) drawn |= run.boundingRect();
            if (drawn.width() < 0.5) continue;  // a mark or an isolate
            if (drawn.center().x() <= last) return false;
            last = drawn.center().x();
        }
        return true;
    }

private:
    QTextLayout layout_;
    QTextLine line_;
};

// Whether `written` (a name, a path, ".csv") appears in `shown` and reads there in its written
// order, left to right, when `shown` is laid out as a right-to-left view lays it out.
::testing::AssertionResult keepsWrittenOrder(const QString& shown, const QString& written, const QFont& font) {
    const qsizetype at = shown.indexOf(written);
    if (at < 0) return ::testing::AssertionFailure() << "\"" << written.toStdString() << "\" is not in \"" << shown.toStdString() << "\"";
    if (!LaidOutText(shown, font, Qt::RightToLeft).readsInOrder(at, at + written.size()))
        return ::testing::AssertionFailure() << "\"" << written.toStdString() << "\" is reordered in \"" << shown.toStdString() << "\"";
    return ::testing::AssertionSuccess();
}

// An Arabic window over a real scan: the path beside the selection's kind stays apart from it, and
// every size inside a translated sentence reads number first, unit after, as written.
TEST(TranslatedWindow, RightToLeftSentencesKeepPathsAndSizesInTheirWrittenOrder) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "Fotos/bild.jpg", 300000);
    writeFile(tree / "Dokumente/bericht.pdf", 5800000);
    LanguageGuard guard;
    installLanguage(QStringLiteral("ar"));
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    MainWindow window(preferences, {});
    ASSERT_TRUE(showExposed(window, 1436, 758));
    scan(window, tree);
    const QString path = QString::fromStdString(tree.path().string());
    window.volumeChoice().setSelectedVolumeID(QStringLiteral("__select_folder__"));
    QCoreApplication::processEvents();

    const QLabel* selection = nullptr;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisible() && label->text().contains(path) && label->text().contains(localized("<Folder>")))
            selection = label;
    ASSERT_NE(selection, nullptr);
    const LaidOutText shown(*selection);
    const qsizetype at = selection->text().indexOf(path);
    const auto [pathLeft, pathRight] = shown.span(at, at + path.size());
    const auto [markerLeft, markerRight] = shown.span(0, localized("<Folder>").size());
    EXPECT_GT(markerLeft - pathRight, selection->fontMetrics().horizontalAdvance(QLatin1Char(' ')))
        << "the path touches the marker: " << selection->text().toStdString();
    EXPECT_LT(pathRight, markerLeft) << "right to left, the marker comes first, at the right";

    window.controller().setSelectedTab(ContentTab::fileView);
    QLabel* totals = window.contentView()->statusBar()->totalsLabel();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return totals->isVisible() && totals->text().contains(QLatin1Char('B')); }));
    const LaidOutText footer(*totals);
    static const QRegularExpression size(QStringLiteral("(\\d[\\d.,]*) ([KMGT]?B)"));
    int sizes = 0;
    for (const QRegularExpressionMatch& m : size.globalMatch(totals->text())) {
        ++sizes;
        EXPECT_LT(footer.span(m.capturedStart(1), m.capturedEnd(1)).second, footer.span(m.capturedStart(2), m.capturedEnd(2)).first)
            << m.captured().toStdString() << " reads unit first in: " << totals->text().toStdString();
    }
    EXPECT_EQ(sizes, 2) << totals->text().toStdString();
}

// Arabic and Hebrew windows over a real scan: every list that shows names and paths (the outline,
// the File View, the Select Multiple and access-denied sheets) shows each in its written order, a
// name ending in a dot or in a byte that is no UTF-8 included, and so do the export sheet's formats
// and the Tweaks note; search matches still fall on their characters, and what is copied is the
// path itself.
TEST(TranslatedWindow, RightToLeftListsShowNamesAndPathsInTheirWrittenOrder) {
    TempDir tree;
    const std::string dotted = "back\\slash.";
    const std::string odd = std::string("dir") + char(0xFF);
    writeFile(tree / dotted, 1000);
    writeFile(tree / odd / "inner.txt", 2000);
    writeFile(tree / "Private/locked/x.txt", 10);
    writeFile(tree / "old.csv", 10);
    writeFile(tree / "notes.txt", 10);
    const QString root = QString::fromStdString(tree.path().string());
    const QString dottedName = QString::fromStdString(dotted);
    const QString dottedPath = root + QLatin1Char('/') + dottedName;
    const QString lockedPath = root + QStringLiteral("/Private/locked");
    const QString oddShown = QStringLiteral("dir\uFFFD");

    for (const char* code : {"ar", "he"}) {
        SCOPED_TRACE(code);
        LanguageGuard guard;
        installLanguage(QString::fromLatin1(code));
        fixtures::ShownWindow shown;
        shown.prefs().setStringList(PreferenceKeys::selectMultipleCustomFoldersJSON, {lockedPath});
        ASSERT_TRUE(shown.scan(tree.path()));
        MainWindow& window = shown.window();
        ASSERT_EQ(window.layoutDirection(), Qt::RightToLeft);
        FileNode* top = shown.root();
        FileNode* dottedNode = fixtures::childNamed(top, dotted);
        FileNode* oddNode = nullptr;
        for (FileNode* child : top->children())
            if (child->nameBytes() == odd) oddNode = child;
        ASSERT_TRUE(dottedNode && oddNode);

        // The outline: the scanned folder's path and the names below it.
        FileTreeOutlineModel& outline = shown.outline().model();
        const QFont font = shown.outline().outline().font();
        const QString rootText = outline.index(0, 0).data().toString();
        EXPECT_TRUE(keepsWrittenOrder(rootText, root, font));
        const QModelIndex dottedRow = outline.indexForNode(dottedNode);
        EXPECT_TRUE(keepsWrittenOrder(dottedRow.data().toString(), dottedName, font));
        EXPECT_TRUE(keepsWrittenOrder(outline.indexForNode(oddNode).data().toString(), oddShown, font));
        EXPECT_TRUE(keepsWrittenOrder(dottedRow.data(Qt::ToolTipRole).toString(), dottedPath, font));

        // Copy Path copies the path, nothing around it.
        QTreeView& outlineView = shown.outline().outline();
        outlineView.selectionModel()->setCurrentIndex(dottedRow, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QApplication::clipboard()->clear();
        window.menus().action(ZelvaneMenuAction::copyPath)->trigger();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return QApplication::clipboard()->text() == dottedPath; }))
            << QApplication::clipboard()->text().toStdString();

        // Typing a name's first letters still finds its row.
        outlineView.setCurrentIndex(outline.index(0, 0));
        outlineView.keyboardSearch(QStringLiteral("back"));
        EXPECT_EQ(outlineView.currentIndex(), dottedRow);

        // The File View, searched for part of the name: the name and the path in order, and the
        // match marked on the characters of "slash".
        window.controller().setSelectedTab(ContentTab::fileView);
        window.fileResults().setFileFilterText(QStringLiteral("slash"));
        FileListModel& list = window.contentView()->fileViewTab()->fileList().model();
        QModelIndex listed;
        ASSERT_TRUE(pumpWidgetsUntil([&] {
            for (int r = 0; r < list.rowCount(); ++r)
                if (list.nodeAt(list.index(r, 0)) == dottedNode) listed = list.index(r, 0);
            return listed.isValid();
        }));
        const QString nameText = listed.data().toString();
        const QString pathText = list.index(listed.row(), FileListModel::pathColumn).data().toString();
        EXPECT_TRUE(keepsWrittenOrder(nameText, dottedName, font));
        EXPECT_TRUE(keepsWrittenOrder(pathText, dottedPath, font));
        const auto marked = listed.data(ResultTableRole::highlightRanges).value<QList<QPoint>>();
        ASSERT_EQ(marked.size(), 1);
        EXPECT_EQ(nameText.mid(marked[0].x(), marked[0].y()), QStringLiteral("slash"));
        if (std::string_view(code) == "he") window.grab().save(grabPath("rtl-names-fileview-he.png"));

        // The volume picker lists the added folder by its path.
        VolumeDropdown* picker = window.contentView()->topBar()->picker();
        ASSERT_TRUE(pumpWidgetsUntil([&] { return picker->findData(lockedPath) >= 0; }));
        EXPECT_TRUE(keepsWrittenOrder(picker->itemText(picker->findData(lockedPath)), lockedPath, picker->font()));
        EXPECT_TRUE(keepsWrittenOrder(picker->itemData(picker->findData(lockedPath), Qt::ToolTipRole).toString(), lockedPath,
                                      picker->font()));
        // The commands' rows have no tool tip that could show their inner names.
        for (int i = 0; i < picker->count(); ++i)
            EXPECT_FALSE(picker->itemData(i, Qt::ToolTipRole).toString().contains(QStringLiteral("__"))) << i;

        // The Select Multiple sheet lists the added folder by its path.
        window.menus().action(ZelvaneMenuAction::selectMultiple)->trigger();
        SelectMultipleDialog* multiple = nullptr;
        ASSERT_TRUE(pumpWidgetsUntil([&] {
            multiple = window.findChild<SelectMultipleDialog*>();
            return multiple && multiple->isVisible();
        }));
        bool listedFolder = false;
        for (int i = 0; i < multiple->list()->count(); ++i) {
            const QString text = multiple->list()->item(i)->text();
            if (!text.contains(lockedPath)) continue;
            listedFolder = true;
            EXPECT_TRUE(keepsWrittenOrder(text, lockedPath, multiple->list()->font()));
        }
        EXPECT_TRUE(listedFolder);
        multiple->reject();

        // The access-denied sheet: each path in order, copied as it is.
        AccessDeniedFoldersDialog denied({lockedPath, root + QLatin1Char('/') + dottedName}, &window);
        denied.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&denied));
        EXPECT_TRUE(keepsWrittenOrder(denied.list()->item(0)->text(), lockedPath, denied.list()->font()));
        EXPECT_TRUE(keepsWrittenOrder(denied.list()->item(1)->text(), dottedPath, denied.list()->font()));
        denied.list()->selectAll();
        QTest::keyClick(denied.list(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), lockedPath + QLatin1Char('\n') + dottedPath);
        if (std::string_view(code) == "ar") denied.grab().save(grabPath("rtl-denied-ar.png"));
        denied.reject();

        // The CSV export's dialog names its file types in their written order, and still lists only
        // the files of the chosen type.
        shown.prefs().set(PreferenceKeys::csvExportLastFolder, root);
        const bool exportLooked = lookAtFileDialog(
            [&] { window.menus().action(ZelvaneMenuAction::exportToCSV)->trigger(); }, [&](QFileDialog& dialog) {
                auto* files = dialog.findChild<QFileSystemModel*>();
                if (!files) return false;
                const QModelIndex folder = files->index(root);
                QModelIndexList rows;
                for (int r = 0; r < files->rowCount(folder); ++r) rows << files->index(r, 0, folder);
                const auto named = [&](const char* name) {
                    for (const QModelIndex& i : rows)
                        if (i.data().toString() == QLatin1String(name)) return i;
                    return QModelIndex();
                };
                if (!named("old.csv").isValid()) return false;  // still being read
                EXPECT_TRUE(named("old.csv").flags() & Qt::ItemIsEnabled);
                EXPECT_FALSE(named("notes.txt").isValid() && (named("notes.txt").flags() & Qt::ItemIsEnabled));
                if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
                    EXPECT_TRUE(keepsWrittenOrder(types->currentText(), QStringLiteral("(*.csv)"), types->font()));
                else
                    ADD_FAILURE() << "no list of file types";
                return true;
            });
        EXPECT_TRUE(exportLooked);

        // The export sheet's formats and the Tweaks note name what is the same in every language.
        ExportSourceSelection selection(ExportSource::treeView, false, CSVFileFormat::csv);
        ExportOptionsView options(shown.prefs(), selection);
        EXPECT_TRUE(keepsWrittenOrder(options.tsvChoice()->text(), QStringLiteral(".tsv"), options.font()));
        bool csvShown = false;
        for (const QRadioButton* choice : options.findChildren<QRadioButton*>())
            if (choice->text().contains(QStringLiteral(".csv"))) {
                csvShown = true;
                EXPECT_TRUE(keepsWrittenOrder(choice->text(), QStringLiteral(".csv"), options.font()));
            }
        EXPECT_TRUE(csvShown);
        window.sheets().present(AskedSheet::tweaks);
        QDialog* tweaks = window.sheets().sheet(AskedSheet::tweaks);
        ASSERT_NE(tweaks, nullptr);
        const QString group = QStringLiteral("[N Files in \u2026]");
        bool noted = false;
        for (const QLabel* label : tweaks->findChildren<QLabel*>())
            if (label->text().contains(group)) {
                noted = true;
                EXPECT_TRUE(keepsWrittenOrder(label->text(), group, label->font()));
            }
        EXPECT_TRUE(noted);
        tweaks->reject();
    }
}

// Where a header's title is drawn in a section of `width`, with the sort arrow beside it.
int titleRoom(const QHeaderView& header, int width) {
    QStyleOptionHeader option;
    option.initFrom(&header);
    option.rect = QRect(0, 0, width, header.height());
    option.orientation = Qt::Horizontal;
    option.state |= QStyle::State_Horizontal;
    option.sortIndicator = QStyleOptionHeader::SortDown;
    return header.style()->subElementRect(QStyle::SE_HeaderLabel, &option, &header).width();
}

// The columns of `header` whose title does not fit beside the sort arrow.
QStringList cutTitles(const QHeaderView& header) {
    QStringList out;
    for (int i = 0; i < header.count(); ++i) {
        if (header.isSectionHidden(i)) continue;
        const QString title = header.model()->headerData(i, Qt::Horizontal).toString();
        if (!title.isEmpty() && header.fontMetrics().horizontalAdvance(title) > titleRoom(header, header.sectionSize(i)))
            out << QStringLiteral("\"%1\" in %2").arg(title).arg(header.sectionSize(i));
    }
    return out;
}

// Column layouts are stored as the user leaves them, and a window in another language starts from
// them: in every language the tables' titles (the File View's duplicate columns shown) still fit
// beside the sort arrow, and the file-type table's "(No Extension)" fits its column.
TEST(TranslatedWindow, EveryLanguagesColumnTitlesFitAfterALayoutStoredInEnglish) {
    TempDir tree;
    writeFile(tree / "Fotos/bild.jpg", 300000);
    writeFile(tree / "Kopie/bild.jpg", 300000);
    writeFile(tree / "LIESMICH", 5000);
    for (const QString& code : AppLanguages::supportedLanguageCodes()) {
        SCOPED_TRACE(code.toStdString());
        LanguageGuard guard;
        fixtures::ShownWindow shown;
        shown.prefs().set(PreferenceKeys::fileDupMethod, 1);
        ASSERT_TRUE(shown.scan(tree.path()));
        const auto headers = [&] {
            ContentView& content = *shown.window().contentView();
            return std::array<QHeaderView*, 3>{shown.outline().outline().header(),
                                               content.treeViewTab()->fileTypeTable()->horizontalHeader(),
                                               content.fileViewTab()->fileList().outline().header()};
        };
        // In English the user narrows the last column a little: each layout is stored.
        for (QHeaderView* header : headers()) header->resizeSection(header->count() - 1, header->sectionSize(header->count() - 1) - 1);
        for (QHeaderView* header : headers()) ASSERT_TRUE(pumpWidgetsUntil([&] { return !columnLayoutWritePending(*header); }));
        shown.close();

        installLanguage(code);
        shown.open();
        ASSERT_TRUE(shown.scan(tree.path()));
        shown.window().controller().setSelectedTab(ContentTab::fileView);
        QHeaderView* fileList = headers()[2];
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !fileList->isSectionHidden(FileListModel::dupSizeColumn); }));
        for (QHeaderView* header : headers()) EXPECT_EQ(cutTitles(*header), QStringList()) << header->parent()->metaObject()->className();

        ExtensionTableView& types = *shown.window().contentView()->treeViewTab()->fileTypeTable();
        const QString none = localized("(No Extension)");
        QModelIndex row;
        for (int r = 0; r < types.model()->rowCount(); ++r)
            if (types.model()->index(r, ExtensionTableModel::typeColumn).data().toString() == none)
                row = types.model()->index(r, ExtensionTableModel::typeColumn);
        ASSERT_TRUE(row.isValid());
        QStyleOptionViewItem cell;
        cell.initFrom(types.viewport());
        cell.rect = types.visualRect(row);
        cell.text = none;
        cell.features |= QStyleOptionViewItem::HasDisplay;
        const QRect room = types.style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, &types);
        EXPECT_LE(types.fontMetrics().horizontalAdvance(none), room.width()) << none.toStdString();
    }
}

enum class Side { none, left, right };

// Where the text drawn in a cell shows its ellipsis: the end whose last `dotsWidth` columns of ink
// are only dots (a few pixels high) while the other end's are a whole glyph. The cell's background
// is its most common colour.
Side ellipsisSide(const QImage& cell, int dotsWidth) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x) ++counts[cell.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > most) most = it.value(), background = it.key();
    const auto ink = [&](int x, int y) {
        const QRgb p = cell.pixel(x, y);
        return std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                   std::abs(qBlue(p) - qBlue(background)) > 150;
    };
    int left = cell.width(), right = -1, top = cell.height(), bottom = -1;
    for (int y = 0; y < cell.height(); ++y)
        for (int x = 0; x < cell.width(); ++x)
            if (ink(x, y)) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    if (right < left) return Side::none;
    const int height = bottom - top + 1;
    // Only dots in the columns from `from` to `to`: their ink is a few pixels high at most.
    const auto onlyDots = [&](int from, int to) {
        int inkTop = cell.height(), inkBottom = -1;
        for (int x = from; x <= to; ++x)
            for (int y = top; y <= bottom; ++y)
                if (ink(x, y)) inkTop = std::min(inkTop, y), inkBottom = std::max(inkBottom, y);
        return inkBottom >= inkTop && inkBottom - inkTop + 1 <= std::max(2, height / 4);
    };
    const bool dotsLeft = onlyDots(left, std::min(right, left + dotsWidth - 1));
    const bool dotsRight = onlyDots(std::max(left, right - dotsWidth + 1), right);
    if (dotsLeft == dotsRight) return Side::none;
    return dotsLeft ? Side::left : Side::right;
}

const char* sideName(Side s) { return s == Side::left ? "left" : s == Side::right ? "right" : "none"; }

// A cell too narrow for its text shortens it at the end the text reads to, with the ellipsis
// there: a date or a Latin file type on the right, in a right-to-left window as in a left-to-right
// one, and a Hebrew name on the left in either.
TEST(TranslatedWindow, ShortenedCellsShowTheEllipsisWhereTheTextEnds) {
    TempDir tree;
    writeFile(tree / "picture.png", 3000);
    writeFile(tree / "שלום עולם גדול.txt", 2000);
    for (const char* code : {"he", "en"}) {
        SCOPED_TRACE(code);
        LanguageGuard guard;
        installLanguage(QString::fromLatin1(code));
        fixtures::ShownWindow shown;
        ASSERT_TRUE(shown.scan(tree.path()));
        const int dots = shown.window().fontMetrics().horizontalAdvance(QChar(0x2026)) - 1;
        // The side of the ellipsis in the cell's text, its icon (on the side the row starts) left out.
        const auto sideIn = [&](QAbstractItemView& view, QHeaderView& header, const QModelIndex& index, int width) {
            header.resizeSection(index.column(), width);
            view.scrollTo(index);
            QCoreApplication::processEvents();
            QRect rect = view.visualRect(index).adjusted(3, 2, -3, -2);
            if (!index.data(Qt::DecorationRole).isNull() || index.column() == 0) {
                if (view.layoutDirection() == Qt::RightToLeft) rect.setRight(rect.right() - 22);
                else rect.setLeft(rect.left() + 22);
            }
            const QImage cell = view.viewport()->grab(rect).toImage().convertToFormat(QImage::Format_RGB32);
            const QString name = QStringLiteral("shortened-cell-%1-%2-%3.png").arg(QLatin1String(code)).arg(index.column()).arg(index.row());
            cell.scaled(cell.size() * 6).save(grabPath(name.toUtf8().constData()));
            return ellipsisSide(cell, dots);
        };

        // The tree's Modified column.
        QTreeView& outline = shown.outline().outline();
        const QModelIndex modified = shown.outline().model().index(0, FileTreeOutlineModel::modifiedColumn);
        ASSERT_TRUE(modified.data().toString().size() > 8);
        EXPECT_STREQ(sideName(sideIn(outline, *outline.header(), modified, 60)), "right") << modified.data().toString().toStdString();

        // The file-type table's type column.
        ExtensionTableView& types = *shown.tree().fileTypeTable();
        QModelIndex type;
        ASSERT_TRUE(pumpWidgetsUntil([&] {
            for (int r = 0; r < types.model()->rowCount(); ++r)
                if (types.model()->index(r, ExtensionTableModel::extColumn).data().toString().contains(QStringLiteral("png")))
                    type = types.model()->index(r, ExtensionTableModel::typeColumn);
            return type.isValid();
        }));
        ASSERT_TRUE(type.data().toString().size() > 6) << type.data().toString().toStdString();
        EXPECT_STREQ(sideName(sideIn(types, *types.horizontalHeader(), type, 40)), "right") << type.data().toString().toStdString();

        // The File View's names: a Latin one and a Hebrew one.
        shown.window().controller().setSelectedTab(ContentTab::fileView);
        FileListView& list = shown.window().contentView()->fileViewTab()->fileList();
        ASSERT_TRUE(pumpWidgetsUntil([&] { return list.pipeline().displayed().size() == 2u; }));
        for (int r = 0; r < 2; ++r) {
            const QModelIndex name = list.model().index(r, FileListModel::nameColumn);
            const bool hebrew = list.model().nodeAt(name)->nameBytes().front() != 'p';
            EXPECT_STREQ(sideName(sideIn(list.outline(), *list.outline().header(), name, 70)), hebrew ? "left" : "right")
                << name.data().toString().toStdString();
        }
    }
}

// The Latin fragments that Arabic and Hebrew translations keep as written ("~/Applications",
// ".png", "*.csv") read in their written order inside the right-to-left sentence, as the window
// lays it out; file dialog filters are read as the dialogs show them.
TEST(TranslatedWindow, RightToLeftTablesKeepTheirLatinFragmentsInOrder) {
    qtWidgetApp();
    static const QRegularExpression fragment(QStringLiteral("[~./*]*[A-Za-z0-9]+(?:[~./*_-]+[A-Za-z0-9]+)*"));
    const QFont font = QApplication::font();
    for (const char* code : {"ar", "he"}) {
        SCOPED_TRACE(code);
        const StringsFileContents table = readStringsFile(QStringLiteral(ZELVANE_RESOURCES "/") + QLatin1String(code) +
                                                          QStringLiteral(".lproj/Localizable.strings"));
        ASSERT_FALSE(table.entries.isEmpty());
        for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
            const QString filled = it.key().contains(QStringLiteral("(*")) ? shownNameFilters(*it, Qt::RightToLeft) : *it;
            // Each line is a paragraph of its own, laid out on its own.
            for (const QString& shown : filled.split(QLatin1Char('\n'))) {
            const std::vector<FormatPlaceholder> placeholders = formatPlaceholders(shown);
            for (const QRegularExpressionMatch& m : fragment.globalMatch(shown)) {
                const bool inPlaceholder = std::any_of(placeholders.begin(), placeholders.end(), [&](const FormatPlaceholder& p) {
                    return m.capturedStart() < p.start + p.length && p.start < m.capturedEnd();
                });
                if (inPlaceholder) continue;
                EXPECT_TRUE(keepsWrittenOrder(shown, m.captured(), font)) << it.key().toStdString();
            }
            }
        }
    }
}

// Quick Look in a right-to-left window lays its arrows out mirrored: "next" stands on the left,
// points left, and Left steps on, as its arrow says; Right steps back.
TEST(TranslatedWindow, RightToLeftPreviewArrowsPointAndStepTheWayTheyStand) {
    TempDir tree;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::red);
        ASSERT_TRUE(picture.save(QString::fromStdString((tree / name).string())));
    }
    for (const char* code : {"he", "en"}) {
        SCOPED_TRACE(code);
        LanguageGuard guard;
        installLanguage(QString::fromLatin1(code));
        const bool rightToLeft = QGuiApplication::layoutDirection() == Qt::RightToLeft;
        fixtures::ShownWindow shown;
        ASSERT_TRUE(shown.scan(tree.path()));
        shown.window().treeSelection().set(
            NodeSet{shown.node(tree / "a.png"), shown.node(tree / "b.png"), shown.node(tree / "c.png")});
        ASSERT_TRUE(pumpWidgetsUntil([&] { return shown.outline().selectedNodes().size() == 3; }));
        ContextMenuOutlineView& outline = shown.outline().outline();
        shown.activate();
        outline.setFocus();
        QTest::keyClick(&outline, Qt::Key_Space);
        auto* preview = shown.window().findChild<PreviewWindow*>();
        ASSERT_TRUE(preview);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
        ASSERT_EQ(preview->itemCount(), 3);
        ASSERT_EQ(preview->layoutDirection(), QGuiApplication::layoutDirection());

        // At the first item only "next" is enabled; "previous" is the other arrow.
        QPushButton *next = nullptr, *previous = nullptr;
        for (QPushButton* b : preview->findChildren<QPushButton*>())
            if (b->isVisible() && b->text().isEmpty()) (b->isEnabled() ? next : previous) = b;
        ASSERT_TRUE(next && previous);
        EXPECT_EQ(next->x() < previous->x(), rightToLeft);
        const auto looks = [&](QPushButton* button, QStyle::StandardPixmap arrow) {
            const QIcon expected = QApplication::style()->standardIcon(arrow);
            return button->icon().pixmap(16).toImage() == expected.pixmap(16).toImage();
        };
        EXPECT_TRUE(looks(next, rightToLeft ? QStyle::SP_ArrowLeft : QStyle::SP_ArrowRight));
        EXPECT_TRUE(looks(previous, rightToLeft ? QStyle::SP_ArrowRight : QStyle::SP_ArrowLeft));

        const Qt::Key on = rightToLeft ? Qt::Key_Left : Qt::Key_Right;
        const Qt::Key back = rightToLeft ? Qt::Key_Right : Qt::Key_Left;
        QTest::keyClick(preview, on);
        EXPECT_EQ(preview->currentIndex(), 1);
        QTest::keyClick(preview, on);
        EXPECT_EQ(preview->currentIndex(), 2);
        QTest::keyClick(preview, back);
        EXPECT_EQ(preview->currentIndex(), 1);
        preview->close();
    }
}

}  // namespace
}  // namespace zelvane

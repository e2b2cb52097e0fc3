// The main window, its File View, the Tweaks and Colors sheets and an alert in every language the
// Language menu offers, over a real scanned folder: no title, label or button may be narrower than
// its text, and Arabic and Hebrew lay the window out right to left. Pictures of a few languages land
// in the grabs folder to be looked at.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include "TestTrees.hpp"
#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowSheets.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

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

// Texts of `root` that do not fit: a label or button narrower than its text, a column narrower
// than its title. Labels that wrap, and texts the window elides on purpose, are left out.
QStringList cutTexts(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || label->text().isEmpty() || label->text().contains(QChar(0x2026))) continue;
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

QString report(const QString& where, const QStringList& cut) {
    return where + QStringLiteral(":\n  ") + cut.join(QStringLiteral("\n  "));
}

void scan(MainWindow& window, const TempDir& tree) {
    const QString path = QString::fromStdString(tree.path().string());
    window.state().viewModel().selectRoot(path, path);
    window.state().scanControl().startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !window.state().scanControl().effectiveRoots().empty(); }));
}

TEST(TranslatedWindow, EveryLanguageFitsTheWindowSheetsAndAlerts) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "Fotos/Urlaub/bild.jpg", 300000);
    writeFile(tree / "Musik/lied.mp3", 120000);
    writeFile(tree / "Dokumente/bericht.pdf", 50000);
    const QStringList looked = {QStringLiteral("de"), QStringLiteral("ja"), QStringLiteral("ru"), QStringLiteral("ar")};
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
        window.state().setSelectedTab(ContentTab::fileView);
        pumpWidgetsUntil([&] { return cutTexts(&window).isEmpty(); }, 3000);
        EXPECT_EQ(cutTexts(&window), QStringList()) << report(QStringLiteral("file view"), cutTexts(&window)).toStdString();
        if (keep) window.grab().save(grabPath(name("fileview").constData()));
        window.state().panes().setShowFilterPanel(true);
        pumpWidgetsUntil([&] { return cutTexts(&window).isEmpty(); }, 3000);
        EXPECT_EQ(cutTexts(&window), QStringList()) << report(QStringLiteral("filter panel"), cutTexts(&window)).toStdString();

        const auto checkSheet = [&](bool (WindowPrompts::*shown)() const, void (WindowPrompts::*show)(bool),
                                    const char* what) {
            (window.state().prompts().*show)(true);
            QDialog* sheet = window.sheets().sheet(shown);
            ASSERT_NE(sheet, nullptr);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
            EXPECT_EQ(cutTexts(sheet), QStringList()) << report(QString::fromLatin1(what), cutTexts(sheet)).toStdString();
            if (keep) sheet->grab().save(grabPath(name(what).constData()));
            (window.state().prompts().*show)(false);
        };
        checkSheet(&WindowPrompts::showTweaksSheet, &WindowPrompts::setShowTweaksSheet, "tweaks");
        checkSheet(&WindowPrompts::showColorsSheet, &WindowPrompts::setShowColorsSheet, "colors");

        window.state().prompts().setShowResetPermissionsConfirmation(true);
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
    }
}

// Where the characters of a label's text land when the label lays it out in its own direction:
// the leftmost and rightmost x of the characters from `from` up to `to`.
class LaidOutText final {
public:
    explicit LaidOutText(const QLabel& label) : layout_(label.text(), label.font()) {
        QTextOption option;
        option.setTextDirection(label.layoutDirection());
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

private:
    QTextLayout layout_;
    QTextLine line_;
};

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
    window.state().setSelectedVolumeID(QStringLiteral("__select_folder__"));
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

    window.state().setSelectedTab(ContentTab::fileView);
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

}  // namespace
}  // namespace zelvane

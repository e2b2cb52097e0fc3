#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ColorsSheet.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TabStrip.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

using namespace zelvane;

namespace {

QAbstractButton* buttonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* button : box->buttons())
        if (button->text() == title) return button;
    return nullptr;
}

struct Window {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.plist")};
    MainWindow window{preferences, {}};
    Window() {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
};

}  // namespace

TEST(WindowSheets, ExportFailureAlertShowsTheDetailAndClearsItWhenDismissed) {
    qtWidgetApp();
    Window w;
    w.window.prompts().setCsvExportErrorDetail(QStringLiteral("The disk is full."));
    QMessageBox* box = w.window.sheets().alert("Couldn't Export");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Couldn't Export");
    EXPECT_EQ(box->informativeText(), "The disk is full.");
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->escapeButton(), buttonTitled(box, "OK"));
    const QString grabs = QDir::temp().filePath("zelvane-grabs");
    QDir().mkpath(grabs);
    EXPECT_TRUE(box->grab().save(QDir(grabs).filePath("couldnt-export.png")));

    QTest::mouseClick(buttonTitled(box, "OK"), Qt::LeftButton);
    EXPECT_FALSE(w.window.prompts().csvExportErrorDetail().has_value());
    EXPECT_EQ(w.window.sheets().alert("Couldn't Export"), nullptr);

    // Escape dismisses it the same way; clearing the detail elsewhere takes the alert down.
    w.window.prompts().setCsvExportErrorDetail(QStringLiteral("first"));
    box = w.window.sheets().alert("Couldn't Export");
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(w.window.prompts().csvExportErrorDetail().has_value());
    w.window.prompts().setCsvExportErrorDetail(QStringLiteral("second"));
    w.window.prompts().setCsvExportErrorDetail(std::nullopt);
    EXPECT_EQ(w.window.sheets().alert("Couldn't Export"), nullptr);
}

TEST(WindowSheets, FlagIsClearedBeforeTheChosenActionRuns) {
    qtWidgetApp();
    WindowPrompts prompts;
    QWidget host;
    host.show();
    WindowSheets sheets(prompts, &host);
    QStringList log;
    sheets.bindFlagAlert(&WindowPrompts::showMoveToApplicationsPrompt, &WindowPrompts::setShowMoveToApplicationsPrompt,
                         &WindowPrompts::showMoveToApplicationsPromptChanged, "Move?",
                         [] { return QStringLiteral("Everything moves."); },
                         {{"Move", QMessageBox::DestructiveRole,
                           [&] { log << QString("move, flag %1").arg(prompts.showMoveToApplicationsPrompt()); }},
                          {"Cancel", QMessageBox::RejectRole, [&] { log << "cancel"; }}});
    prompts.setShowMoveToApplicationsPrompt(true);
    QMessageBox* box = sheets.alert("Move?");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText(), "Everything moves.");
    QTest::mouseClick(buttonTitled(box, "Move"), Qt::LeftButton);
    EXPECT_EQ(log, QStringList{"move, flag 0"});

    // Cleared from elsewhere: the alert goes and no action runs.
    prompts.setShowMoveToApplicationsPrompt(true);
    prompts.setShowMoveToApplicationsPrompt(false);
    EXPECT_EQ(sheets.alert("Move?"), nullptr);
    prompts.setShowMoveToApplicationsPrompt(true);
    QTest::keyClick(sheets.alert("Move?"), Qt::Key_Escape);
    EXPECT_EQ(log, (QStringList{"move, flag 0", "cancel"}));
    EXPECT_FALSE(prompts.showMoveToApplicationsPrompt());
}

TEST(WindowSheets, MessageIsClearedBeforeTheChosenActionRuns) {
    qtWidgetApp();
    Window w;
    WindowPrompts& prompts = w.window.prompts();
    QStringList log;
    w.window.sheets().bindMessageAlert(
        &WindowPrompts::permissionsResetErrorDetail, &WindowPrompts::setPermissionsResetErrorDetail,
        &WindowPrompts::permissionsResetErrorDetailChanged, "Reset Failed",
        {{"Retry", QMessageBox::AcceptRole,
          [&] { log << QString("retry, message %1").arg(prompts.permissionsResetErrorDetail().has_value()); }},
         {"Cancel", QMessageBox::RejectRole, [&] { log << "cancel"; }}});
    prompts.setPermissionsResetErrorDetail(QStringLiteral("first"));
    QMessageBox* box = w.window.sheets().alert("Reset Failed");
    ASSERT_NE(box, nullptr);
    // A newer failure replaces the text of the alert that is up.
    prompts.setPermissionsResetErrorDetail(QStringLiteral("second"));
    EXPECT_EQ(w.window.sheets().alert("Reset Failed"), box);
    EXPECT_EQ(box->informativeText(), "second");
    buttonTitled(box, "Retry")->click();
    EXPECT_EQ(log, QStringList{"retry, message 0"});
    EXPECT_EQ(w.window.sheets().alert("Reset Failed"), nullptr);

    prompts.setPermissionsResetErrorDetail(QStringLiteral("third"));
    box = w.window.sheets().alert("Reset Failed");
    ASSERT_NE(box, nullptr);
    box->escapeButton()->click();
    EXPECT_EQ(log, (QStringList{"retry, message 0", "cancel"}));
    EXPECT_FALSE(prompts.permissionsResetErrorDetail().has_value());
}

TEST(WindowSheets, ColourSheetStoresOnOKAndRecomputesTheRanks) {
    qtWidgetApp();
    Window w;
    w.window.sheets().present(AskedSheet::colors);
    auto* sheet = qobject_cast<ColorsSheet*>(w.window.sheets().sheet(AskedSheet::colors));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    w.window.sheets().present(AskedSheet::colors);
    EXPECT_EQ(w.window.sheets().sheet(AskedSheet::colors), sheet) << "asked again while up: the same sheet";
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_EQ(w.window.sheets().sheet(AskedSheet::colors), nullptr);
    EXPECT_FALSE(w.preferences.object("treemapExtensionListsJSON").isValid()) << "cancel stores nothing";

    w.window.sheets().present(AskedSheet::colors);
    sheet = qobject_cast<ColorsSheet*>(w.window.sheets().sheet(AskedSheet::colors));
    ASSERT_NE(sheet, nullptr);
    sheet->extensionButton()->click();
    sheet->extensionField(3)->selectAll();
    QTest::keyClicks(sheet->extensionField(3), QStringLiteral("zzq"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_EQ(w.window.sheets().sheet(AskedSheet::colors), nullptr);
    EXPECT_FALSE(w.preferences.value(PreferenceKeys::treemapColorBySize));
    EXPECT_EQ(w.window.fileTypes().extensionColorRank().count("zzq"), 1u);
    EXPECT_EQ(w.window.fileTypes().extensionColorRank().at("zzq"), 3);
}

// The settings file broken behind the running program's back (written over by a rename, as
// `echo garbage > tmp; mv tmp ZelvaneMac.plist` does): the next change the user makes writes
// back every setting the program holds, "Don't Ask Again" of the move question among them, and
// the broken file is kept beside it.
TEST(WindowSheets, ASettingsFileBrokenBehindTheProgramsBackIsWrittenBackWhole) {
    qtWidgetApp();
    Window w;
    Preferences& prefs = w.preferences;
    prefs.set(PreferenceKeys::csvExportFileID, true);
    prefs.set(PreferenceKeys::csvExportDates, true);
    prefs.set(PreferenceKeys::csvMaxDepth, 3);
    prefs.set(PreferenceKeys::treemapExportWidth, 2560);
    prefs.set(PreferenceKeys::fileDupMethod, 1);
    prefs.set(PreferenceKeys::excludeFilterText, QStringLiteral("*.tmp"));
    prefs.set(PreferenceKeys::tweakDecimalPlaces, 2);
    prefs.set(PreferenceKeys::byteUnitBase, 1024);
    prefs.set(PreferenceKeys::treemapColorBySize, false);
    prefs.setStringList(PreferenceKeys::excludeFilterHistoryJSON, {QStringLiteral("*.tmp"), QStringLiteral("*.log")});
    w.window.prompts().setShowMoveToApplicationsPrompt(true);
    QMessageBox* offer = w.window.sheets().alert(QStringLiteral("Move to Applications Folder?"));
    ASSERT_NE(offer, nullptr);
    QTest::mouseClick(buttonTitled(offer, QStringLiteral("Don't Ask Again")), Qt::LeftButton);
    ASSERT_TRUE(prefs.value(PreferenceKeys::suppressMoveToApplicationsPrompt));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return PropertyList::readFile(prefs.filePath()).dictionary == prefs.dictionaryRepresentation(); }));
    // The window stores its own frame and column widths a moment after it lays itself out, and
    // again when a tab is first shown, whenever that moment comes: those keys are left out.
    const auto settingsOf = [](QVariantMap values) {
        values.removeIf([](const auto& entry) { return entry.key().startsWith(QStringLiteral("ZelvaneMac.")); });
        return values;
    };
    const QVariantMap held = settingsOf(prefs.dictionaryRepresentation());
    ASSERT_GE(held.size(), 11);

    const QString tmp = QFileInfo(prefs.filePath()).absolutePath() + QStringLiteral("/tmp");
    {
        QFile f(tmp);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("garbage\n");
    }
    ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(prefs.filePath()).constData()), 0);

    // A change through the window: the File View tab chosen.
    QTest::mouseClick(w.window.contentView()->tabStrip()->button(ContentTab::fileView), Qt::LeftButton);
    ASSERT_EQ(prefs.value(PreferenceKeys::selectedTab), "fileView");
    QVariantMap expected = held;
    expected.insert(QStringLiteral("selectedTab"), QStringLiteral("fileView"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return PropertyList::readFile(prefs.filePath()).dictionary.has_value(); }));
    EXPECT_EQ(settingsOf(PropertyList::readFile(prefs.filePath()).dictionary.value_or(QVariantMap())), expected);
    EXPECT_EQ(settingsOf(prefs.dictionaryRepresentation()), expected) << "the window reads what it held";
    EXPECT_TRUE(prefs.value(PreferenceKeys::suppressMoveToApplicationsPrompt));
    QFile kept(prefs.filePath() + QStringLiteral(".malformed"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("garbage\n"));
}

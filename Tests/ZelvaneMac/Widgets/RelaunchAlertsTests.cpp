#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "QtWidgetTestApp.hpp"
#include "StandInProgram.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"

namespace zelvane {
namespace {

QMessageBox* openBox(QWidget& window) {
    QMessageBox* found = nullptr;
    pumpWidgetsUntil([&] {
        for (QMessageBox* box : window.findChildren<QMessageBox*>())
            if (box->isVisible()) found = box;
        return found != nullptr;
    });
    return found;
}

QStringList buttonTexts(QMessageBox* box) {
    QStringList out;
    for (QAbstractButton* b : box->buttons()) out << b->text().replace("&&", "&");
    out.sort();
    return out;
}

QAbstractButton* button(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text().replace("&&", "&") == text) return b;
    return nullptr;
}

struct Window {
    QTemporaryDir dir;
    StandIn sudo{dir.path(), "sudo"};
    StandIn program{dir.path(), "ZelvaneMac"};
    StandIn prompt{dir.path(), "Ostrane"};
    Preferences preferences{dir.path() + "/prefs.plist"};
    MainWindow window{preferences, CLIAutomation::Options{}};
    int quits = 0;

    Window() {
        RelaunchEnvironment env;
        env.sudoProgram = sudo.path();
        env.executablePath = program.path();
        env.askpassPath = prompt.path();
        env.environment = {"PATH=/usr/bin:/bin", "DISPLAY=:3"};
        env.quit = [this] { ++quits; };
        env.atQuit = [](std::function<void()>) {};
        installElevatedRelaunch(window.prompts(), window.preferences(), env);
        window.show();
    }
};

TEST(RelaunchAlerts, ConfirmationsRunTheResetOnlyOnResetAndRestart) {
    qtWidgetApp();
    Window w;
    w.preferences.set(PreferenceKeys::csvMaxDepth, 3);
    w.preferences.set(PreferenceKeys::suppressFullDiskAccessPrompt, true);

    w.window.sheets().present(AskedSheet::resetSettings);
    QMessageBox* box = openBox(w.window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Reset All Settings?");
    EXPECT_TRUE(box->informativeText().startsWith("This clears every saved setting - window size and position"));
    EXPECT_EQ(buttonTexts(box), (QStringList{"Cancel", "Reset & Restart"}));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(box->grab().save(QStringLiteral("reset-settings-alert.png")));
    const QPointer<QMessageBox> cancelled = box;
    QTest::mouseClick(button(box, "Cancel"), Qt::LeftButton);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !cancelled; }));
    EXPECT_EQ(w.quits, 0);
    EXPECT_TRUE(w.preferences.allKeys().contains("csvMaxDepth"));

    w.window.sheets().present(AskedSheet::resetPermissions);
    w.window.sheets().present(AskedSheet::resetPermissions);  // asked twice: one alert
    box = openBox(w.window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Reset All Permissions?");
    QTest::mouseClick(button(box, "Reset & Restart"), Qt::LeftButton);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.quits == 1; }));
    EXPECT_FALSE(w.preferences.allKeys().contains("suppressFullDiskAccessPrompt"));
    EXPECT_TRUE(w.preferences.allKeys().contains("csvMaxDepth"));

    w.window.sheets().present(AskedSheet::resetSettings);
    box = openBox(w.window);
    ASSERT_TRUE(box);
    QTest::mouseClick(button(box, "Reset & Restart"), Qt::LeftButton);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.quits == 2; }));
    EXPECT_TRUE(w.preferences.allKeys().isEmpty());
}

TEST(RelaunchAlerts, FailuresShowTheirDetailUntilDismissed) {
    qtWidgetApp();
    Window w;
    w.sudo.onStart(1, 1);
    // The prompt is told where the asking window is.
    performRestartAsAdministrator(w.window.prompts(), w.window.preferences(), w.window.frameGeometry());
    QMessageBox* box = openBox(w.window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Couldn't Restart");
    EXPECT_EQ(box->informativeText(), "Administrator access wasn't granted, or the password prompt was cancelled.");
    EXPECT_EQ(buttonTexts(box), QStringList{"OK"});
    const QRect frame = w.window.frameGeometry();
    EXPECT_EQ(w.sudo.variable(1, "ZELVANEMAC_WINDOW_FRAME"),
              QString("%1,%2,%3,%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()));
    EXPECT_TRUE(box->grab().save(QStringLiteral("couldnt-restart-alert.png")));
    QTest::mouseClick(button(box, "OK"), Qt::LeftButton);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.window.prompts().adminRelaunchErrorDetail(); }));

    w.window.prompts().setPermissionsResetErrorDetail(QString("cannot write /home/<b>anna</b>/x.plist"));
    box = openBox(w.window);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Couldn't Reset Permissions");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->informativeText(), "cannot write /home/<b>anna</b>/x.plist");
    QTest::keyClick(box, Qt::Key_Escape);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.window.prompts().permissionsResetErrorDetail(); }));
}

}  // namespace
}  // namespace zelvane

#include "Ostrane/PasswordDialog.hpp"
#include "Ostrane/PasswordOutput.hpp"

#include "QtWidgetTestApp.hpp"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <unistd.h>

using namespace ostrane;

namespace {

// Types text the way a keyboard layout delivers it, characters outside ASCII included.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Runs the dialog's own modal loop, doing `act` once it is up; returns the loop's result.
int runDialog(PasswordDialog& dialog, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, act);
    return dialog.exec();
}

}  // namespace

TEST(PasswordDialog, ShowsTheTextsAndAFocusedMaskedField) {
    qtWidgetApp();
    PasswordDialog dialog({"Administratorzugriff", "OK", "Abbrechen"}, "[sudo] Passwort für anna: ");
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    EXPECT_EQ(dialog.windowTitle(), "Administratorzugriff");
    EXPECT_EQ(QApplication::focusWidget(), dialog.field()) << "typing must go into the field at once";
    EXPECT_EQ(dialog.field()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.field()->size(), QSize(260, 24));
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_EQ(dialog.okButton()->text(), "OK");
    EXPECT_EQ(dialog.cancelButton()->text(), "Abbrechen");
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains("Administratorzugriff"));
    EXPECT_TRUE(labels.contains("[sudo] Passwort für anna: "));

    QTest::keyClicks(dialog.field(), "secret");
    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(QString(OSTRANE_SHOT_FOLDER) + "/ostrane-dialog.png"));
    dialog.reject();
}

TEST(PasswordDialog, OnlyOkAccepts) {
    qtWidgetApp();
    const AskpassStrings strings = AskpassStrings::english();
    {
        PasswordDialog dialog(strings, "Password:");
        const int result = runDialog(dialog, [&] {
            typeText(dialog.field(), "pass word ü€");
            QTest::keyClick(dialog.field(), Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted) << "Return presses OK, the default button";
        EXPECT_EQ(dialog.password(), "pass word ü€");
        dialog.forgetPassword();
        EXPECT_TRUE(dialog.password().isEmpty());
    }
    {
        PasswordDialog dialog(strings, "Password:");
        EXPECT_EQ(runDialog(dialog, [&] { QTest::mouseClick(dialog.okButton(), Qt::LeftButton); }), QDialog::Accepted);
        EXPECT_EQ(dialog.password(), "") << "an empty password is a password";
    }
    const struct {
        const char* how;
        std::function<void(PasswordDialog&)> act;
    } refusals[] = {
        {"Cancel", [](PasswordDialog& d) { QTest::mouseClick(d.cancelButton(), Qt::LeftButton); }},
        {"Escape", [](PasswordDialog& d) { QTest::keyClick(d.field(), Qt::Key_Escape); }},
        {"closing the window", [](PasswordDialog& d) { d.close(); }},
    };
    for (const auto& r : refusals) {
        PasswordDialog dialog(strings, "Password:");
        const int result = runDialog(dialog, [&] {
            QTest::keyClicks(dialog.field(), "typed");
            r.act(dialog);
        });
        EXPECT_EQ(result, QDialog::Rejected) << r.how;
    }
}

TEST(PasswordOutput, EveryByteOrAFailure) {
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // More than a pipe holds, so the write is split and resumed.
    QByteArray big(1 << 20, 'x');
    big[0] = 'a';
    big[big.size() - 1] = 'z';
    QByteArray received;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) received.append(buf, n);
    });
    EXPECT_TRUE(writeAll(fds[1], big));
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    EXPECT_EQ(received, big);

    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    EXPECT_FALSE(writeAll(fds[1], "secret")) << "nobody reads: a failure, not a success";
    ::close(fds[1]);
    EXPECT_FALSE(writeAll(fds[1], "secret")) << "a closed descriptor";
}

#include "Ostrane/PasswordDialog.hpp"
#include "Ostrane/PasswordOutput.hpp"

#include "QtWidgetTestApp.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
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

// sudo's prompt names the user, whose name may hold direction controls: shown, they would read
// "[sudo] password for anna: " in another order. They show as U+FFFD instead, as the main
// program shows them in names, and the prompt keeps its written order.
TEST(PasswordDialog, DirectionControlsInThePromptShowAsMarksAndReorderNothing) {
    qtWidgetApp();
    const QString controls[] = {QStringLiteral("\u202E"), QStringLiteral("\u202D"), QStringLiteral("\u2067"),
                                QStringLiteral("\u2066"), QStringLiteral("\u2068"), QStringLiteral("\u2069"),
                                QStringLiteral("\u200F"), QStringLiteral("\u200E"), QStringLiteral("\u061C"),
                                QStringLiteral("\u202A"), QStringLiteral("\u202B"), QStringLiteral("\u202C")};
    for (const QString& control : controls) {
        const QString prompt = QStringLiteral("[sudo] password for ") + control + QStringLiteral("anna: ");
        PasswordDialog dialog(AskpassStrings::english(), prompt);
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
        const QString shown = QStringLiteral("[sudo] password for \uFFFDanna: ");
        EXPECT_TRUE(labels.contains(shown)) << labels.join(u'|').toStdString();
        EXPECT_FALSE(labels.contains(prompt));
        EXPECT_EQ(dialog.field()->accessibleName(), shown);
    }
}

// However long sudo's prompt, the dialog fits the screen with the field and both buttons on it:
// a prompt of one endless word is wrapped anywhere, one of endless lines is cut with an
// ellipsis after the lines the screen has room for.
TEST(PasswordDialog, AVeryLongPromptLeavesTheFieldAndButtonsOnTheScreen) {
    qtWidgetApp();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QString words;
    for (int i = 0; i < 5000; ++i) words += QStringLiteral("word%1 ").arg(i);
    QString lines;
    for (int i = 0; i < 5000; ++i) lines += QStringLiteral("line %1\n").arg(i);
    const struct {
        const char* name;
        QString prompt;
    } cases[] = {
        {"one endless word", QString(100000, QLatin1Char('x'))},
        {"endless words", words},
        {"endless lines", lines},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PasswordDialog dialog(AskpassStrings::english(), c.prompt);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_LE(dialog.frameGeometry().width(), screen.width());
        EXPECT_LE(dialog.frameGeometry().height(), screen.height());
        dialog.move(screen.topLeft());
        for (QWidget* part : {static_cast<QWidget*>(dialog.field()), static_cast<QWidget*>(dialog.okButton()),
                              static_cast<QWidget*>(dialog.cancelButton())}) {
            const QRect onScreen(part->mapToGlobal(QPoint(0, 0)), part->size());
            EXPECT_TRUE(screen.contains(onScreen)) << part->metaObject()->className();
        }
        QString prompt;  // the longest text shown
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text().size() > prompt.size()) prompt = label->text();
        EXPECT_LT(prompt.size(), 5000);
        EXPECT_TRUE(prompt.contains(QChar(0x2026))) << "what is left out is marked";
        dialog.grab().save(QString(OSTRANE_SHOT_FOLDER) + "/ostrane-long-prompt-" + QString::number(&c - cases) + ".png");
        dialog.reject();
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

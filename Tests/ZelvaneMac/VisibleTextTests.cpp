#include <gtest/gtest.h>

#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {
namespace {

TEST(VisibleText, ControlAndDirectionCharactersBecomeVisibleOneForOne) {
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {QStringLiteral("plain name.txt"), QStringLiteral("plain name.txt")},
        {QStringLiteral("new\nline.txt"), QStringLiteral("new\u240Aline.txt")},
        {QStringLiteral("tab\there\x7F"), QStringLiteral("tab\u2409here\u2421")},
        // An override that would show "gpj.exe" as "exe.jpg", and the isolates and marks.
        {QStringLiteral("\u202Egpj.exe"), QStringLiteral("\uFFFDgpj.exe")},
        {QStringLiteral("a\u2066b\u2069c\u200Fd\u061C"), QStringLiteral("a\uFFFDb\uFFFDc\uFFFDd\uFFFD")},
        // Text in a right-to-left script itself is left as it is.
        {QStringLiteral("\u05E9\u05DC\u05D5\u05DD.txt"), QStringLiteral("\u05E9\u05DC\u05D5\u05DD.txt")},
    };
    for (const auto& c : cases) {
        const QString shown = withVisibleControlCharacters(c.in);
        EXPECT_EQ(shown, c.out) << c.in.toStdString();
        EXPECT_EQ(shown.size(), c.in.size());  // match ranges keep their places
    }
}

}  // namespace
}  // namespace zelvane

TEST(VisibleText, RightToLeftWindowsKeepPathsSizesAndDatesInTheirWrittenOrder) {
    const QString lrm(QChar(0x200E));
    for (const QString& text : {QStringLiteral("/tmp/x"), QStringLiteral("3.0 MB"), QStringLiteral("40.9%")}) {
        EXPECT_EQ(zelvane::inItsOwnDirection(text, Qt::RightToLeft), lrm + text);
        EXPECT_EQ(zelvane::inItsOwnDirection(text, Qt::LeftToRight), text);
    }
    // Text that starts right to left reads in its own direction already; empty text stays empty.
    const QString arabic = QString::fromUtf8("\u0645\u062C\u0644\u062F /tmp");
    EXPECT_EQ(zelvane::inItsOwnDirection(arabic, Qt::RightToLeft), arabic);
    EXPECT_EQ(zelvane::inItsOwnDirection(QString(), Qt::RightToLeft), QString());
}

// A name keeps its written order as a whole: set apart in a right-to-left window, left as it is
// (but for its control characters) in a left-to-right one.
TEST(VisibleText, NamesAreSetApartOnlyInRightToLeftWindows) {
    const QString name = QStringLiteral("back\\slash.\n");
    const QString visible = QStringLiteral("back\\slash.\u240A");
    EXPECT_EQ(zelvane::shownName(name, Qt::LeftToRight), visible);
    EXPECT_EQ(zelvane::shownName(name, Qt::RightToLeft), QChar(0x2068) + visible + QChar(0x2069));
    EXPECT_EQ(zelvane::shownName(QString(), Qt::RightToLeft), QString());
    // Set apart already, a name gets no mark in front in a table's cell.
    const QString isolated = zelvane::shownName(QStringLiteral("/tmp/x"), Qt::RightToLeft);
    EXPECT_EQ(zelvane::inItsOwnDirection(isolated, Qt::RightToLeft), isolated);
}

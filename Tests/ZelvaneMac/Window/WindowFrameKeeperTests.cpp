// The window frame kept per display arrangement, with made-up screens: what a window restores,
// where a new one opens, when a move or resize is written, and the correction after a change of
// screen shrank the window.

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/WindowFrameKeeper.hpp"

namespace zelvane {
namespace {

using Kind = FrameRestore::Kind;

// A wide screen at the origin with a panel at its top, and a smaller one to its right.
const ScreenArea wide{{0, 0, 1920, 1080}, {0, 32, 1920, 1048}, 1.0};
const ScreenArea side{{1920, 0, 1280, 1024}, {1920, 0, 1280, 1024}, 2.0};

// A window as the keeper sees it; its screen is whichever listed screen holds its centre.
struct FakeWindow {
    std::vector<ScreenArea> screens{wide, side};
    QRect frame{10, 10, 1000, 650};
    std::vector<QRect> framesSet;

    std::optional<ScreenArea> screen() const {
        for (const ScreenArea& s : screens)
            if (s.geometry.contains(frame.center())) return s;
        return std::nullopt;
    }
    WindowFrameKeeper::Hooks hooks() {
        WindowFrameKeeper::Hooks h;
        h.screens = [this] { return screens; };
        h.windowScreen = [this] { return screen(); };
        h.frame = [this] { return frame; };
        h.setFrame = [this](const QRect& r) {
            frame = r;
            framesSet.push_back(r);
        };
        h.setSize = [this](QSize s) { frame.setSize(s); };
        return h;
    }
};

TEST(WindowFrame, RestoresOnlyAFrameWithASizeThatMeetsAScreen) {
    const QRect current(10, 10, 1000, 650);
    const auto choose = [&](const std::optional<QString>& saved) {
        return chooseRestoredFrame(saved, {wide, side}, wide, current);
    };
    // Nothing stored: the default size centred in the free area of the screen at the origin.
    FrameRestore r = choose(std::nullopt);
    EXPECT_EQ(r.kind, Kind::defaultPlacement);
    EXPECT_EQ(r.frame, QRect((1920 - 1436) / 2, 32 + (1048 - 758) / 2, 1436, 758));

    // Stored and usable: on either screen, or only partly on one.
    EXPECT_EQ(choose(QString("2000,100,800,600")).frame, QRect(2000, 100, 800, 600));
    r = choose(QString(" 3000 , 900,800 ,600"));  // reaches into the side screen's bottom corner
    EXPECT_EQ(r.kind, Kind::savedFrame);
    EXPECT_EQ(r.frame, QRect(3000, 900, 800, 600));
    EXPECT_EQ(choose(QString("-700,-500,800,600")).kind, Kind::savedFrame);

    // Stored but unusable: the window keeps what it has, and no default placement either.
    // A frame larger than the two screens together is held to their extent.
    EXPECT_EQ(choose(QString("0,0,100000,90000")).frame, QRect(0, 0, 3200, 1080));
    for (const char* text : {"5000,5000,800,600", "-2147483648,0,2147483647,600", "0,0,9999999,600", "-900,100,800,600", "100,100,0,600", "100,100,800,-1", "", "abc",
                             "1,2,3", "1,2,3,4,5", "1.5,2,800,600"}) {
        r = choose(QString(text));
        EXPECT_EQ(r.kind, Kind::unchanged) << text;
        EXPECT_EQ(r.frame, current) << text;
    }

    // No screen at the origin: the window's own screen; a screen smaller than the default size
    // gets a window that fits inside its free area.
    const ScreenArea laptop{{100, 0, 1366, 768}, {100, 0, 1366, 740}, 1.0};
    r = chooseRestoredFrame(std::nullopt, {laptop}, laptop, current);
    EXPECT_EQ(r.kind, Kind::defaultPlacement);
    EXPECT_EQ(r.frame, QRect(100, 0, 1366, 740));
    // Smaller than the window can be: at the free area's corner.
    const ScreenArea tiny{{0, 0, 800, 600}, {0, 24, 800, 576}, 1.0};
    EXPECT_EQ(chooseRestoredFrame(std::nullopt, {tiny}, tiny, current, QSize(1000, 650)).frame, QRect(0, 24, 1000, 650));
    // No screen at all: only the size.
    r = chooseRestoredFrame(std::nullopt, {}, std::nullopt, current);
    EXPECT_EQ(r.kind, Kind::defaultSize);
    EXPECT_EQ(r.frame, QRect(10, 10, 1436, 758));

    EXPECT_EQ(windowFrameFromText(windowFrameText(QRect(-40, 7, 1436, 758))), QRect(-40, 7, 1436, 758));
}

// Hand-edited frames that meet a screen only because they are huge: once held to the desktop's
// extent the window must still be on a screen, else it opens where nobody can see or reach it.
TEST(WindowFrame, AFrameHeldToTheDesktopStaysOnAScreen) {
    const QRect current(10, 10, 1000, 650);
    const std::vector<ScreenArea> screens{wide, side};
    const QRect desktop(0, 0, 3200, 1080);
    for (const char* text : {"-5000,-5000,5100,5100", "-900000,-900000,999999,999999", "3100,1000,900000,900000",
                             "-4000,500,7000,300", "100,-9000,800,9500"}) {
        const FrameRestore r = chooseRestoredFrame(QString(text), screens, wide, current);
        EXPECT_EQ(r.kind, Kind::savedFrame) << text;
        EXPECT_TRUE(r.frame.intersects(wide.geometry) || r.frame.intersects(side.geometry)) << text << " " << r.frame.x()
                                                                                            << "," << r.frame.y();
        EXPECT_TRUE(desktop.contains(r.frame.topLeft())) << text;
    }
    // Held only where it had to be: a frame that fits keeps its place, even partly off-screen.
    EXPECT_EQ(chooseRestoredFrame(QString("-700,-500,800,600"), screens, wide, current).frame, QRect(-700, -500, 800, 600));
    EXPECT_EQ(chooseRestoredFrame(QString("-5000,-5000,5100,5100"), screens, wide, current).frame, QRect(0, 0, 3200, 1080));

    // The same from a real settings file, as a window opening after the hand edit sees it.
    QTemporaryDir dir;
    const QString path = dir.filePath("prefs.plist");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>%1</key>"
                              "<string>-5000,-5000,5100,5100</string></dict></plist>\n")
                   .arg(windowFrameKey(screens))
                   .toUtf8());
    file.close();
    qtWidgetApp();
    Preferences prefs(path);
    FakeWindow window;
    WindowFrameKeeper keeper(prefs, window.hooks());
    EXPECT_EQ(keeper.restore().kind, Kind::savedFrame);
    EXPECT_TRUE(window.screen()) << window.frame.x() << "," << window.frame.y();
}

TEST(WindowFrame, KeysFollowThePrimaryScreen) {
    EXPECT_EQ(windowFrameKey({side, wide}), "ZelvaneMac.MainWindowFrame.1920x1080@1.0");
    // Without a screen at the origin the first listed one (the primary) names the arrangement.
    const ScreenArea shifted{{5, 0, 1280, 1024}, {5, 0, 1280, 1024}, 2.0};
    EXPECT_EQ(windowFrameKey({shifted, side}), "ZelvaneMac.MainWindowFrame.1280x1024@2.0");
    EXPECT_EQ(windowFrameKey({}), "ZelvaneMac.MainWindowFrame");
}

TEST(WindowFrame, UndoesAShrinkWithinTheNewScreen) {
    const QSize before(1400, 900);
    // A shrink of a point or less is none; no screen, no fix.
    EXPECT_FALSE(unshrunkFrame(before, QRect(0, 0, 1399, 899), wide));
    EXPECT_FALSE(unshrunkFrame(before, QRect(0, 0, 1000, 700), std::nullopt));
    // Room enough: the old size, the position kept.
    EXPECT_EQ(unshrunkFrame(before, QRect(100, 100, 1000, 700), wide), QRect(100, 100, 1400, 900));
    // The window would run past the free area: moved back inside it.
    EXPECT_EQ(unshrunkFrame(before, QRect(900, 400, 1000, 700), wide), QRect(520, 180, 1400, 900));
    // A screen smaller than the old size: as large as its free area, and inside it.
    const ScreenArea small{{1920, 0, 1280, 720}, {1920, 24, 1280, 696}, 1.0};
    EXPECT_EQ(unshrunkFrame(before, QRect(1800, 0, 1000, 600), small), QRect(1920, 24, 1280, 696));
}

struct KeeperRig {
    QTemporaryDir dir;
    Preferences prefs{dir.filePath("prefs.plist")};
    FakeWindow window;
    WindowFrameKeeper keeper{prefs, window.hooks()};
    KeeperRig() {
        qtWidgetApp();
        keeper.setSaveDelay(20);
    }
    std::optional<QString> stored(const std::vector<ScreenArea>& screens) const {
        return prefs.stringValue(windowFrameKey(screens));
    }
};

TEST(WindowFrameKeeper, RestoresOnceThenSavesEachSettledFrameUnderTheCurrentArrangement) {
    KeeperRig rig;
    const QString key = windowFrameKey(rig.window.screens);
    rig.prefs.setObject(key, QString("2000,100,900,700"));
    QSignalSpy done(&rig.keeper, &WindowFrameKeeper::restoreDidComplete);
    QSignalSpy writes(&rig.prefs, &Preferences::changed);

    // Changes before the restore are the window's own sizing, never written.
    rig.keeper.frameChanged();
    EXPECT_EQ(rig.keeper.restore().kind, Kind::savedFrame);
    EXPECT_EQ(rig.window.frame, QRect(2000, 100, 900, 700));
    EXPECT_EQ(done.count(), 1);
    rig.keeper.restore();
    EXPECT_EQ(done.count(), 1);
    QTest::qWait(60);
    EXPECT_EQ(writes.count(), 0);

    // A drag: many changes, one write of where it came to rest.
    for (int x = 2000; x <= 2100; x += 10) {
        rig.window.frame.moveLeft(x);
        rig.keeper.frameChanged();
    }
    EXPECT_EQ(writes.count(), 0);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return writes.count() > 0; }));
    QTest::qWait(60);
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(rig.stored(rig.window.screens), QString("2100,100,900,700"));

    // Another arrangement (the side screen alone): saves go to its key, the old record stays.
    const std::vector<ScreenArea> before = rig.window.screens;
    rig.window.screens = {ScreenArea{{0, 0, 1280, 1024}, {0, 0, 1280, 1024}, 2.0}};
    rig.window.frame = QRect(50, 60, 1100, 800);
    rig.keeper.frameChanged();
    rig.keeper.flush();  // a closing window writes at once
    EXPECT_EQ(rig.stored(rig.window.screens), QString("50,60,1100,800"));
    EXPECT_EQ(rig.stored(before), QString("2100,100,900,700"));
}

TEST(WindowFrameKeeper, NewWindowIsCentredAndAScreenChangeShrinkIsUndoneOnce) {
    KeeperRig rig;
    EXPECT_EQ(rig.keeper.restore().kind, Kind::defaultPlacement);
    EXPECT_EQ(rig.window.frame, QRect(242, 177, 1436, 758));

    // Dragged onto the side screen, where the desktop shrank it: once the frame is at rest the
    // earlier size comes back, inside the side screen.
    rig.keeper.screenChanged();
    rig.window.frame = QRect(2500, 300, 700, 400);
    rig.keeper.frameChanged();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.stored(rig.window.screens).has_value(); }));
    EXPECT_EQ(rig.window.frame, QRect(1920, 1024 - 758, 1280, 758));  // as wide as that screen allows, inside it
    ASSERT_TRUE(pumpWidgetsUntil([&] { return rig.stored(rig.window.screens) == windowFrameText(rig.window.frame); }));

    // The correction serves once: a later shrink by the user stays.
    const std::size_t fixes = rig.window.framesSet.size();
    rig.window.frame = QRect(2000, 300, 1100, 700);
    rig.keeper.frameChanged();
    rig.keeper.flush();
    EXPECT_EQ(rig.window.framesSet.size(), fixes);
    EXPECT_EQ(rig.stored(rig.window.screens), QString("2000,300,1100,700"));
}

}  // namespace
}  // namespace zelvane

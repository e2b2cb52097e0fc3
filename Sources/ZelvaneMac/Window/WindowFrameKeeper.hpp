#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace zelvane {

class Preferences;

// One display as the frame rules see it, in desktop coordinates (y grows downwards).
struct ScreenArea {
    QRect geometry;   // the whole screen
    QRect available;  // without the desktop's panels
    double scale = 1.0;
};

// The screen whose top-left corner is the desktop's origin, else the first listed (the primary);
// none without screens.
std::optional<ScreenArea> primaryScreenArea(const std::vector<ScreenArea>& screens);
// "ZelvaneMac.MainWindowFrame." and the primary screen's signature; the bare base without screens.
QString windowFrameKey(const std::vector<ScreenArea>& screens);

// A frame as stored: "x,y,width,height" in whole points. Reading trims spaces around each field;
// anything else, or a number beyond a million, reads as the empty rectangle, which no rule accepts.
QString windowFrameText(const QRect& frame);
QRect windowFrameFromText(const QString& text);

inline constexpr QSize defaultWindowFrameSize{1436, 758};

// What a window does with its frame when it first appears.
struct FrameRestore {
    enum class Kind {
        savedFrame,        // the stored frame: it has a size and meets a screen (held to the desktop's extent)
        defaultPlacement,  // nothing stored: the default size centred in the primary screen's free area
        defaultSize,       // nothing stored and no screen: the default size where the window is
        unchanged,         // something stored that is unusable: the window keeps what it has
    };
    Kind kind = Kind::unchanged;
    QRect frame;
};
// `windowScreen` is the screen the window is on, asked when no screen sits at the origin;
// `minimum` is the least size the window takes.
FrameRestore chooseRestoredFrame(const std::optional<QString>& saved, const std::vector<ScreenArea>& screens,
                                 const std::optional<ScreenArea>& windowScreen, const QRect& current,
                                 QSize minimum = {0, 0});

// After the window crossed to another screen that shrank it by more than a point: its earlier
// size as far as that screen's free area allows, moved inside that area. None when no fix is due.
std::optional<QRect> unshrunkFrame(QSize before, const QRect& current, const std::optional<ScreenArea>& screen);

// Keeps one main window's frame per display arrangement. It restores the frame when the window is
// first shown, then saves every move and resize once the frame has been still for `saveDelayMs`
// (the key formed at that moment, so a new arrangement gets its own record and the old keeps its
// own), and undoes a shrink that a change of screen caused. The window feeds it its geometry
// through the hooks, so the rules run without widgets.
class WindowFrameKeeper final : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<std::vector<ScreenArea>()> screens;
        std::function<std::optional<ScreenArea>()> windowScreen;
        std::function<QRect()> frame;
        std::function<QSize()> minimumSize;
        std::function<void(const QRect&)> setFrame;
        std::function<void(QSize)> setSize;  // when there is no screen to place the window on
    };

    WindowFrameKeeper(Preferences& preferences, Hooks hooks, QObject* parent = nullptr);
    ~WindowFrameKeeper() override;

    void setSaveDelay(int ms) { saveTimer_.setInterval(ms); }

    // Applies the stored frame or the default, then starts following the window and announces
    // that the restore is done. Later calls do nothing.
    FrameRestore restore();
    bool hasRestored() const { return restored_; }

    // The window moved or changed size.
    void frameChanged();
    // The window is now on another screen: its settled size is kept for one correction.
    void screenChanged();
    // Writes a pending save at once (the window is closing).
    void flush();

signals:
    void restoreDidComplete();

private:
    void save();

    Preferences& preferences_;
    Hooks hooks_;
    QTimer saveTimer_;
    bool restored_ = false;
    QSize settledSize_;
    std::optional<QSize> sizeBeforeScreenChange_;
};

}  // namespace zelvane

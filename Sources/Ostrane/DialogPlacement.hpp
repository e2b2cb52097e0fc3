#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace ostrane {

// The main program cannot be found in a window list here, so it says where its window is: the frame
// "x,y,width,height" in virtual-desktop coordinates (origin at the top left, y downwards), in this
// variable of the environment it gives sudo, which hands it on to the prompt.
inline constexpr char kWindowFrameVariable[] = "ZELVANEMAC_WINDOW_FRAME";

// Small windows (palettes, a minimised stub) never decide where the dialog goes.
inline constexpr qint64 kMinimumDecidingWindowArea = 500000;

struct ScreenArea {
    QRect geometry;   // the whole screen
    QRect available;  // without panels and docks
};

// The frame as the main program wrote it; none when it is not four integers with a positive size.
std::optional<QRect> parseWindowFrame(const QByteArray& text);

// The centre of the main program's window when its area is larger than kMinimumDecidingWindowArea.
std::optional<QPoint> decidingWindowCenter(const std::optional<QRect>& frame);

// Where the dialog's top-left corner goes so that it is centred on the available area of the first
// screen that holds `center`: the dialog goes to the display of the main window, not onto the
// window itself. None when no screen holds the point; the platform's placement then stands.
std::optional<QPoint> dialogOrigin(QPoint center, const QList<ScreenArea>& screens, QSize dialogSize);

}  // namespace ostrane

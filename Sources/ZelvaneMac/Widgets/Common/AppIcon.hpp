#pragma once

#include <QIcon>
#include <QImage>

namespace zelvane {

// The application icon, drawn rather than loaded so that every size is sharp: a rounded tile
// holding a small treemap. The image is square, `pixels` wide, with a transparent margin.
QImage zelvaneIconImage(int pixels);

// The icon at the sizes desktops ask for.
QIcon zelvaneIcon();

}  // namespace zelvane

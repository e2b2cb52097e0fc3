#pragma once

#include <QSizeF>
#include <QString>

#include <optional>

class QScreen;

namespace zelvane {

// The screen whose top-left corner is the origin of the desktop, else the application's primary
// screen; null without any screen.
QScreen* primaryDisplay();

// "WxH@S": width and height in device-independent pixels without decimals, the scale with one.
QString displaySignatureText(QSizeF size, double scale);
// The signature of `primaryDisplay()`, none without a screen.
std::optional<QString> currentDisplaySignature();

// A remembered layout's key: the base, ".", the signature; the base alone without a screen. Each
// user forms it when it reads or writes, so a change of displays selects another record.
QString keyWithDisplaySignature(const QString& base);

}  // namespace zelvane

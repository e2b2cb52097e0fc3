#pragma once

#include "ZelvaneMac/Actions/ActionServices.hpp"

namespace zelvane {

// The real desktop: the file manager over the session bus (org.freedesktop.FileManager1), the
// default applications through Qt, the terminal of the Debian alternatives (or $TERMINAL), and the
// application's clipboard.
class SystemDesktopServices final : public DesktopServices {
public:
    using DesktopServices::openUrl;
    bool openUrl(const QUrl& url, OpenFailure& failure, std::function<void(const OpenFailure&)> ended) override;
    bool showItems(const QList<QUrl>& urls) override;
    bool showItemProperties(const QList<QUrl>& urls) override;
    std::string terminalProgram() override;
    std::string ownProgram() override;
    int startDetached(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDirectory) override;
    void setClipboard(QMimeData* data) override;
};

}  // namespace zelvane

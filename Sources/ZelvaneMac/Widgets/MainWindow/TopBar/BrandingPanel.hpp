#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;

namespace zelvane {

class WindowServices;

// Who made the program, at the right end of the top bar: the icon (its tooltip tells where the
// settings of a portable copy are kept), name and version, the build year with the maker's name,
// and the maker's web address.
class BrandingPanel final : public QWidget {
    Q_OBJECT
public:
    BrandingPanel(const WindowServices& services, QWidget* parent = nullptr);

    // The maker's web host; a neutral name of our own.
    static constexpr const char* makerHost = "www.zelvanemac.example";

    // "" outside portable mode, "Portable Mode" without a drive name, else where settings live.
    static QString portableModeHelpText(bool isActive, const std::optional<QString>& driveName);
    // The maker's notice, "© <year> Zelvane Software", with the year of the build date
    // ("yyyyMMdd"): the one text that names the maker, here and on the About page.
    static QString makerNotice(const QString& buildDate);

    QLabel* iconLabel() const { return icon_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void refresh();

    const WindowServices& services_;
    QLabel* icon_;
    QMetaObject::Connection connection_;
};

}  // namespace zelvane

#pragma once

#include <QString>
#include <QWidget>
#include <string_view>

namespace zelvane {

// "yyyyMMdd" written "yyyy/MM/dd" from its own characters, so no time zone can move the day; text
// of another shape is shown as it is.
QString aboutPageDateText(std::string_view buildDate);

// The About tab: the icon, the name and version, the build date, the maker's notice and a line on
// what the program is, centred in the page.
class AboutPage final : public QWidget {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent = nullptr);
};

}  // namespace zelvane

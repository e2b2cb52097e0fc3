#pragma once

#include <QColor>
#include <QString>

#include <vector>

namespace zelvane {

// One colour of the Tags submenu. `name` (English) is what a file's tags receive.
struct TagColor {
    const char* name;
    QString title;
    QColor color;
};
const std::vector<TagColor>& tagColors();

}  // namespace zelvane

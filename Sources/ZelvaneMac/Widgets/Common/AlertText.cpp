#include "ZelvaneMac/Widgets/Common/AlertText.hpp"

#include <QLabel>
#include <QMessageBox>

namespace zelvane {

void setPlainInformativeText(QMessageBox& box, const QString& text) {
    box.setInformativeText(text);
    // The label exists once a text was set; it keeps its format for later texts.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

}  // namespace zelvane

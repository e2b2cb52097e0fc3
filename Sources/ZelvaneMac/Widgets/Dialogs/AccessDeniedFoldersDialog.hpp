#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;

namespace zelvane {

// Lists the folders the last scan could not open, with why that happens and what lifts it.
// Holds no state: the window builds it anew from the scan model's list each time.
class AccessDeniedFoldersDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AccessDeniedFoldersDialog(const QStringList& paths, QWidget* parent = nullptr);

    static QString explanation(qsizetype count);

    QLabel* explanationLabel() const { return explanation_; }
    QListWidget* list() const { return list_; }

private:
    QLabel* explanation_ = nullptr;
    QListWidget* list_ = nullptr;
};

}  // namespace zelvane

#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <span>

#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"
#include "ZelvaneMac/Window/MultiRootSelection.hpp"

class QListWidget;
class QMessageBox;
class QPushButton;

namespace zelvane {

class Preferences;

// The sheet in which several scan roots are picked at once: the mounted volumes and the user's
// own folders, each with a check mark. A click on a row highlights it and flips its mark; the
// arrow keys move the highlight and Space flips the highlighted row's mark. OK
// refuses roots that lie inside one another (an alert says which) and otherwise stores the user
// folders and reports the checked paths.
class SelectMultipleDialog final : public QDialog {
    Q_OBJECT
public:
    SelectMultipleDialog(std::span<const VolumeInfo> volumes, const QStringList& initiallyCheckedPaths,
                         Preferences& preferences, QWidget* parent = nullptr);

    // How "Add Folder…" asks for a folder; the standard folder panel unless replaced (tests).
    void setFolderChooser(std::function<QString(QWidget*)> chooser) { chooseFolder_ = std::move(chooser); }

    const MultiRootSelection& selection() const { return model_; }
    QListWidget* list() const { return list_; }
    QMessageBox* overlapAlert() const { return overlapAlert_; }
    // The checked paths of the confirmation that accepted the sheet.
    const QStringList& confirmedPaths() const { return confirmed_; }

    void clickRow(int row);
    void addFolder();
    void removeSelectedFolder();
    void setAllChecked(bool checked);
    void attemptOK();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    Preferences& preferences_;
    MultiRootSelection model_;
    QListWidget* list_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPointer<QMessageBox> overlapAlert_;
    std::function<QString(QWidget*)> chooseFolder_;
    QStringList confirmed_;
};

}  // namespace zelvane

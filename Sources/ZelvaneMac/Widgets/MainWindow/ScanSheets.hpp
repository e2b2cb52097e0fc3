#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"

namespace zelvane {

class ContentViewState;

// Presents the scan sheets of one window while their flags are set: the multi-root selection,
// the access-denied folders and the Full Disk Access prompt. Each sheet's own buttons clear its
// flag before the window acts on the answer. The sheets are window-modal and never block the
// event loop.
class ScanSheets final : public QObject {
    Q_OBJECT
public:
    ScanSheets(ContentViewState& state, QWidget* window);

    // Whether portable mode is active (the prompt's second wording); false unless set.
    void setIsPortable(std::function<bool()> isPortable) { isPortable_ = std::move(isPortable); }

    SelectMultipleDialog* selectMultipleSheet() const { return selectMultiple_; }
    AccessDeniedFoldersDialog* accessDeniedSheet() const { return accessDenied_; }
    FullDiskAccessPromptDialog* fullDiskAccessSheet() const { return fullDiskAccess_; }

private:
    void presentSelectMultiple(bool show);
    void presentAccessDenied(bool show);
    void presentFullDiskAccess(bool show);

    ContentViewState& state_;
    QWidget* window_;
    std::function<bool()> isPortable_;
    QPointer<SelectMultipleDialog> selectMultiple_;
    QPointer<AccessDeniedFoldersDialog> accessDenied_;
    QPointer<FullDiskAccessPromptDialog> fullDiskAccess_;
};

}  // namespace zelvane

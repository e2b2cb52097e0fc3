#include "ZelvaneMac/Widgets/MainWindow/ScanSheets.hpp"

#include <QWidget>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"
#include "ZelvaneMac/Widgets/Dialogs/SelectMultipleDialog.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

ScanSheets::ScanSheets(ContentViewState& state, QWidget* window) : QObject(window), state_(state), window_(window) {
    connect(&state_, &ContentViewState::showSelectMultipleSheetChanged, this, &ScanSheets::presentSelectMultiple);
    connect(&state_, &ContentViewState::showAccessDeniedFoldersSheetChanged, this, &ScanSheets::presentAccessDenied);
    connect(&state_, &ContentViewState::showFullDiskAccessAlertChanged, this, &ScanSheets::presentFullDiskAccess);
}

void ScanSheets::presentSelectMultiple(bool show) {
    if (!show) {
        if (selectMultiple_) selectMultiple_->close();
        return;
    }
    if (selectMultiple_) return;
    selectMultiple_ = new SelectMultipleDialog(state_.volumes(), state_.selectMultipleCheckedPaths(), state_.preferences(), window_);
    selectMultiple_->setAttribute(Qt::WA_DeleteOnClose);
    connect(selectMultiple_, &SelectMultipleDialog::confirmed, this, [this](const QStringList& paths) {
        state_.setShowSelectMultipleSheet(false);
        state_.scanControl().finishSelectMultiple(paths);
    });
    connect(selectMultiple_, &QDialog::rejected, this, [this] {
        if (!state_.showSelectMultipleSheet()) return;
        state_.setShowSelectMultipleSheet(false);
        state_.scanControl().resumeLiveMonitoringForCurrentRoots();
    });
    selectMultiple_->open();
}

void ScanSheets::presentAccessDenied(bool show) {
    if (!show) {
        if (accessDenied_) accessDenied_->close();
        return;
    }
    if (accessDenied_) return;
    accessDenied_ = new AccessDeniedFoldersDialog(state_.viewModel().lastScanAccessDeniedPaths(), window_);
    accessDenied_->setAttribute(Qt::WA_DeleteOnClose);
    connect(accessDenied_, &QDialog::finished, this, [this] { state_.setShowAccessDeniedFoldersSheet(false); });
    accessDenied_->open();
}

void ScanSheets::presentFullDiskAccess(bool show) {
    if (!show) {
        if (fullDiskAccess_) fullDiskAccess_->close();
        return;
    }
    if (fullDiskAccess_) return;
    fullDiskAccess_ = new FullDiskAccessPromptDialog(isPortable_ && isPortable_(), window_);
    fullDiskAccess_->setAttribute(Qt::WA_DeleteOnClose);
    connect(fullDiskAccess_, &FullDiskAccessPromptDialog::answered, this, [this](FullDiskAccessPromptDialog::Answer a) {
        // Linux has no privacy pane to open: "Open system settings…" only closes the prompt.
        if (a == FullDiskAccessPromptDialog::Answer::dontAskAgain)
            state_.preferences().set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
        state_.setShowFullDiskAccessAlert(false);
    });
    fullDiskAccess_->open();
}

}  // namespace zelvane

#include "ZelvaneMac/Window/WindowPrompts.hpp"

#include "ZelvaneMac/Window/AssignIfChanged.hpp"

namespace zelvane {

void WindowPrompts::setShowSelectMultipleSheet(bool value) {
    if (assignIfChanged(showSelectMultipleSheet_, value))
        emit showSelectMultipleSheetChanged(showSelectMultipleSheet_);
}

void WindowPrompts::setCsvExportErrorDetail(const std::optional<QString>& value) {
    if (assignIfChanged(csvExportErrorDetail_, value))
        emit csvExportErrorDetailChanged(csvExportErrorDetail_);
}

void WindowPrompts::setImportShortfallDetail(const std::optional<QString>& value) {
    if (assignIfChanged(importShortfallDetail_, value))
        emit importShortfallDetailChanged(importShortfallDetail_);
}

void WindowPrompts::setPermissionsResetErrorDetail(const std::optional<QString>& value) {
    if (assignIfChanged(permissionsResetErrorDetail_, value))
        emit permissionsResetErrorDetailChanged(permissionsResetErrorDetail_);
}

void WindowPrompts::setAdminRelaunchErrorDetail(const std::optional<QString>& value) {
    if (assignIfChanged(adminRelaunchErrorDetail_, value))
        emit adminRelaunchErrorDetailChanged(adminRelaunchErrorDetail_);
}

void WindowPrompts::setShowFullDiskAccessAlert(bool value) {
    if (assignIfChanged(showFullDiskAccessAlert_, value))
        emit showFullDiskAccessAlertChanged(showFullDiskAccessAlert_);
}

void WindowPrompts::setShowFullDiskAccessAlreadyGrantedAlert(bool value) {
    if (assignIfChanged(showFullDiskAccessAlreadyGrantedAlert_, value))
        emit showFullDiskAccessAlreadyGrantedAlertChanged(showFullDiskAccessAlreadyGrantedAlert_);
}

void WindowPrompts::setShowPreparePortableModePrompt(bool value) {
    if (assignIfChanged(showPreparePortableModePrompt_, value))
        emit showPreparePortableModePromptChanged(showPreparePortableModePrompt_);
}

void WindowPrompts::setShowMoveToApplicationsPrompt(bool value) {
    if (assignIfChanged(showMoveToApplicationsPrompt_, value))
        emit showMoveToApplicationsPromptChanged(showMoveToApplicationsPrompt_);
}

}  // namespace zelvane

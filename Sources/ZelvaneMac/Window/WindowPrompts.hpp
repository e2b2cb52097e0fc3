#pragma once

#include <QObject>

#include <QString>
#include <optional>

namespace zelvane {

// The sheets, alerts and prompts of one window that widget-free code raises: each is shown
// while its flag (or its detail text) is set, and the window's sheet code clears it when the
// user answers. The window's widgets ask its WindowSheets for theirs directly. Main thread only.
class WindowPrompts final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool showSelectMultipleSheet() const { return showSelectMultipleSheet_; }
    void setShowSelectMultipleSheet(bool value);
    const std::optional<QString>& csvExportErrorDetail() const { return csvExportErrorDetail_; }
    void setCsvExportErrorDetail(const std::optional<QString>& value);
    // What an import that gave a result could not read of its file.
    const std::optional<QString>& importShortfallDetail() const { return importShortfallDetail_; }
    void setImportShortfallDetail(const std::optional<QString>& value);
    const std::optional<QString>& permissionsResetErrorDetail() const { return permissionsResetErrorDetail_; }
    void setPermissionsResetErrorDetail(const std::optional<QString>& value);
    const std::optional<QString>& adminRelaunchErrorDetail() const { return adminRelaunchErrorDetail_; }
    void setAdminRelaunchErrorDetail(const std::optional<QString>& value);
    bool showFullDiskAccessAlert() const { return showFullDiskAccessAlert_; }
    void setShowFullDiskAccessAlert(bool value);
    bool showFullDiskAccessAlreadyGrantedAlert() const { return showFullDiskAccessAlreadyGrantedAlert_; }
    void setShowFullDiskAccessAlreadyGrantedAlert(bool value);
    bool showPreparePortableModePrompt() const { return showPreparePortableModePrompt_; }
    void setShowPreparePortableModePrompt(bool value);
    bool showMoveToApplicationsPrompt() const { return showMoveToApplicationsPrompt_; }
    void setShowMoveToApplicationsPrompt(bool value);

signals:
    void showSelectMultipleSheetChanged(bool value);
    void csvExportErrorDetailChanged(const std::optional<QString>& value);
    void importShortfallDetailChanged(const std::optional<QString>& value);
    void permissionsResetErrorDetailChanged(const std::optional<QString>& value);
    void adminRelaunchErrorDetailChanged(const std::optional<QString>& value);
    void showFullDiskAccessAlertChanged(bool value);
    void showFullDiskAccessAlreadyGrantedAlertChanged(bool value);
    void showPreparePortableModePromptChanged(bool value);
    void showMoveToApplicationsPromptChanged(bool value);

private:
    bool showSelectMultipleSheet_ = false;
    std::optional<QString> csvExportErrorDetail_;
    std::optional<QString> importShortfallDetail_;
    std::optional<QString> permissionsResetErrorDetail_;
    std::optional<QString> adminRelaunchErrorDetail_;
    bool showFullDiskAccessAlert_ = false;
    bool showFullDiskAccessAlreadyGrantedAlert_ = false;
    bool showPreparePortableModePrompt_ = false;
    bool showMoveToApplicationsPrompt_ = false;
};

}  // namespace zelvane

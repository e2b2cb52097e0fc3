#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "ZelvaneMac/Window/Treemap/ColorSettingsDraft.hpp"

class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zelvane {

class Preferences;

// The sheet in which the user decides how the treemap is coloured: by size rank or by extension
// lists, the 13 palette colours and the extensions of each slot. It edits a copy; OK hands the
// copy back through `chosen`, Cancel (or Escape, or closing the sheet) hands back nothing.
class ColorsSheet final : public QDialog {
    Q_OBJECT
public:
    ColorsSheet(ColorSettingsDraft draft, QWidget* parent = nullptr);

    // Opens the sheet over `window` from the stored settings; OK stores them and then calls
    // `stored` (the window recomputes its colour ranks). The sheet deletes itself when closed.
    static ColorsSheet* present(QWidget* window, Preferences& preferences, std::function<void()> stored);

    const ColorSettingsDraft& draft() const { return draft_; }
    // Sets slot `i`'s colour as its colour well would.
    void setColor(int slot, const QColor& color);

    QRadioButton* sizeButton() const { return size_; }
    QRadioButton* extensionButton() const { return extension_; }
    QLabel* extensionsHeader() const { return extensionsHeader_; }
    QPushButton* colorWell(int slot) const { return wells_.at(size_t(slot)); }
    QLineEdit* extensionField(int slot) const { return fields_.at(size_t(slot)); }
    QPushButton* defaultColorsButton() const { return defaultColors_; }
    QPushButton* colorBlindButton() const { return colorBlind_; }
    QPushButton* defaultExtensionsButton() const { return defaultExtensions_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void done(int result) override;

signals:
    // OK was pressed; sent once, before the sheet closes.
    void chosen(const ColorSettingsChoice& choice);

private:
    QWidget* buildTitle();
    QLayout* buildColorByRow();
    QLayout* buildSlotRows();
    QLayout* buildSlotRow(int slot);
    QLayout* buildPresetRow();
    QLayout* buildButtonRow();
    void refreshFromDraft();
    void refreshEnabled();
    void refreshWell(int slot);

    ColorSettingsDraft draft_;
    QRadioButton* size_ = nullptr;
    QRadioButton* extension_ = nullptr;
    QLabel* extensionsHeader_ = nullptr;
    std::vector<QPushButton*> wells_;
    std::vector<QLineEdit*> fields_;
    QPushButton* defaultColors_ = nullptr;
    QPushButton* colorBlind_ = nullptr;
    QPushButton* defaultExtensions_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool finished_ = false;
};

}  // namespace zelvane

#pragma once

#include <QDialog>

#include <vector>

#include "ZelvaneMac/Window/TweaksSettings.hpp"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace zelvane {

// The Tweaks sheet: eleven display and behaviour settings edited on a copy. OK (or Return)
// accepts with the copy in `settings()`; Cancel (or Escape) rejects and the copy is dropped.
class TweaksSheet final : public QDialog {
    Q_OBJECT
public:
    explicit TweaksSheet(const TweaksSettings& settings, QWidget* parent = nullptr);

    const TweaksSettings& settings() const { return settings_; }

    QSpinBox* decimalPlacesStepper() const { return decimals_; }
    QSpinBox* fileGroupStepper() const { return groupMin_; }
    QComboBox* sizeUnitsPicker() const { return units_; }
    QCheckBox* toggle(int index) const { return toggles_.at(size_t(index)); }  // in the order of the sheet

private:
    TweaksSettings settings_;
    std::vector<QCheckBox*> toggles_;  // one for each of `tweakToggles()`
    QComboBox* units_;
    QSpinBox* decimals_;
    QSpinBox* groupMin_;
};

}  // namespace zelvane

#pragma once

#include <QStringList>
#include <QWidget>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"

class QGridLayout;
class QLabel;

namespace zelvane {

class ScanViewModel;
class VolumeChoice;

// What the selections box reads from the preferences: how sizes are written, and the custom
// folders that decide the kind marker of a selection of several.
struct SelectionsBoxSettings {
    SizeTextFormat sizes;
    QStringList customFolders;

    static SelectionsBoxSettings of(const Preferences& preferences);
    bool operator==(const SelectionsBoxSettings&) const = default;
};

// What is selected for scanning ("Selection:" with the kind marker and the label), and, when the
// selected volume's capacities are known, its total, used and free space with their shares.
class SelectionsBox final : public QWidget {
    Q_OBJECT
public:
    SelectionsBox(Preferences& preferences, ScanViewModel& viewModel, const VolumeChoice& volumeChoice, QWidget* parent = nullptr);

    // The texts as shown, line by line (tests).
    QStringList lines() const;

private:
    // Fixed column widths, so the figures do not move as their texts change.
    static constexpr int kValueColumnWidth = 110;
    static constexpr int kLabelColumnWidth = 100;

    void refresh();

    SettingsWatcher<SelectionsBoxSettings> settings_;
    ScanViewModel& viewModel_;
    const VolumeChoice& volumeChoice_;
    QLabel* selectionValue_ = nullptr;
    QLabel* selectionLabel_ = nullptr;
    QLabel* stat_[3][3] = {};  // rows total, used, free; columns label, value, percent
};

}  // namespace zelvane

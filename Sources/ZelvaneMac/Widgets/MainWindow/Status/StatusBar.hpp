#pragma once

#include <QWidget>

#include <cstddef>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Window/WindowSelections.hpp"

class QFrame;
class QLabel;

namespace zelvane {

class FileViewResults;
class HoverPathState;
class ScanController;
class ScanViewModel;

// What the status bar reads from the preferences: how sizes are written, and whether the File
// View's totals count folders.
struct StatusBarSettings {
    SizeTextFormat sizes;
    bool fileIncludeFolders = false;

    static StatusBarSettings of(const Preferences& preferences);
    bool operator==(const StatusBarSettings&) const = default;
};

// The bottom line of a window: what is selected and how big it is (or, with nothing selected,
// the label of what was chosen to scan), the path under the pointer, and on the File View tab
// the count and totals of the listed rows. When live monitoring missed changes, a note on the
// right says that the result may no longer match the disk, until the next scan; on the Tree View
// tab, another says so when Expand All stopped short of the tree, until the outline is folded.
class StatusBar final : public QWidget {
    Q_OBJECT
public:
    StatusBar(Preferences& preferences, ScanViewModel& viewModel, WindowSelections selections,
              const ScanController& scanControl, FileViewResults& fileResults, HoverPathState& hoverPathState,
              QWidget* parent = nullptr);

    QLabel* summaryLabel() const { return summary_; }
    QLabel* hoverLabel() const { return hover_; }
    QLabel* totalsLabel() const { return totals_; }
    QLabel* staleNote() const { return stale_; }
    QLabel* expandAllNote() const { return expandAllNote_; }
    // Expand All opened at most `rowLimit` rows and left folders closed (or no longer does).
    void setExpandAllStopped(bool stopped, size_t rowLimit);

    // A selection of up to this many nodes is added up at once; a larger one in the background,
    // its totals shown when they are ready (the text before stays meanwhile).
    static constexpr size_t kSummaryCountedHere = 20'000;
    void setSummaryCountedHere(size_t nodes) { summaryCountedHere_ = nodes; }
    // A summary is being added up in the background.
    bool summaryPending() const { return summaryPending_; }

private:
    void refreshSummary();
    void refreshTotals();
    void refreshHover();
    void refreshStale();
    void refreshExpandAllNote();

    SettingsWatcher<StatusBarSettings> settings_;
    ScanViewModel& viewModel_;
    WindowSelections selections_;
    const ScanController& scanControl_;
    FileViewResults& fileResults_;
    HoverPathState& hoverPathState_;
    size_t summaryCountedHere_ = kSummaryCountedHere;
    JobGeneration summaryJobs_;
    bool summaryPending_ = false;
    QLabel* summary_ = nullptr;
    QLabel* hover_ = nullptr;
    QFrame* totalsDivider_ = nullptr;
    QLabel* totals_ = nullptr;
    QLabel* stale_ = nullptr;
    QLabel* expandAllNote_ = nullptr;
    bool expandAllStopped_ = false;
};

}  // namespace zelvane

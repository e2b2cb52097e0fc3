#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QStyle>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/WindowSelections.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"

namespace zelvane {

namespace {

QFrame* verticalDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

// A label whose text is cut (at its end unless told otherwise) when the frame is too narrow.
class ElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;
    void setElideMode(Qt::TextElideMode mode) { mode_ = mode; }
    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(plainToolTip(text));
        relayout();
    }
    const QString& fullText() const { return full_; }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLabel::resizeEvent(e);
        relayout();
    }

private:
    void relayout() {
        const int room = std::max(0, contentsRect().width());
        QLabel::setText(fontMetrics().elidedText(full_, mode_, room));
    }
    QString full_;
    Qt::TextElideMode mode_ = Qt::ElideRight;
};

ElidingLabel* elided(QWidget* parent) {
    auto* l = new ElidingLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return l;
}

}  // namespace

StatusBarSettings StatusBarSettings::of(const Preferences& preferences) {
    return {SizeTextFormat::of(preferences), preferences.value(PreferenceKeys::fileIncludeFolders)};
}

StatusBar::StatusBar(Preferences& preferences, ScanViewModel& viewModel, WindowSelections selections,
                     const ScanController& scanControl, FileViewResults& fileResults, HoverPathState& hoverPathState,
                     QWidget* parent)
    : QWidget(parent),
      settings_(preferences),
      viewModel_(viewModel),
      selections_(selections),
      scanControl_(scanControl),
      fileResults_(fileResults),
      hoverPathState_(hoverPathState) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    QPalette secondary = palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));

    summary_ = elided(this);
    summary_->setFixedWidth(450);
    summary_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    summary_->setPalette(secondary);
    row->addWidget(summary_);
    row->addWidget(verticalDivider(this));
    // The path under the pointer keeps both its start and its name: it is cut in the middle.
    auto* hover = elided(this);
    hover->setElideMode(Qt::ElideMiddle);
    hover->setContentsMargins(12, 0, 12, 0);
    hover->setPalette(secondary);
    hover_ = hover;
    row->addWidget(hover_, 1);
    totalsDivider_ = verticalDivider(this);
    row->addWidget(totalsDivider_);
    totals_ = elided(this);
    totals_->setFixedWidth(400 + 8);
    totals_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    totals_->setContentsMargins(8, 0, 0, 0);
    totals_->setPalette(secondary);
    row->addWidget(totals_);
    stale_ = new QLabel(this);
    stale_->setText(localized("Changes on disk were missed: scan again to bring the result up to date"));
    stale_->setToolTip(localized("Live monitoring could not follow every change (too many at once, or too many "
                                 "folders to watch). The sizes shown may be out of date."));
    QPalette warning = palette();
    warning.setColor(QPalette::WindowText, QColor(196, 110, 0));
    stale_->setPalette(warning);
    stale_->setContentsMargins(8, 0, 0, 0);
    row->addWidget(stale_);
    expandAllNote_ = new QLabel(this);
    expandAllNote_->setTextFormat(Qt::PlainText);
    expandAllNote_->setPalette(warning);
    expandAllNote_->setContentsMargins(8, 0, 0, 0);
    row->addWidget(expandAllNote_);

    ScanViewModel& model = viewModel_;
    connect(&model, &ScanViewModel::rootLabelChanged, this, &StatusBar::refreshSummary);
    connect(&selections_.tabs, &MainWindowController::selectedTabChanged, this, [this] {
        refreshSummary();
        refreshTotals();
        refreshExpandAllNote();
    });
    connect(&selections_.tree, &NodeSelection::changed, this, &StatusBar::refreshSummary);
    connect(&selections_.file, &NodeSelection::changed, this, &StatusBar::refreshSummary);
    // Live changes alter the sizes of selected folders.
    connect(&scanControl_.liveUpdates(), &LiveUpdates::liveChanges, this, &StatusBar::refreshSummary);
    connect(&fileResults_, &FileViewResults::fileResultCountChanged, this, &StatusBar::refreshTotals);
    connect(&fileResults_, &FileViewResults::fileResultTotalSizeChanged, this, &StatusBar::refreshTotals);
    connect(&fileResults_, &FileViewResults::fileResultTotalAllocChanged, this, &StatusBar::refreshTotals);
    connect(&settings_, &SettingsWatch::changed, this, [this] {
        refreshSummary();
        refreshTotals();
    });
    connect(&hoverPathState_, &HoverPathState::pathChanged, this, &StatusBar::refreshHover);
    connect(&scanControl_.liveUpdates(), &LiveUpdates::resultIsStaleChanged, this, &StatusBar::refreshStale);
    refreshSummary();
    refreshTotals();
    refreshHover();
    refreshStale();
    refreshExpandAllNote();
}

void StatusBar::refreshSummary() {
    const SizeTextFormat size = settings_.current().sizes;
    const NodeSet selected = selections_.shown();
    const SelectionCountMode mode =
        selections_.tabs.selectedTab() == ContentTab::treeView ? SelectionCountMode::filesBelowFolders
                                                               : SelectionCountMode::nodes;
    auto* label = static_cast<ElidingLabel*>(summary_);
    if (selected.isEmpty()) {
        summaryJobs_.supersede();
        summaryPending_ = false;
        label->setFullText(withVisibleControlCharacters(viewModel_.rootLabel()));
        return;
    }
    if (size_t(selected.size()) <= summaryCountedHere_) {
        summaryJobs_.supersede();
        summaryPending_ = false;
        label->setFullText(selectionSummaryText(selectionTotals(selected, mode), size));
        return;
    }
    // Every file of a type or every row of a long list: the set is shared, not copied, and the
    // trees it points into are held until the job ends.
    summaryPending_ = true;
    runInBackground(
        this, summaryJobs_,
        [selected, mode, held = scanControl_.selectionHeld()](const CancelFlag& cancel) {
            return selectionTotals(selected, mode, &cancel);
        },
        [this, label, size](const SelectionTotals& totals) {
            summaryPending_ = false;
            label->setFullText(selectionSummaryText(totals, size));
        });
}

void StatusBar::refreshTotals() {
    const bool fileView = selections_.tabs.selectedTab() == ContentTab::fileView;
    totalsDivider_->setVisible(fileView);
    totals_->setVisible(fileView);
    if (!fileView) return;
    const StatusBarSettings& settings = settings_.current();
    static_cast<ElidingLabel*>(totals_)->setFullText(fileViewTotalsText(fileResults_.fileResultCount(), settings.fileIncludeFolders,
                                                                        fileResults_.fileResultTotalSize(),
                                                                        fileResults_.fileResultTotalAlloc(), settings.sizes));
}

void StatusBar::refreshHover() {
    static_cast<ElidingLabel*>(hover_)->setFullText(shownName(hoverPathState_.path().value_or(QString()), layoutDirection()));
}

void StatusBar::refreshStale() { stale_->setVisible(scanControl_.liveUpdates().resultIsStale()); }

void StatusBar::setExpandAllStopped(bool stopped, size_t rowLimit) {
    expandAllStopped_ = stopped;
    expandAllNote_->setText(fillPlaceholders(localized("Expand All opens at most %@ rows; open the other folders one at a time"),
                                             {QLocale().toString(qulonglong(rowLimit))}));
    refreshExpandAllNote();
}

void StatusBar::refreshExpandAllNote() {
    expandAllNote_->setVisible(expandAllStopped_ && selections_.tabs.selectedTab() == ContentTab::treeView);
}

}  // namespace zelvane

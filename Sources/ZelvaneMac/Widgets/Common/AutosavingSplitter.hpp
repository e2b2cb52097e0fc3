#pragma once

#include <QSplitter>
#include <QString>

namespace zelvane {

class Preferences;

struct AutosavingSplitterSetup {
    QString baseName;  // "ZelvaneMac.TreeSplit", ...; the display signature is added
    Qt::Orientation orientation = Qt::Horizontal;  // Horizontal: panes side by side
    int minFirst = 0;   // least width (side by side) or height (stacked) of each pane
    int minSecond = 0;
    double initialFirstFraction = 0.5;  // the first pane's share while nothing is stored
};

// A split of two panes that remembers its divider per display arrangement, under the key formed
// from the base name and the display signature when the splitter is made.
//
// On its first real size the splitter takes the stored pane sizes, or gives the first pane its
// initial share. Stacked panes keep the bottom pane's height when the splitter grows or shrinks
// (a restored window frame, a resized window): the top pane takes the change, as users expect of a
// treemap under a list. Side-by-side panes share a change in proportion. Each press on the divider
// is announced before and after the drag, so that expensive panes can pause redrawing.
class AutosavingSplitter final : public QSplitter {
    Q_OBJECT
public:
    AutosavingSplitter(const AutosavingSplitterSetup& setup, Preferences& preferences, QWidget* parent = nullptr);

    // Puts a widget in pane 0 or 1 (replacing any there), with the pane's minimum size.
    void setPane(int pane, QWidget* widget);
    // Places the divider as a drag to `position` would (clamped by the minimums) and stores it.
    void moveDivider(int position) { moveSplitter(position, 1); }
    QString fullName() const { return fullName_; }
    bool hasAppliedInitialSizes() const { return applied_; }
    // Keeps the first sizes from being taken until `releaseInitialSizes` (the window is still
    // settling on its frame, and the panes would be fitted to a size about to change).
    void holdInitialSizes() { held_ = true; }
    void releaseInitialSizes();

signals:
    void dividerDragBegan();
    void dividerDragEnded();

protected:
    QSplitterHandle* createHandle() override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class AutosavingSplitterHandle;
    void applyInitialSizes();
    void saveSizes();

    AutosavingSplitterSetup setup_;
    Preferences& preferences_;
    QString fullName_;
    bool applied_ = false;
    bool held_ = false;
};

}  // namespace zelvane

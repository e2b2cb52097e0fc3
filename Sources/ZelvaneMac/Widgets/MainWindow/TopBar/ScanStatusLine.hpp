#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QToolButton;

namespace zelvane {

class PaneToggles;
class ScanViewModel;

// The line under the volume picker: what the last or running scan did, the note that some folders
// could not be read (it opens their list), and the toggle of the filter panel.
class ScanStatusLine final : public QWidget {
    Q_OBJECT
public:
    explicit ScanStatusLine(const ScanViewModel& viewModel, PaneToggles& panes, QWidget* parent = nullptr);

    QLabel* statusLabel() const { return status_; }
    QPushButton* accessDeniedNote() const { return deniedNote_; }
    QToolButton* filterToggle() const { return filterToggle_; }

signals:
    // The note was clicked: the list of the folders that could not be read is wanted.
    void accessDeniedFoldersAsked();

private:
    QPalette secondaryTextPalette() const;
    void addDeniedNote();
    void addFilterToggle();
    void refresh();

    const ScanViewModel& viewModel_;
    PaneToggles& panes_;
    QLabel* status_ = nullptr;
    QPushButton* deniedNote_ = nullptr;
    QToolButton* filterToggle_ = nullptr;
};

}  // namespace zelvane

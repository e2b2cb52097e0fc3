#pragma once

#include <QWidget>

class QPushButton;
class QToolButton;

namespace zelvane {

// The Scan/Cancel button and its administrator chevron on one rounded accent-coloured capsule.
// The chevron's menu offers the restart with the other rights; the capsule only reports the
// choice, the window's relaunch acts on it.
class ScanCapsule final : public QWidget {
    Q_OBJECT
public:
    explicit ScanCapsule(QWidget* parent = nullptr);

    QPushButton* scanButton() const { return scanButton_; }
    QToolButton* chevron() const { return chevron_; }

    // "Cancel" while a scan runs, and no restart offered then.
    void setScanning(bool scanning);
    // Dimmed and the button disabled while a rename is being typed.
    void setDimmed(bool dimmed);

signals:
    void scanAsAdminRequested();
    void scanAsNonAdminRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void addScanButton();
    void addChevron();
    void showAdminMenu();

    QPushButton* scanButton_ = nullptr;
    QToolButton* chevron_ = nullptr;
    bool dimmed_ = false;
};

}  // namespace zelvane

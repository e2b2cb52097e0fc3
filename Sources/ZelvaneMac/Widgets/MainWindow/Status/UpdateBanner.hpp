#pragma once

#include <QWidget>

class QAbstractButton;
class QLabel;

namespace zelvane {

class WindowServices;

// The strip across the top of the window that announces a newer version, while the program's
// update checker holds one. It says when an update is offered; the window shows or hides the
// strip's row with it (no empty row otherwise). "View Update" opens its page; the close button
// forgets the update, which removes the strip from every window at once.
class UpdateBanner final : public QWidget {
    Q_OBJECT
public:
    UpdateBanner(const WindowServices& services, QWidget* parent = nullptr);

    // The whole message, as the label shows it when there is room.
    QString text() const;
    bool isOffered() const { return offered_; }
    QAbstractButton* closeButton() const { return close_; }

signals:
    void offeredChanged(bool offered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void follow();
    void refresh();
    void fitMessage();

    const WindowServices& services_;
    QLabel* message_;
    QString fullText_;
    QAbstractButton* close_;
    bool offered_ = false;
    QMetaObject::Connection connection_;
};

}  // namespace zelvane

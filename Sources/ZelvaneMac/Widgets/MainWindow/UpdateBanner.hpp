#pragma once

#include <QWidget>

class QLabel;

namespace zelvane {

class ContentViewState;

// The strip across the top of the window that announces a newer version: shown only while the
// program's update checker holds one (no empty row otherwise). "View Update" opens its page; the
// close button forgets the update, which removes the strip from every window at once.
class UpdateBanner final : public QWidget {
    Q_OBJECT
public:
    UpdateBanner(ContentViewState& state, QWidget* parent = nullptr);

    QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();
    void refresh();

    ContentViewState& state_;
    QLabel* message_;
    QMetaObject::Connection connection_;
};

}  // namespace zelvane

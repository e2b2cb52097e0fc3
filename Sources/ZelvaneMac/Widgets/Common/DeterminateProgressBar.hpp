#pragma once

#include <QWidget>

namespace zelvane {

// A thin bar, 6 points high, filled to `fraction` (clamped to 0...1) with the accent colour over
// a faint rounded track. It takes the width it is given.
class DeterminateProgressBar final : public QWidget {
    Q_OBJECT
public:
    explicit DeterminateProgressBar(QWidget* parent = nullptr);

    double fraction() const { return fraction_; }
    void setFraction(double fraction);

    QSize sizeHint() const override { return {100, 6}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double fraction_ = 1.0;
};

}  // namespace zelvane

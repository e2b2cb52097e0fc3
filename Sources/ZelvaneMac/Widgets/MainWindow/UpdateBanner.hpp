#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class UpdateBanner final : public QWidget {
    Q_OBJECT
public:
    UpdateBanner(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class TopBar final : public QWidget {
    Q_OBJECT
public:
    TopBar(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

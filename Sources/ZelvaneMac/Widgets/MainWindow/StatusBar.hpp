#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class StatusBar final : public QWidget {
    Q_OBJECT
public:
    StatusBar(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class FilterPanel final : public QWidget {
    Q_OBJECT
public:
    FilterPanel(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class TreeViewTab final : public QWidget {
    Q_OBJECT
public:
    TreeViewTab(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

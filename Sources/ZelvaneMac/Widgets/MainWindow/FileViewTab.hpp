#pragma once

#include <QWidget>

namespace zelvane {

class ContentViewState;

class FileViewTab final : public QWidget {
    Q_OBJECT
public:
    FileViewTab(ContentViewState& state, QWidget* parent = nullptr);

private:
    [[maybe_unused]] ContentViewState& state_;
};

}  // namespace zelvane

#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <array>

#include "ZelvaneMac/Window/ContentTab.hpp"

namespace zelvane {

class MainWindowController;

// One tab of the strip: its title in the callout font with 14 x 6 points of margin, all of which
// takes clicks; the selected tab sits on a shape with rounded top corners.
class TabButton final : public QAbstractButton {
    Q_OBJECT
public:
    TabButton(const QString& title, QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return selected_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool selected_ = false;
};

// The strip of the window's three tabs, left-aligned; a click selects the tab in the window state,
// and the strip follows the state whoever changes it.
class TabStrip final : public QWidget {
    Q_OBJECT
public:
    TabStrip(MainWindowController& controller, QWidget* parent = nullptr);

    TabButton* button(ContentTab tab) const { return buttons_[size_t(tab)]; }

private:
    void follow(ContentTab selected);

    MainWindowController& controller_;
    std::array<TabButton*, 3> buttons_{};
};

}  // namespace zelvane

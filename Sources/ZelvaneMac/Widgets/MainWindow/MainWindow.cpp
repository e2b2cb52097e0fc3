#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"

#include <QGuiApplication>
#include <QScreen>

#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"

namespace zelvane {

MainWindow::MainWindow(Preferences& preferences, CLIAutomation::Options cliOptions, QWidget* parent)
    : QMainWindow(parent),
      state_(new ContentViewState(preferences, std::move(cliOptions), this)),
      controller_(new MainWindowController(*state_, this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(zelvaneIcon());
    state_->setHostWindow(this);
    contentView_ = new ContentView(*state_, this);
    contentView_->setMinimumSize(1000, 650);
    setCentralWidget(contentView_);
    setWindowTitle(controller_->windowTitle());
    // The ideal size, as far as the screen allows; the remembered frame, when there is one, is
    // applied over it.
    QSize size = sizeHint();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size()).expandedTo(minimumSizeHint());
    resize(size);
    connect(controller_, &MainWindowController::windowTitleChanged, this, &QWidget::setWindowTitle);
}

// The widgets go first: they observe the state, which must outlive them.
MainWindow::~MainWindow() { delete takeCentralWidget(); }

QSize MainWindow::sizeHint() const { return {1436, 758}; }

}  // namespace zelvane

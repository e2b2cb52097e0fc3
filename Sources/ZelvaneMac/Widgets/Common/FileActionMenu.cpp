#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"

#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "Platform/FileMoves.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Actions/SystemDesktopServices.hpp"
#include "ZelvaneMac/Actions/TagColors.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ActionAlertPrompter.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"

namespace zelvane {

namespace {

constexpr const char* kMoveToTrashItem = "moveToTrash";

QIcon tagIcon(const QColor& color) {
    constexpr int kSide = 12;
    QIcon icon;
    for (qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(QSize(kSide, kSide) * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(0, 0, kSide, kSide));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

std::shared_ptr<void> busyPointer() { return std::make_shared<ScopedBusyCursor>(); }

}  // namespace

FileActionMenu::FileActionMenu(QWidget* owner, LiveMonitorController* monitor) : QObject(owner), owner_(owner) {
    ownDesktop_ = std::make_unique<SystemDesktopServices>();
    ownPrompter_ = std::make_unique<ActionAlertPrompter>(owner);
    controller_ = std::make_unique<FileActionController>(*ownDesktop_, *ownPrompter_, busyPointer, monitor);
}

FileActionMenu::FileActionMenu(QWidget* owner, DesktopServices& desktop, ActionPrompter& prompter)
    : QObject(owner), owner_(owner) {
    controller_ = std::make_unique<FileActionController>(desktop, prompter, busyPointer);
}

FileActionMenu::~FileActionMenu() {
    delete preview_.data();
}

QMenu* FileActionMenu::makeContextMenu(FileActionHooks::Targets targets, QWidget* parent) {
    FileActionHooks::Selection selection;
    selection.nodes = targets;
    selection.count = [targets] { return countActionTargets(targets()); };
    selection.previewed = targets;
    return makeContextMenu(std::move(selection), parent);
}

QMenu* FileActionMenu::makeContextMenu(FileActionHooks::Selection selection, QWidget* parent) {
    auto* menu = new QMenu(parent);
    FileActionController* c = controller_.get();
    const FileActionHooks::Targets targets = selection.nodes;
    auto add = [&](const char* title, auto action) {
        QAction* item = menu->addAction(localized(title));
        connect(item, &QAction::triggered, this, [c, action, targets] { (c->*action)(targets()); });
        return item;
    };
    // The actions that take a selection of any size list a large one on the thread pool.
    using L = FileActionController::ListedAction;
    auto addListed = [&](const char* title, auto action, L listed) {
        if (!selection.listing) return add(title, action);
        QAction* item = menu->addAction(localized(title));
        connect(item, &QAction::triggered, this, [c, listed, listing = selection.listing] { c->actOnListing(listed, listing()); });
        return item;
    };
    auto addCommand = [&](const char* title, const std::function<void()>& command) {
        connect(menu->addAction(localized(title)), &QAction::triggered, this, [&command] {
            if (command) command();
        });
    };
    add(textKey("Open"), &FileActionController::open);
    addListed(textKey("Show in File Manager"), &FileActionController::showInFileManager, L::showInFileManager);
    menu->addSeparator();
    addListed(textKey("Move to Trash"), &FileActionController::moveToTrash, L::moveToTrash)
        ->setObjectName(QLatin1String(kMoveToTrashItem));
    menu->addSeparator();
    add(textKey("Get Info"), &FileActionController::getInfo);
    add(textKey("Compress"), &FileActionController::compress);
    add(textKey("Duplicate"), &FileActionController::duplicate);
    add(textKey("Make Link"), &FileActionController::makeLink);
    connect(menu->addAction(localized("Quick Look")), &QAction::triggered, this,
            [this, previewed = selection.previewed] { quickLook(previewed()); });
    addListed(textKey("Copy"), &FileActionController::copy, L::copy);
    addListed(textKey("Copy Path"), &FileActionController::copyPath, L::copyPath);
    menu->addSeparator();

    auto* tags = new QMenu(localized("Tags\u2026"), menu);
    for (const TagColor& tag : tagColors()) {
        QAction* item = tags->addAction(tagIcon(tag.color), tag.title);
        item->setData(QString::fromLatin1(tag.name));
        connect(item, &QAction::triggered, this, [c, targets, name = QString::fromLatin1(tag.name)] { c->setTag(targets(), name); });
    }
    tags->addSeparator();
    QAction* none = tags->addAction(localized("None"));
    none->setData(QString());
    connect(none, &QAction::triggered, this, [c, targets] { c->setTag(targets(), QString()); });
    menu->addMenu(tags);
    menu->addSeparator();

    addListed(textKey("New Terminal at Folder"), &FileActionController::newTerminal, L::newTerminal);
    addCommand(textKey("Export to .CSV file\u2026"), exportToCSV_);
    // The program's own name, the same in every language.
    QAction* instance = menu->addAction(QStringLiteral("Zelvane"));
    connect(instance, &QAction::triggered, this, [c, targets] { c->launchNewInstance(targets()); });
    menu->addSeparator();
    addCommand(textKey("Zoom in Treemap"), zoomIn_);
    addCommand(textKey("Zoom out Treemap"), zoomOut_);

    QPointer<QMenu> guarded(menu);
    connect(menu, &QMenu::aboutToShow, this, [guarded, count = selection.count] {
        if (guarded) updateMenu(*guarded, count());
    });
    return menu;
}

void FileActionMenu::updateMenu(QMenu& menu, const std::vector<FileNode*>& targets) {
    updateMenu(menu, countActionTargets(targets));
}

void FileActionMenu::updateMenu(QMenu& menu, size_t targetCount) {
    FileActionMenuState state = FileActionController::menuState(targetCount);
    for (QAction* item : menu.actions()) {
        item->setEnabled(state.enabled);
        if (item->objectName() == QLatin1String(kMoveToTrashItem)) item->setText(state.moveToTrashTitle);
    }
}

QMenu* FileActionMenu::popUp(std::vector<FileNode*> nodes, const QPoint& globalPos,
                             const std::function<void(QMenu&)>& appendItems) {
    QMenu* menu = makeContextMenu([nodes] { return nodes; }, owner_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (appendItems) appendItems(*menu);
    updateMenu(*menu, nodes);
    menu->popup(globalPos);
    return menu;
}

void FileActionMenu::quickLook(std::vector<FileNode*> nodes) {
    std::vector<std::string> paths = controller_->quickLook(nodes);
    if (!paths.empty()) showPreview(std::move(paths));
}

void FileActionMenu::showPreview(std::vector<std::string> paths) {
    if (!preview_) {
        preview_ = new PreviewWindow(owner_ ? owner_->window() : nullptr);
        connect(preview_, &PreviewWindow::openRequested, this, [this](const std::string& path) {
            ActionTarget item;
            item.path = path;
            item.givenName = alerts::shownPath(lastComponent(path));
            controller_->openItem(item);
        });
    }
    preview_->showItems(std::move(paths));
}

FileActionHooks fileActionHooks(std::function<FileActionMenu*()> menu) {
    FileActionHooks hooks;
    hooks.makeContextMenu = [menu](QWidget* view, FileActionHooks::Targets targets) -> QMenu* {
        FileActionMenu* m = menu();
        if (!m) return nullptr;
        QMenu* contextMenu = m->makeContextMenu(targets, view);
        FileActionMenu::updateMenu(*contextMenu, targets());
        return contextMenu;
    };
    hooks.makeSelectionMenu = [menu](QWidget* view, FileActionHooks::Selection selection) -> QMenu* {
        FileActionMenu* m = menu();
        if (!m) return nullptr;
        const size_t count = selection.count ? selection.count() : 0;
        QMenu* contextMenu = m->makeContextMenu(std::move(selection), view);
        FileActionMenu::updateMenu(*contextMenu, count);
        return contextMenu;
    };
    hooks.quickLook = [menu](QWidget*, const std::vector<FileNode*>& nodes) {
        if (FileActionMenu* m = menu()) m->quickLook(nodes);
    };
    hooks.rename = [menu](QWidget*, FileNode* node, const QString& name) {
        FileActionMenu* m = menu();
        return m && m->performRename(node, name);
    };
    return hooks;
}

FileActionHooks fileActionHooks(FileActionMenu& menu) {
    return fileActionHooks([guarded = QPointer<FileActionMenu>(&menu)] { return guarded.data(); });
}

}  // namespace zelvane

#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"

#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include "ZelvaneMac/Actions/SystemDesktopServices.hpp"
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

}  // namespace

FileActionMenu::FileActionMenu(QWidget* owner) : QObject(owner), owner_(owner) {
    ownDesktop_ = std::make_unique<SystemDesktopServices>();
    ownPrompter_ = std::make_unique<ActionAlertPrompter>(owner);
    desktop_ = ownDesktop_.get();
    controller_ = std::make_unique<FileActionController>(*ownDesktop_, *ownPrompter_);
    controller_->onShowPreview = [this] { showPreview(); };
    controller_->busyIndicator = [] { return std::static_pointer_cast<void>(std::make_shared<ScopedBusyCursor>()); };
}

FileActionMenu::FileActionMenu(QWidget* owner, DesktopServices& desktop, ActionPrompter& prompter)
    : QObject(owner), owner_(owner), desktop_(&desktop) {
    controller_ = std::make_unique<FileActionController>(desktop, prompter);
    controller_->onShowPreview = [this] { showPreview(); };
    controller_->busyIndicator = [] { return std::static_pointer_cast<void>(std::make_shared<ScopedBusyCursor>()); };
}

FileActionMenu::~FileActionMenu() {
    delete preview_.data();
}

QMenu* FileActionMenu::makeContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    FileActionController* c = controller_.get();
    auto add = [&](const char* title, auto action) {
        QAction* item = menu->addAction(localized(title));
        connect(item, &QAction::triggered, this, [c, action] { (c->*action)(); });
        return item;
    };
    add(textKey("Open"), &FileActionController::open);
    add(textKey("Show in File Manager"), &FileActionController::showInFileManager);
    menu->addSeparator();
    add(textKey("Move to Trash"), &FileActionController::moveToTrash)->setObjectName(QLatin1String(kMoveToTrashItem));
    menu->addSeparator();
    add(textKey("Get Info"), &FileActionController::getInfo);
    add(textKey("Compress"), &FileActionController::compress);
    add(textKey("Duplicate"), &FileActionController::duplicate);
    add(textKey("Make Link"), &FileActionController::makeLink);
    add(textKey("Quick Look"), &FileActionController::quickLook);
    add(textKey("Copy"), &FileActionController::copy);
    add(textKey("Copy Path"), &FileActionController::copyPath);
    menu->addSeparator();

    auto* tags = new QMenu(localized("Tags\u2026"), menu);
    for (const TagColor& tag : tagColors()) {
        QAction* item = tags->addAction(tagIcon(tag.color), tag.title);
        item->setData(QString::fromLatin1(tag.name));
        connect(item, &QAction::triggered, this, [c, name = QString::fromLatin1(tag.name)] { c->setTag(name); });
    }
    tags->addSeparator();
    QAction* none = tags->addAction(localized("None"));
    none->setData(QString());
    connect(none, &QAction::triggered, this, [c] { c->setTag(QString()); });
    menu->addMenu(tags);
    menu->addSeparator();

    add(textKey("New Terminal at Folder"), &FileActionController::newTerminal);
    add(textKey("Export to .CSV file\u2026"), &FileActionController::exportToCSV);
    // The program's own name, the same in every language.
    QAction* instance = menu->addAction(QStringLiteral("Zelvane"));
    connect(instance, &QAction::triggered, this, [c] { c->launchNewInstance(); });
    menu->addSeparator();
    add(textKey("Zoom in Treemap"), &FileActionController::zoomTreemap);
    add(textKey("Zoom out Treemap"), &FileActionController::unzoomTreemap);

    QPointer<QMenu> guarded(menu);
    connect(menu, &QMenu::aboutToShow, this, [this, guarded] {
        if (guarded) updateMenu(*guarded);
    });
    return menu;
}

void FileActionMenu::updateMenu(QMenu& menu) {
    FileActionMenuState state = controller_->menuState();
    for (QAction* item : menu.actions()) {
        item->setEnabled(state.enabled);
        if (item->objectName() == QLatin1String(kMoveToTrashItem)) item->setText(state.moveToTrashTitle);
    }
}

QMenu* FileActionMenu::popUp(std::vector<FileNode*> nodes, const QPoint& globalPos,
                             const std::function<void(QMenu&)>& appendItems) {
    controller_->targetNodesProvider = [nodes = std::move(nodes)] { return nodes; };
    QMenu* menu = makeContextMenu(owner_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (appendItems) appendItems(*menu);
    updateMenu(*menu);
    menu->popup(globalPos);
    return menu;
}

void FileActionMenu::quickLook(std::vector<FileNode*> nodes) {
    controller_->targetNodesProvider = [nodes = std::move(nodes)] { return nodes; };
    controller_->quickLook();
}

void FileActionMenu::showPreview() {
    if (!preview_) {
        preview_ = new PreviewWindow(owner_ ? owner_->window() : nullptr);
        DesktopServices* desktop = desktop_;
        connect(preview_, &PreviewWindow::openRequested, this,
                [desktop](const std::string& path) { desktop->openUrl(fileUrlFromPathBytes(path)); });
    }
    std::vector<std::string> paths;
    for (int i = 0; i < controller_->previewItemCount(); ++i) paths.push_back(controller_->previewPathAt(i));
    preview_->showItems(std::move(paths));
}

FileActionHooks fileActionHooks(std::function<FileActionMenu*()> menu) {
    FileActionHooks hooks;
    hooks.makeContextMenu = [menu](QWidget* view, FileActionHooks::Targets targets) -> QMenu* {
        FileActionMenu* m = menu();
        if (!m) return nullptr;
        m->actions().targetNodesProvider = std::move(targets);
        QMenu* contextMenu = m->makeContextMenu(view);
        m->updateMenu(*contextMenu);
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

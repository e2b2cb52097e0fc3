#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"

#include <QContextMenuEvent>
#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QToolTip>

#include <cmath>
#include <vector>

#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"

namespace zelvane {

namespace {

QRectF toQRect(const TreemapRect& r) { return QRectF(r.x, r.y, r.width, r.height); }

const QColor& deletedColor() {
    static const QColor red(255, 59, 48);
    return red;
}

// The inner band, `width` points wide, of every box, filled in one call without antialiasing: what
// a pen of that width drawn along the box inset by half of it paints, at a fraction of the cost
// when a live deletion outlines tens of thousands of boxes on every repaint; boxes outside the part
// being painted again (a hover moving between two boxes) are left out. Edges are taken to
// the nearest whole point, where a fill without antialiasing puts them anyway: whole rectangles
// take the painter's quickest way.
void fillInnerBands(QPainter& p, std::span<const TreemapRect> boxes, int width, const QColor& color,
                    const QRegion& exposed) {
    std::vector<QRect> bands;
    bands.reserve(boxes.size() * 4);
    for (const TreemapRect& r : boxes) {
        const int left = int(std::lround(r.x)), top = int(std::lround(r.y));
        const int w = int(std::lround(r.x + r.width)) - left, h = int(std::lround(r.y + r.height)) - top;
        if (w <= 0 || h <= 0 || !exposed.intersects(QRect(left, top, w, h))) continue;
        if (w <= 2 * width || h <= 2 * width) {
            bands.emplace_back(left, top, w, h);
            continue;
        }
        bands.emplace_back(left, top, w, width);
        bands.emplace_back(left, top + h - width, w, width);
        bands.emplace_back(left, top + width, width, h - 2 * width);
        bands.emplace_back(left + w - width, top + width, width, h - 2 * width);
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRects(bands.data(), int(bands.size()));
    p.restore();
}

}  // namespace

TreemapCanvas::TreemapCanvas(LiveMonitorController* monitor, QWidget* parent)
    : QWidget(parent), model_(new TreemapCanvasModel(this)), menu_(new TreemapContextMenu(this, monitor)) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(1, 1);

    connect(menu_, &TreemapContextMenu::showTreemapToggled, this, &TreemapCanvas::showTreemapToggled);
    connect(menu_, &TreemapContextMenu::showAllocatedSizeToggled, this, &TreemapCanvas::showAllocatedSizeToggled);
    connect(menu_, &TreemapContextMenu::showFreeSpaceToggled, this, &TreemapCanvas::showFreeSpaceToggled);
    connect(menu_, &TreemapContextMenu::showFilenamesToggled, this, &TreemapCanvas::showFilenamesToggled);
    connect(model_, &TreemapCanvasModel::selectionMade, this, &TreemapCanvas::selectionMade);
    connect(model_, &TreemapCanvasModel::zoomRequested, this, &TreemapCanvas::zoomRequested);
    connect(model_, &TreemapCanvasModel::hoveredNodeChanged, this, &TreemapCanvas::hoveredNodeChanged);
    connect(model_, &TreemapCanvasModel::repaintNeeded, this, [this] { QWidget::update(); });
    connect(model_, &TreemapCanvasModel::hoverOutlineMoved, this, [this](QRectF before, QRectF after) {
        // The outline lies inside its box; a point more takes in the box's edge pixels.
        for (const QRectF& box : {before, after})
            if (!box.isEmpty()) QWidget::update(box.toAlignedRect().adjusted(-1, -1, 1, 1));
    });
    connect(model_, &TreemapCanvasModel::busyChanged, this, [this] { refreshCursor(mapFromGlobal(QCursor::pos())); });
    connect(model_, &TreemapCanvasModel::hoverChanged, this, &TreemapCanvas::refreshToolTip);
}

TreemapCanvas::~TreemapCanvas() {
    // The open menu is a child of this canvas: it closes while the canvas is whole.
    if (QMenu* open = menu_->openMenu()) open->close();
}

void TreemapCanvas::update(const TreemapCanvasInputs& inputs) {
    model_->setPixelScale(devicePixelRatioF());
    model_->update(inputs);
}

bool TreemapCanvas::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = model_->toolTipText();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            const auto rect = model_->hoveredRect();
            QToolTip::showText(help->globalPos(), plainToolTip(text), this, rect ? toQRect(*rect).toAlignedRect() : QRect());
        }
        return true;
    }
    return QWidget::event(event);
}

void TreemapCanvas::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), treemapBackgroundColor().toQColor());
    if (model_->isStale()) return;
    if (model_->hasPicture()) {
        // Scaled to the view: while a divider is dragged the old picture stretches.
        p.setRenderHint(QPainter::SmoothPixmapTransform, model_->renderedSize() != model_->viewSize());
        p.drawImage(QRectF(QPointF(0, 0), model_->viewSize()), model_->image());
    }
    if (!model_->overlaysShown()) return;

    const TreemapOverlays overlays = model_->overlays();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(treemapSelectionColor().toQColor(), 2));
    for (const TreemapRect& r : overlays.selected) p.drawRect(toQRect(r).adjusted(1, 1, -1, -1));
    if (overlays.hovered) {
        p.setPen(QPen(treemapHoverColor().toQColor(), 1));
        p.drawRect(toQRect(*overlays.hovered).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    if (!overlays.deleted.empty()) fillInnerBands(p, overlays.deleted, 2, deletedColor(), event->region());
}

void TreemapCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_->setPixelScale(devicePixelRatioF());
    model_->setViewSize(QSizeF(size()));
}

void TreemapCanvas::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    model_->click(event->position(), event->modifiers() & Qt::ControlModifier, 1);
}

void TreemapCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    model_->click(event->position(), event->modifiers() & Qt::ControlModifier, 2);
}

void TreemapCanvas::mouseMoveEvent(QMouseEvent* event) {
    refreshCursor(event->position());
    model_->mouseMoved(event->position());
    QWidget::mouseMoveEvent(event);
}

void TreemapCanvas::leaveEvent(QEvent* event) {
    model_->mouseExited();
    QToolTip::hideText();
    QWidget::leaveEvent(event);
}

void TreemapCanvas::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !model_->selectionNodes().empty()) {
        menu_->quickLook(model_->selectionNodes());
        return;
    }
    QWidget::keyPressEvent(event);
}

void TreemapCanvas::contextMenuEvent(QContextMenuEvent* event) {
    const bool add = event->modifiers() & Qt::ControlModifier;
    const TreemapMenuKind kind = model_->prepareContextMenu(QPointF(event->pos()), add);
    // The targets are the selection as it is when the menu opens.
    menu_->popup(kind, model_->selectionNodes(), {model_->useAllocatedSize(), model_->showFreeSpace(), model_->showLabels()},
                 event->globalPos());
}

void TreemapCanvas::refreshCursor(QPointF point) {
    const bool busy = model_->busyRegenerationCount() > 0 && point.y() >= kCursorFreeTop;
    if (busy == cursorBusy_) return;
    cursorBusy_ = busy;
    if (busy) setCursor(BusyCursor::shared());
    else unsetCursor();
}

void TreemapCanvas::refreshToolTip() {
    if (!QToolTip::isVisible()) return;
    const QString text = model_->toolTipText();
    if (text.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(QCursor::pos(), plainToolTip(text), this);
}

}  // namespace zelvane

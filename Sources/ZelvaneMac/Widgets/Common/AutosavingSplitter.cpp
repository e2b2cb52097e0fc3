#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"

#include <QMouseEvent>
#include <QResizeEvent>
#include <QSplitterHandle>
#include <QVariantList>

#include <algorithm>
#include <cmath>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/DisplaySignature.hpp"
#include "ZelvaneMac/Models/SplitPanePersistence.hpp"

namespace zelvane {

class AutosavingSplitterHandle final : public QSplitterHandle {
public:
    AutosavingSplitterHandle(Qt::Orientation o, AutosavingSplitter* parent) : QSplitterHandle(o, parent), owner_(parent) {}

protected:
    void mousePressEvent(QMouseEvent* e) override {
        emit owner_->dividerDragBegan();
        pressed_ = true;
        QSplitterHandle::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        QSplitterHandle::mouseReleaseEvent(e);
        if (pressed_) {
            pressed_ = false;
            emit owner_->dividerDragEnded();
        }
    }

private:
    AutosavingSplitter* owner_;
    bool pressed_ = false;
};

AutosavingSplitter::AutosavingSplitter(const AutosavingSplitterSetup& setup, Preferences& preferences, QWidget* parent)
    : QSplitter(setup.orientation, parent), setup_(setup), preferences_(preferences),
      fullName_(keyWithDisplaySignature(setup.baseName)) {
    setChildrenCollapsible(false);
    setHandleWidth(1);
    connect(this, &QSplitter::splitterMoved, this, [this] { saveSizes(); });
}

QSplitterHandle* AutosavingSplitter::createHandle() { return new AutosavingSplitterHandle(orientation(), this); }

void AutosavingSplitter::setPane(int pane, QWidget* widget) {
    if (pane < 0 || pane > 1 || !widget) return;
    const int minimum = pane == 0 ? setup_.minFirst : setup_.minSecond;
    if (orientation() == Qt::Horizontal) widget->setMinimumWidth(minimum);
    else widget->setMinimumHeight(minimum);
    if (pane < count()) {
        QWidget* old = replaceWidget(pane, widget);
        if (old && old != widget) old->deleteLater();
    } else {
        while (count() < pane) addWidget(new QWidget(this));
        addWidget(widget);
    }
    // A widget moved in from another parent comes hidden; a pane is always shown.
    widget->show();
    if (orientation() == Qt::Vertical && count() == 2) {
        setStretchFactor(0, 1);
        setStretchFactor(1, 0);
    }
}

void AutosavingSplitter::showEvent(QShowEvent* event) {
    QSplitter::showEvent(event);
    if (!applied_) applyInitialSizes();
}

void AutosavingSplitter::resizeEvent(QResizeEvent* event) {
    QSplitter::resizeEvent(event);
    if (!applied_) applyInitialSizes();
}

void AutosavingSplitter::releaseInitialSizes() {
    held_ = false;
    if (!applied_) applyInitialSizes();
}

void AutosavingSplitter::applyInitialSizes() {
    if (held_) return;
    const bool sideBySide = orientation() == Qt::Horizontal;
    const int total = (sideBySide ? width() : height()) - handleWidth();
    // A splitter not yet laid out in its window has a made-up size; the first real one counts.
    if (count() != 2 || !isVisible() || total < setup_.minFirst + setup_.minSecond) return;
    applied_ = true;
    const QVariant stored = preferences_.object(splitPaneFramesKey(fullName_));
    int first = int(std::lround(total * setup_.initialFirstFraction));
    if (sideBySide) {
        if (auto w = storedPaneField(stored, 0, 2)) first = int(std::lround(*w));
    } else if (auto h = persistedBottomHeight(stored)) {
        first = total - int(std::lround(*h));
    }
    first = std::clamp(first, std::min(setup_.minFirst, total), std::max(std::min(setup_.minFirst, total), total - setup_.minSecond));
    setSizes({first, total - first});
}

void AutosavingSplitter::saveSizes() {
    if (count() != 2) return;
    const QList<int> s = sizes();
    const bool sideBySide = orientation() == Qt::Horizontal;
    const QStringList texts = splitPaneFrameTexts({s[0], s[1]}, sideBySide, sideBySide ? height() : width(), handleWidth());
    QVariantList list;
    for (const QString& t : texts) list.push_back(t);
    preferences_.setObject(splitPaneFramesKey(fullName_), list);
}

}  // namespace zelvane

#include "ZelvaneMac/Window/WindowFrameKeeper.hpp"

#include <algorithm>
#include <utility>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/DisplaySignature.hpp"

namespace zelvane {

namespace {

const QString frameKeyBase = QStringLiteral("ZelvaneMac.MainWindowFrame");

bool meetsAnyScreen(const QRect& frame, const std::vector<ScreenArea>& screens) {
    return std::any_of(screens.begin(), screens.end(), [&](const ScreenArea& s) { return s.geometry.intersects(frame); });
}

}  // namespace

std::optional<ScreenArea> primaryScreenArea(const std::vector<ScreenArea>& screens) {
    for (const ScreenArea& s : screens)
        if (s.geometry.topLeft() == QPoint(0, 0)) return s;
    if (screens.empty()) return std::nullopt;
    return screens.front();
}

QString windowFrameKey(const std::vector<ScreenArea>& screens) {
    const auto primary = primaryScreenArea(screens);
    if (!primary) return frameKeyBase;
    return frameKeyBase + QLatin1Char('.') + displaySignatureText(QSizeF(primary->geometry.size()), primary->scale);
}

QString windowFrameText(const QRect& frame) {
    return QStringLiteral("%1,%2,%3,%4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
}

QRect windowFrameFromText(const QString& text) {
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) return {};
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = fields[i].trimmed().toInt(&ok);
        // No desktop is a million points across; larger numbers are a damaged value, and would
        // overflow the rectangle's arithmetic.
        if (!ok || v[i] < -1000000 || v[i] > 1000000) return {};
    }
    return {v[0], v[1], v[2], v[3]};
}

FrameRestore chooseRestoredFrame(const std::optional<QString>& saved, const std::vector<ScreenArea>& screens,
                                 const std::optional<ScreenArea>& windowScreen, const QRect& current, QSize minimum) {
    using Kind = FrameRestore::Kind;
    if (saved) {
        const QRect frame = windowFrameFromText(*saved);
        if (frame.width() > 0 && frame.height() > 0 && meetsAnyScreen(frame, screens)) {
            // A hand-edited frame larger than all the screens together would ask for a window
            // (and a backing store) of that size; it is held to the desktop's extent, or to the
            // default size where the desktop is smaller still.
            QRect desktop;
            for (const ScreenArea& s : screens) desktop = desktop.united(s.geometry);
            const QSize limit = desktop.size().expandedTo(defaultWindowFrameSize).expandedTo(minimum);
            const QSize size = frame.size().boundedTo(limit);
            if (size == frame.size()) return {Kind::savedFrame, frame};
            // The smaller window could lie wholly off the screens that only the large frame met
            // (its corner far above and left of them); its corner is brought onto the desktop.
            const auto hold = [](int at, int low, int span, int length) {
                return std::max(low, std::min(at, low + span - length));
            };
            return {Kind::savedFrame,
                    QRect(hold(frame.x(), desktop.x(), desktop.width(), size.width()),
                          hold(frame.y(), desktop.y(), desktop.height(), size.height()), size.width(), size.height())};
        }
        return {Kind::unchanged, current};
    }
    std::optional<ScreenArea> screen;
    for (const ScreenArea& s : screens)
        if (!screen && s.geometry.topLeft() == QPoint(0, 0)) screen = s;
    if (!screen) screen = windowScreen;
    if (!screen) return {Kind::defaultSize, QRect(current.topLeft(), defaultWindowFrameSize)};
    // Centred in the free area. A screen smaller than the default size gets a window that fits it,
    // and one smaller than the window's least size the window's top-left corner at its own: the
    // title bar never lands under a panel or off the screen.
    const QRect free = screen->available;
    const QSize size = defaultWindowFrameSize.boundedTo(free.size()).expandedTo(minimum);
    return {Kind::defaultPlacement, QRect(free.x() + std::max(0, (free.width() - size.width()) / 2),
                                          free.y() + std::max(0, (free.height() - size.height()) / 2), size.width(),
                                          size.height())};
}

std::optional<QRect> unshrunkFrame(QSize before, const QRect& current, const std::optional<ScreenArea>& screen) {
    if (current.width() >= before.width() - 1 && current.height() >= before.height() - 1) return std::nullopt;
    if (!screen) return std::nullopt;
    const QRect v = screen->available;
    const int w = std::min(v.width(), before.width());
    const int h = std::min(v.height(), before.height());
    const int right = v.x() + v.width();
    const int bottom = v.y() + v.height();
    const int x = std::min(std::max(current.x(), v.x()), right - w);
    const int y = std::min(std::max(current.y(), v.y()), bottom - h);
    return QRect(x, y, w, h);
}

WindowFrameKeeper::WindowFrameKeeper(Preferences& preferences, Hooks hooks, QObject* parent)
    : QObject(parent), preferences_(preferences), hooks_(std::move(hooks)) {
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(400);
    connect(&saveTimer_, &QTimer::timeout, this, &WindowFrameKeeper::save);
}

WindowFrameKeeper::~WindowFrameKeeper() = default;

FrameRestore WindowFrameKeeper::restore() {
    if (restored_) return {FrameRestore::Kind::unchanged, hooks_.frame()};
    const std::vector<ScreenArea> screens = hooks_.screens();
    const FrameRestore r = chooseRestoredFrame(preferences_.stringValue(windowFrameKey(screens)), screens,
                                               hooks_.windowScreen(), hooks_.frame(),
                                               hooks_.minimumSize ? hooks_.minimumSize() : QSize(0, 0));
    switch (r.kind) {
    case FrameRestore::Kind::savedFrame:
    case FrameRestore::Kind::defaultPlacement: hooks_.setFrame(r.frame); break;
    case FrameRestore::Kind::defaultSize: hooks_.setSize(r.frame.size()); break;
    case FrameRestore::Kind::unchanged: break;
    }
    // Moves and resizes count only from here on: the window's own first sizing is not the user's.
    restored_ = true;
    settledSize_ = hooks_.frame().size();
    emit restoreDidComplete();
    return r;
}

void WindowFrameKeeper::frameChanged() {
    if (restored_) saveTimer_.start();
}

void WindowFrameKeeper::screenChanged() {
    if (!restored_) return;
    sizeBeforeScreenChange_ = settledSize_.isValid() ? settledSize_ : hooks_.frame().size();
}

void WindowFrameKeeper::flush() {
    if (saveTimer_.isActive()) {
        saveTimer_.stop();
        save();
    }
}

void WindowFrameKeeper::save() {
    // The frame has come to rest: the first rest after a change of screen may undo a shrink.
    if (const auto before = std::exchange(sizeBeforeScreenChange_, std::nullopt)) {
        if (const auto fixed = unshrunkFrame(*before, hooks_.frame(), hooks_.windowScreen())) hooks_.setFrame(*fixed);
    }
    const QRect frame = hooks_.frame();
    settledSize_ = frame.size();
    const QString key = windowFrameKey(hooks_.screens());
    const QString text = windowFrameText(frame);
    if (preferences_.stringValue(key) != text) preferences_.setObject(key, text);
}

}  // namespace zelvane

#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;

namespace zelvane {

// The strip above the treemap: the shown folder's path (elided in the middle), a dash and its
// size on the first row; while zoomed, a second row with ".." (up a level) and "/" (all roots).
class TreemapInfoStrip final : public QWidget {
    Q_OBJECT
public:
    explicit TreemapInfoStrip(QWidget* parent = nullptr);

    // One text (nothing shown) or three (path, dash, size); the path is elided to the room left.
    void setTexts(const QStringList& texts, bool zoomed, int room);

signals:
    void zoomOutRequested();
    void zoomResetRequested();

private:
    QLabel* path_ = nullptr;
    QLabel* dash_ = nullptr;
    QLabel* size_ = nullptr;
    QWidget* zoomRow_ = nullptr;
};

}  // namespace zelvane

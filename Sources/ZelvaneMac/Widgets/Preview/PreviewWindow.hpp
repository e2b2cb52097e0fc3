#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "ZelvaneMac/Actions/PreviewContent.hpp"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace zelvane {

class PreviewImageView;

// A small window that previews items one at a time: a picture, the start of a text file, or the
// item's icon, type and size with an "Open" button. Left and right (or the buttons) step through
// the items; Space and Escape close it.
class PreviewWindow final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget* parent = nullptr);

    // Shows the items (exact path bytes) from the first, and brings the window to the front.
    void showItems(std::vector<std::string> paths);
    int itemCount() const { return int(paths_.size()); }
    int currentIndex() const { return index_; }
    void showItem(int index);
    const PreviewContent& currentContent() const { return content_; }
    // Where a picture is drawn, in the window's coordinates; empty when none is shown.
    QRect shownImageRect() const;

signals:
    // "Open", with the shown item's path bytes.
    void openRequested(const std::string& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    std::vector<std::string> paths_;
    int index_ = 0;
    PreviewContent content_;
    QStackedWidget* pages_ = nullptr;
    PreviewImageView* imageView_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    QLabel* iconLabel_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLabel* factsLabel_ = nullptr;
    QLabel* positionLabel_ = nullptr;
    QPushButton* previousButton_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
};

}  // namespace zelvane

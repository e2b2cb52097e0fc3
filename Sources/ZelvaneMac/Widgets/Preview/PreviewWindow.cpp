#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace {

constexpr QSize kImageBound(1600, 1200);
constexpr int kIconSize = 96;

QString sizeText(int64_t bytes) {
    return fillPlaceholders(localized("%@ bytes"), {QLocale().toString(qlonglong(bytes))});
}

// The step a key takes through the items: -1 back, +1 on, 0 for any other key. The arrow keys
// go the way the buttons point: in a right-to-left window "on" lies to the left.
int stepOf(const QKeyEvent& key, Qt::LayoutDirection direction) {
    if ((key.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return 0;
    const int on = direction == Qt::RightToLeft ? -1 : 1;
    if (key.key() == Qt::Key_Left) return -on;
    if (key.key() == Qt::Key_Right) return on;
    return 0;
}

}  // namespace

// A picture drawn at its own size, or smaller to fit, centred; it follows the room it is given,
// so the picture is right however the window's size changes after it was loaded.
class PreviewImageView final : public QWidget {
public:
    explicit PreviewImageView(QWidget* parent) : QWidget(parent) { setMinimumSize(1, 1); }

    void setImage(QImage image) {
        image_ = std::move(image);
        update();
    }
    // Where the picture is drawn, in the view's coordinates.
    QRect imageRect() const {
        if (image_.isNull()) return {};
        const QSize natural = image_.size();
        const bool fits = natural.width() <= width() && natural.height() <= height();
        const QSize shown = fits ? natural : natural.scaled(size(), Qt::KeepAspectRatio);
        return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(imageRect(), image_);
    }

private:
    QImage image_;
};

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(640, 480);

    pages_ = new QStackedWidget(this);
    imageView_ = new PreviewImageView(pages_);
    textView_ = new QPlainTextEdit(pages_);
    textView_->setReadOnly(true);
    textView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    textView_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* facts = new QWidget(pages_);
    auto* factsLayout = new QVBoxLayout(facts);
    iconLabel_ = new QLabel(facts);
    iconLabel_->setAlignment(Qt::AlignCenter);
    nameLabel_ = new QLabel(facts);
    nameLabel_->setAlignment(Qt::AlignCenter);
    nameLabel_->setTextFormat(Qt::PlainText);
    nameLabel_->setWordWrap(true);
    QFont bold = nameLabel_->font();
    bold.setBold(true);
    nameLabel_->setFont(bold);
    factsLabel_ = new QLabel(facts);
    factsLabel_->setAlignment(Qt::AlignCenter);
    factsLabel_->setTextFormat(Qt::PlainText);
    openButton_ = new QPushButton(localized("Open"), facts);
    factsLayout->addStretch(1);
    factsLayout->addWidget(iconLabel_);
    factsLayout->addWidget(nameLabel_);
    factsLayout->addWidget(factsLabel_);
    factsLayout->addWidget(openButton_, 0, Qt::AlignHCenter);
    factsLayout->addStretch(1);

    pages_->addWidget(imageView_);
    pages_->addWidget(textView_);
    pages_->addWidget(facts);

    previousButton_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowBack), QString(), this);
    nextButton_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowForward), QString(), this);
    positionLabel_ = new QLabel(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(previousButton_);
    bar->addWidget(nextButton_);
    bar->addStretch(1);
    bar->addWidget(positionLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(pages_, 1);

    connect(previousButton_, &QPushButton::clicked, this, [this] { showItem(index_ - 1); });
    connect(nextButton_, &QPushButton::clicked, this, [this] { showItem(index_ + 1); });
    connect(openButton_, &QPushButton::clicked, this, [this] {
        if (index_ < itemCount()) emit openRequested(paths_[size_t(index_)]);
    });
    // The buttons and the text take the arrow keys for themselves (to move the focus, to move
    // the caret): in this window they step through the items wherever the focus is.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

QRect PreviewWindow::shownImageRect() const {
    if (pages_->currentWidget() != imageView_) return {};
    const QRect shown = imageView_->imageRect();
    return QRect(imageView_->mapTo(this, shown.topLeft()), shown.size());
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (const int step = stepOf(*static_cast<QKeyEvent*>(event), layoutDirection())) {
            showItem(index_ + step);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewWindow::showItems(std::vector<std::string> paths) {
    paths_ = std::move(paths);
    index_ = 0;
    refresh();
    show();
    raise();
    activateWindow();
}

void PreviewWindow::showItem(int index) {
    if (index < 0 || index >= itemCount() || index == index_) return;
    index_ = index;
    refresh();
}

void PreviewWindow::refresh() {
    content_ = index_ < itemCount() ? loadPreviewContent(paths_[size_t(index_)], kImageBound) : PreviewContent{};
    setWindowTitle(content_.displayName);
    bool several = itemCount() > 1;
    previousButton_->setVisible(several);
    nextButton_->setVisible(several);
    previousButton_->setEnabled(index_ > 0);
    nextButton_->setEnabled(index_ + 1 < itemCount());
    positionLabel_->setVisible(several);
    positionLabel_->setText(fillPlaceholders(localized("%@ of %@"), {QString::number(index_ + 1), QString::number(itemCount())}));

    switch (content_.kind) {
    case PreviewContent::Kind::image:
        imageView_->setImage(content_.image);
        pages_->setCurrentWidget(imageView_);
        break;
    case PreviewContent::Kind::text:
        textView_->setPlainText(content_.textTruncated ? content_.text + QStringLiteral("\n…") : content_.text);
        pages_->setCurrentWidget(textView_);
        break;
    case PreviewContent::Kind::facts:
    case PreviewContent::Kind::missing: {
        QIcon icon = QIcon::fromTheme(content_.iconName);
        if (icon.isNull())
            icon = style()->standardIcon(content_.isDir ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
        iconLabel_->setPixmap(icon.pixmap(kIconSize, kIconSize));
        nameLabel_->setText(content_.displayName);
        QString facts = content_.typeDescription;
        if (content_.size >= 0) facts += QStringLiteral("\n") + sizeText(content_.size);
        factsLabel_->setText(facts);
        openButton_->setVisible(content_.kind == PreviewContent::Kind::facts);
        pages_->setCurrentIndex(2);
        break;
    }
    }
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (const int step = stepOf(*event, layoutDirection())) {
        showItem(index_ + step);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Escape: close(); return;
    default: QWidget::keyPressEvent(event);
    }
}

}  // namespace zelvane

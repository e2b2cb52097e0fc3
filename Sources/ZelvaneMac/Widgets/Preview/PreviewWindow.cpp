#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
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

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(640, 480);

    pages_ = new QStackedWidget(this);
    imageLabel_ = new QLabel(pages_);
    imageLabel_->setAlignment(Qt::AlignCenter);
    imageLabel_->setMinimumSize(1, 1);
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

    pages_->addWidget(imageLabel_);
    pages_->addWidget(textView_);
    pages_->addWidget(facts);

    previousButton_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowLeft), QString(), this);
    nextButton_ = new QPushButton(style()->standardIcon(QStyle::SP_ArrowRight), QString(), this);
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
    case PreviewContent::Kind::image: {
        QPixmap pixmap = QPixmap::fromImage(content_.image);
        QSize room = pages_->size().boundedTo(pixmap.size());
        imageLabel_->setPixmap(room.isValid() && room != pixmap.size()
                                   ? pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                   : pixmap);
        pages_->setCurrentWidget(imageLabel_);
        break;
    }
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
    switch (event->key()) {
    case Qt::Key_Left: showItem(index_ - 1); return;
    case Qt::Key_Right: showItem(index_ + 1); return;
    case Qt::Key_Space:
    case Qt::Key_Escape: close(); return;
    default: QWidget::keyPressEvent(event);
    }
}

}  // namespace zelvane

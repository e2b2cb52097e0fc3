#include "ZelvaneMac/Widgets/Dialogs/FullDiskAccessPromptDialog.hpp"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"

namespace zelvane {

QString FullDiskAccessPromptDialog::explanation(bool isPortable) {
    // One key for the whole text, line ends included, so a translation keeps its paragraphs.
    if (isPortable)
        return localized(
            "ZelvaneMac can still scan without it, but Linux will prompt separately for Desktop, Documents, Mail, "
            "Time Machine, and other protected locations each time one is needed. Granting Full Disk Access once "
            "lets it scan everything with no further prompts.\n\n"
            "Linux doesn't let apps add themselves to that list automatically - if ZelvaneMac isn't already there, "
            "click the + button and select it yourself. Since this copy is running from a removable drive, look for "
            "it there rather than in Applications.\n\n"
            "You can grant this later from File \u2192 Grant Full Disk Access to ZelvaneMac.");
    return localized(
        "ZelvaneMac can still scan without it, but Linux will prompt separately for Desktop, Documents, Mail, "
        "Time Machine, and other protected locations each time one is needed. Granting Full Disk Access once "
        "lets it scan everything with no further prompts.\n\n"
        "Linux doesn't let apps add themselves to that list automatically - if ZelvaneMac isn't already there, "
        "click the + button and select it yourself (usually in your Applications folder).\n\n"
        "You can grant this later from File \u2192 Grant Full Disk Access to ZelvaneMac.");
}

FullDiskAccessPromptDialog::FullDiskAccessPromptDialog(bool isPortable, QWidget* parent) : QDialog(parent) {
    setWindowTitle(localized("Full Disk Access Not Granted"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(360, 320);
    setMaximumWidth(460);
    resize(420, 520);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* icon = new QLabel(this);
    icon->setPixmap(zelvaneIcon().pixmap(64, 64));
    icon->setFixedSize(64, 64);
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    auto* title = new QLabel(localized("Full Disk Access Not Granted"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    layout->addWidget(title, 0, Qt::AlignHCenter);

    explanation_ = new QLabel(explanation(isPortable));
    explanation_->setWordWrap(true);
    explanation_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    explanation_->setForegroundRole(QPalette::PlaceholderText);
    explanation_->setContentsMargins(4, 0, 4, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(explanation_);
    layout->addWidget(scroll, 1);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    dontAsk_ = new QPushButton(localized("Don't Ask Again"), this);
    openSettings_ = new QPushButton(localized("Open system settings\u2026"), this);
    notNow_ = new QPushButton(localized("Not Now"), this);
    for (QPushButton* b : {dontAsk_, openSettings_, notNow_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(dontAsk_, &QPushButton::clicked, this, [this] { choose(Answer::dontAskAgain); });
    connect(openSettings_, &QPushButton::clicked, this, [this] { choose(Answer::openSettings); });
    connect(notNow_, &QPushButton::clicked, this, [this] { choose(Answer::notNow); });
}

QPushButton* FullDiskAccessPromptDialog::button(Answer a) const {
    switch (a) {
    case Answer::dontAskAgain: return dontAsk_;
    case Answer::openSettings: return openSettings_;
    case Answer::notNow: break;
    }
    return notNow_;
}

void FullDiskAccessPromptDialog::choose(Answer a) {
    if (answered_) return;
    answered_ = true;
    answer_ = a;
    emit answered(a);
    done(a == Answer::notNow ? Rejected : Accepted);
}

// Escape and closing the window answer "Not Now".
void FullDiskAccessPromptDialog::reject() {
    if (!answered_) {
        answered_ = true;
        emit answered(Answer::notNow);
    }
    QDialog::reject();
}

}  // namespace zelvane

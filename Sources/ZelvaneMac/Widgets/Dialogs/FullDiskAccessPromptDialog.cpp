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
    // One key for the whole text, line ends included, so a translation keeps its paragraphs. On Linux
    // the prompt appears only inside a Flatpak or Snap sandbox that hides the host's file system.
    if (isPortable)
        return localized(
            "ZelvaneMac is running in a sandbox (Flatpak or Snap) that doesn't let it see the whole file system. It "
            "can still scan what the sandbox shares with it, but other folders look empty or can't be read.\n\n"
            "A sandboxed app can't widen its own access - allow ZelvaneMac to access all files in your desktop's "
            "app permission settings, then start it again. Since this copy is running from a removable drive, make "
            "sure the sandbox can see that drive too.\n\n"
            "You can come back to this later from File \u2192 Grant Full Disk Access to ZelvaneMac\u2026");
    return localized(
        "ZelvaneMac is running in a sandbox (Flatpak or Snap) that doesn't let it see the whole file system. It "
        "can still scan what the sandbox shares with it, but other folders look empty or can't be read.\n\n"
        "A sandboxed app can't widen its own access - allow ZelvaneMac to access all files in your desktop's app "
        "permission settings (for a Flatpak: flatpak override --user --filesystem=host followed by its "
        "application ID), then start it again.\n\n"
        "You can come back to this later from File \u2192 Grant Full Disk Access to ZelvaneMac\u2026");
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
    notNow_ = new QPushButton(localized("Not Now"), this);
    // Linux has no settings pane that one button could open for the user: the explanation says where
    // access is granted, and the prompt offers the other two answers.
    for (QPushButton* b : {dontAsk_, notNow_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(dontAsk_, &QPushButton::clicked, this, [this] { choose(Answer::dontAskAgain); });
    connect(notNow_, &QPushButton::clicked, this, [this] { choose(Answer::notNow); });
}

QPushButton* FullDiskAccessPromptDialog::button(Answer a) const {
    return a == Answer::dontAskAgain ? dontAsk_ : notNow_;
}

void FullDiskAccessPromptDialog::choose(Answer a) {
    if (answered_) return;
    answered_ = true;
    answer_ = a;
    done(a == Answer::notNow ? Rejected : Accepted);
}

// Escape and closing the window answer "Not Now".
void FullDiskAccessPromptDialog::reject() {
    answered_ = true;
    QDialog::reject();
}

}  // namespace zelvane

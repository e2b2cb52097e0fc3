#include "Ostrane/PasswordDialog.hpp"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "Ostrane/PromptText.hpp"

namespace ostrane {

namespace {

constexpr int kFieldWidth = 260;
constexpr int kFieldHeight = 24;
constexpr int kIconSize = 48;
// The prompt's lines are at most this wide, and there are at most this many of them.
constexpr int kPromptWidth = 380;
constexpr int kPromptLines = 12;

// The smallest room any screen offers: the dialog is placed on one of them.
QSize smallestScreen() {
    QSize least;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QSize room = screen->availableGeometry().size();
        least = least.isValid() ? least.boundedTo(room) : room;
    }
    return least.isValid() ? least : QSize(640, 480);
}

// The prompt as it fits the screen beside the icon, above the field and the buttons.
QString fittedPrompt(const QString& prompt, const QFont& font) {
    const QSize screen = smallestScreen();
    const int width = std::clamp(screen.width() - 2 * kIconSize - 60, 120, kPromptWidth);
    const int lineHeight = std::max(1, QFontMetrics(font).lineSpacing());
    const int lines = std::clamp((screen.height() - 220) / lineHeight, 1, kPromptLines);
    return promptLines(withVisibleControls(prompt), font, width, lines);
}

}  // namespace

PasswordDialog::PasswordDialog(const AskpassStrings& strings, const QString& prompt, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(strings.title);
    // sudo waits on this one question; it stays above the other programs' windows until answered.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* title = new QLabel(strings.title, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setTextFormat(Qt::PlainText);
    title->setWordWrap(true);

    // The prompt comes from sudo and is shown as it reads, never as markup, in lines that keep
    // the dialog on the screen.
    auto* promptLabel = new QLabel(this);
    promptLabel->setTextFormat(Qt::PlainText);
    const QString shownPrompt = fittedPrompt(prompt, promptLabel->font());
    promptLabel->setText(shownPrompt);

    field_ = new QLineEdit(this);
    field_->setEchoMode(QLineEdit::Password);
    field_->setFixedSize(kFieldWidth, kFieldHeight);
    field_->setAccessibleName(shownPrompt);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(strings.ok, QDialogButtonBox::AcceptRole);
    cancel_ = buttons->addButton(strings.cancel, QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel_->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(promptLabel);
    text->addSpacing(4);
    text->addWidget(field_);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(8);
    row->addLayout(text, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Typing goes into the field at once.
    field_->setFocus(Qt::OtherFocusReason);
    setFocusProxy(field_);
}

void PasswordDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    if (result() != QDialog::Accepted) done(QDialog::Rejected);
}

QString PasswordDialog::password() const { return field_->text(); }

void PasswordDialog::forgetPassword() {
    field_->setText(QString(field_->text().size(), QLatin1Char(' ')));
    field_->clear();
}

}  // namespace ostrane

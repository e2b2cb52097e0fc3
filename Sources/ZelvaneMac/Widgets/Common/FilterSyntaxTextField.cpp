#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"

#include <QAbstractTextDocumentLayout>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSyntaxHighlighter>
#include <QTextBlock>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"

namespace zelvane {

namespace {

class FilterHighlighter final : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        QTextCharFormat teal;
        teal.setForeground(QColor(0x30, 0xb0, 0xc7));
        for (const QPoint& r : FilterSyntaxHighlighter::highlightedRanges(text)) setFormat(r.x(), r.y(), teal);
    }
};

QString oneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QChar::ParagraphSeparator, QLatin1Char(' '));
    text.replace(QChar::LineSeparator, QLatin1Char(' '));
    return text;
}

}  // namespace

FilterSyntaxTextField::FilterSyntaxTextField(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setTabChangesFocus(true);
    setBackgroundVisible(false);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(fontMetrics().height() + 4);
    highlighter_ = new FilterHighlighter(document());
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!settingText_) emit textEdited(toPlainText());
    });
}

QSize FilterSyntaxTextField::sizeHint() const { return QSize(200, fontMetrics().height() + 4); }
QSize FilterSyntaxTextField::minimumSizeHint() const { return QSize(60, fontMetrics().height() + 4); }

void FilterSyntaxTextField::setText(const QString& text) {
    if (text == toPlainText()) return;
    settingText_ = true;
    setPlainText(text);
    moveCursor(QTextCursor::End);
    settingText_ = false;
}

void FilterSyntaxTextField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit submitted();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void FilterSyntaxTextField::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    // A context menu of the field itself is no end of editing.
    if (event->reason() != Qt::PopupFocusReason) emit editingEnded(toPlainText());
}

bool FilterSyntaxTextField::canInsertFromMimeData(const QMimeData* source) const { return source->hasText(); }

void FilterSyntaxTextField::insertFromMimeData(const QMimeData* source) {
    if (source->hasText()) insertPlainText(oneLine(source->text()));
}

FilterHistoryMenu::FilterHistoryMenu(QWidget* parent) : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setArrowType(Qt::DownArrow);
    setFixedSize(16, 16);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::pressed, this, [this] {
        QMenu* menu = buildMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(mapToGlobal(QPoint(0, height())));
    });
    setPopupMode(QToolButton::DelayedPopup);
}

QMenu* FilterHistoryMenu::buildMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    for (const QString& entry : history_) {
        // Shown exactly as stored: an ampersand in a filter is text, not a mnemonic marker, and a
        // pasted tab or other control character shows as its mark instead of splitting the entry
        // into a title and a shortcut.
        QAction* a = menu->addAction(withVisibleControlCharacters(entry).replace(QLatin1Char('&'), QStringLiteral("&&")));
        connect(a, &QAction::triggered, this, [this, entry] { emit entryPicked(entry); });
    }
    if (!history_.isEmpty()) menu->addSeparator();
    QAction* clear = menu->addAction(localized("Clear"));
    connect(clear, &QAction::triggered, this, &FilterHistoryMenu::clearPicked);
    return menu;
}

void recordFilterHistory(Preferences& preferences, const StringKey& historyKey, const QString& text) {
    const QStringList history = FilterFieldHistory::decode(preferences.value(historyKey));
    preferences.set(historyKey, FilterFieldHistory::encode(FilterFieldHistory::recording(text, history)));
}

}  // namespace zelvane
